#include "platform/SystemLocale.h"

#include <QLocale>

#include <clocale>
#include <cstring>
#include <optional>

#include <langinfo.h>

namespace {

bool isUtf8Codeset()
{
    const char* codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

} // namespace

namespace SystemLocale {

void useForQt(const QByteArray& locale)
{
    // LC_ALL wins over every other variable Qt reads; Qt keeps what it read.
    std::optional<QByteArray> userAll;
    if (qEnvironmentVariableIsSet("LC_ALL"))
        userAll = qgetenv("LC_ALL");
    qputenv("LC_ALL", locale);
    (void)QLocale::system();
    if (userAll)
        qputenv("LC_ALL", *userAll);
    else
        qunsetenv("LC_ALL");

    // The application object sets the C library from the environment: one whose character
    // type is not UTF-8 gets UTF-8 text in its place (the rest of the user's settings stay).
    std::setlocale(LC_ALL, "");
    if (!isUtf8Codeset()) {
        qputenv(userAll ? "LC_ALL" : "LC_CTYPE", "C.UTF-8");
        std::setlocale(LC_ALL, "");
    }
}

} // namespace SystemLocale
