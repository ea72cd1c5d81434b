#include "shell/AppLock.h"

#include "data/Connection.h"
#include "data/Sql.h"
#include "platform/ScreenLockSignal.h"
#include "shell/IdleWatch.h"
#include "shell/ulock.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QResizeEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// What stands over a window while locked: nothing of the window shows through.
class LockCover : public QWidget
{
public:
    explicit LockCover(QWidget* host)
        : QWidget(host)
    {
        setObjectName(u"LockCover"_s);
        setAttribute(Qt::WA_StyledBackground);
        setAutoFillBackground(true);
        setStyleSheet(u"#LockCover { background: #dfeee0; }"_s);
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(Titles::application() + u"\n已锁定"_s, this);
        text->setAlignment(Qt::AlignCenter);
        text->setStyleSheet(u"color: #2e6b37; font-size: 22px; font-weight: bold;"_s);
        layout->addWidget(text);
        setGeometry(host->rect());
        host->installEventFilter(this);
        show();
        raise();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent()) {
            if (event->type() == QEvent::Resize)
                setGeometry(parentWidget()->rect());
            else if (event->type() == QEvent::ChildAdded || event->type() == QEvent::LayoutRequest)
                raise();
        }
        return QWidget::eventFilter(watched, event);
    }
};

bool isCoverable(const QWidget* widget)
{
    if (!widget->isWindow() || !widget->isVisible())
        return false;
    const Qt::WindowType type = widget->windowType();
    return type != Qt::ToolTip && type != Qt::Popup && type != Qt::Desktop;
}

} // namespace

AppLock::AppLock(Connection& connection, QWidget* window)
    : QObject(window)
    , m_connection(connection)
    , m_window(window)
    , m_idle(new IdleWatch(this))
    , m_screen(new ScreenLockSignal(this))
{
    connect(m_idle, &IdleWatch::idle, this, &AppLock::lock);
    connect(m_screen, &ScreenLockSignal::locked, this, &AppLock::lock);
}

AppLock::~AppLock()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool AppLock::isLocked() const
{
    return m_prompt != nullptr;
}

TFmlock* AppLock::prompt() const
{
    return m_prompt;
}

void AppLock::setIdleMinutes(int minutes)
{
    m_idle->setMinutes(minutes);
}

void AppLock::setHooks(std::function<void()> onLock, std::function<void()> onUnlock)
{
    m_onLock = std::move(onLock);
    m_onUnlock = std::move(onUnlock);
}

QString AppLock::account() const
{
    try {
        // The account logged in, while the library still has it: a library restored
        // meanwhile may not, and its first account is asked for instead of locking out.
        if (!m_user.isEmpty()
            && m_connection.scalar(u"select count(*) from userb where users = "_s + Sql::quoted(m_user)).toInt() > 0)
            return m_user;
        return m_connection.scalar(u"select users from userb order by rowid limit 1"_s).trimmed();
    } catch (const Exception&) {
        return m_user;
    }
}

void AppLock::cover(QWidget* window)
{
    if (window == m_prompt || window->findChild<QWidget*>(u"LockCover"_s, Qt::FindDirectChildrenOnly))
        return;
    m_covers.append(new LockCover(window));
}

void AppLock::lock()
{
    if (isLocked())
        return;
    m_focus = QApplication::focusWidget();
    while (QWidget* popup = QApplication::activePopupWidget()) // menus, completers
        popup->close();
    // The document and the decrypted pages go first, whatever happens after.
    if (m_onLock)
        ErrorHandler::guard(m_onLock);
    m_idle->setPaused(true);
    for (QWidget* window : QApplication::topLevelWidgets())
        if (isCoverable(window))
            cover(window);
    if (m_window->isVisible() || m_covers.isEmpty())
        cover(m_window);

    m_prompt = new TFmlock(account(), m_window);
    connect(m_prompt, &TFmlock::unlockAsked, this, [this] { ErrorHandler::guard([this] { unlock(); }); });
    qApp->installEventFilter(this); // windows that open while locked are covered too
    m_prompt->show();
    m_prompt->raise();
    m_prompt->activateWindow();
    m_prompt->clearPassword();
    emit lockedChanged(true);
}

bool AppLock::unlock()
{
    if (!isLocked())
        return true;
    const QString user = account();
    const QString password = m_prompt->password();
    const QString matches = m_connection.scalar(u"select count(*) from userb where users = "_s + Sql::quoted(user)
        + u" and password = "_s + Sql::quoted(password));
    if (matches.toInt() <= 0) {
        Prompt::message(m_prompt, QMessageBox::Warning, Titles::hint(), u"密码错误"_s);
        if (m_prompt)
            m_prompt->clearPassword();
        return false;
    }
    qApp->removeEventFilter(this);
    m_prompt->hide();
    m_prompt->deleteLater();
    m_prompt = nullptr;
    for (const QPointer<QWidget>& cover : std::as_const(m_covers))
        delete cover.data();
    m_covers.clear();
    m_idle->setPaused(false);
    if (m_onUnlock)
        ErrorHandler::guard(m_onUnlock);
    if (m_focus) {
        m_focus->activateWindow();
        m_focus->setFocus();
    }
    emit lockedChanged(false);
    return true;
}

bool AppLock::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        // A message box shows no book and must stay answerable; anything else is covered.
        if (isLocked() && widget != m_prompt && isCoverable(widget) && !qobject_cast<QMessageBox*>(widget))
            cover(widget);
    }
    return QObject::eventFilter(watched, event);
}
