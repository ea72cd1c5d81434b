#pragma once

#include <QString>

// The look of every window: a style sheet of ours, kept as "skinh.she" in the
// data folder so a family can adjust it, and the fonts Chinese text needs.
namespace Skin {

// Writes the built-in skin to `path` when no file is there; an existing file is never rewritten.
void ensureSkinFile(const QString& path);

// Applies the skin file to the whole application.
void attach(const QString& path);

// Default font: 13-pixel "宋体", falling back to an installed CJK font.
void installFonts();

} // namespace Skin
