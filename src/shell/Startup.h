#pragma once

// What every window of the program expects before the first one opens: the program's
// name, its resources, Simplified Chinese for Qt's own texts, dates and sizes, the fonts
// and the icon. Run once, right after the application object is made.
namespace Startup {
void prepareApplication();
}
