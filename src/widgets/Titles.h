#pragma once

#include <QString>

// Fixed names the windows share.
namespace Titles {
inline QString application() { return QStringLiteral("青禾家庭图书管理系统"); }
inline QString mainWindow() { return QStringLiteral("青禾家庭图书管理系统2.0"); }
inline QString hint() { return QStringLiteral("提示"); }
inline QString product() { return QStringLiteral("青禾图书管理系统"); }
} // namespace Titles
