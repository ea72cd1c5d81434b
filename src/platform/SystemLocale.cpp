#include "platform/SystemLocale.h"

#include <clocale>
#include <cstring>

#include <langinfo.h>

SystemLocaleOverride::SystemLocaleOverride(const QByteArray& locale)
{
    // LC_ALL wins over every other variable Qt reads.
    if (qEnvironmentVariableIsSet("LC_ALL"))
        m_userAll = qgetenv("LC_ALL");
    qputenv("LC_ALL", locale);
}

SystemLocaleOverride::~SystemLocaleOverride()
{
    restore();
}

void SystemLocaleOverride::restore()
{
    if (m_restored)
        return;
    m_restored = true;
    if (m_userAll)
        qputenv("LC_ALL", *m_userAll);
    else
        qunsetenv("LC_ALL");
    // The C library as the user's environment names it, with UTF-8 text as Qt expects.
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || (std::strcmp(codeset, "UTF-8") != 0 && std::strcmp(codeset, "utf8") != 0))
        std::setlocale(LC_CTYPE, "C.UTF-8");
}
