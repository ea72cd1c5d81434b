#pragma once

#include <QByteArray>

namespace SystemLocale {

// Qt takes the system locale (the dates, sizes and numbers of its own dialogs) from the
// environment once. This gives Qt another locale for that reading and leaves the
// environment as the user had it, so that the C library (set from it when the application
// object is made) and programs started from here keep the user's own settings; text is
// UTF-8 for the C library whatever the user's locale says.
//
// Called first thing in main(), before the application object: setenv() and setlocale()
// are safe only while no other thread runs, and Qt starts threads of its own.
void useForQt(const QByteArray& locale);

} // namespace SystemLocale
