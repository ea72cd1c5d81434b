#pragma once

// The program's run, from the application object to the last window closed:
// one copy per data folder, the leftovers of a killed run cleared, a restore
// cut short finished or undone, the data module, login, the main window, and
// the drag copies of the run removed at its end. main() calls only this (and
// the PDF check's helper when the program is started as one).
namespace Program {
// Dates and sizes in Qt's own dialogs in Simplified Chinese, like every other
// text. Called first, before any thread exists.
void useChineseLocale();
int run(int argc, char* argv[]);
}
