#pragma once

#include <QByteArray>

#include <optional>

// Qt takes the system locale (the dates, sizes and numbers of its own dialogs) from the
// environment once, while the application object is made. This names another locale for
// that moment: made before the application object, restore() after it gives the
// environment and the C library back what the user had, so that other libraries and
// programs started from here see the user's own settings.
class SystemLocaleOverride
{
public:
    explicit SystemLocaleOverride(const QByteArray& locale);
    ~SystemLocaleOverride(); // restores, when restore() was not called
    SystemLocaleOverride(const SystemLocaleOverride&) = delete;
    SystemLocaleOverride& operator=(const SystemLocaleOverride&) = delete;

    void restore();

private:
    std::optional<QByteArray> m_userAll; // LC_ALL as the user had it
    bool m_restored = false;
};
