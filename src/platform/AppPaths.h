#pragma once

#include <QString>

// The data folder: where "data/", "corvina/", "temp/", "skinh.she" and "Temp.mdb" live.
// The executable's folder; QINGHE_HOME overrides it; an installed (read-only) copy uses
// the per-user application data folder.
// Read afresh at every call, so a test may point QINGHE_HOME at its own folder.
namespace AppPaths {
QString dataDir();                          // absolute, no trailing '/'
QString path(const QString& relative);      // dataDir() + '/' + relative
// The data folder for an executable in exeDir (the folder itself unless installed or read-only).
QString dataDirBeside(const QString& exeDir);
}
