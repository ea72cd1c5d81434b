#pragma once

// Qt's own file dialogs (where the desktop offers none of its own) open wide enough for
// their Chinese columns: size, kind and date are never cut off.
namespace FileDialogLook {
void install(); // once, after the application object exists
}
