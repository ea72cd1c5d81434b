#pragma once

#include <QString>

namespace Disks {

// Whether two paths lie on the same file system (the same disk, as far as the
// system tells). A path that does not exist yet is judged by its nearest
// existing folder; false when either cannot be looked at.
bool sameDisk(const QString& first, const QString& second);

} // namespace Disks
