#pragma once

#include <QLocale>
#include <QString>

// A file size as the program writes it in its own texts: "KB", "MB", "GB" (of 1024), as a
// family knows them from their file manager, with the number in the program's locale.
inline QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}
