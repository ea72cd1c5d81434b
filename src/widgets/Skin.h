#pragma once

#include <QString>

// The look of every window: a style sheet of ours, kept as "skinh.she" in the
// data folder so a family can adjust it, and the fonts Chinese text needs.
namespace Skin {

// Writes the built-in skin to `path` when no file is there. An existing file stays the
// family's, except that an unedited skin of an earlier version is replaced by the current
// one, and an edited one loses the rule that made every list see-through.
void ensureSkinFile(const QString& path);

// Applies the skin file to the whole application.
void attach(const QString& path);

// Default font: 13-pixel "宋体", falling back to an installed CJK font.
void installFonts();

} // namespace Skin
