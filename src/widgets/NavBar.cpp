#include "widgets/NavBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const kPaneStyle = R"(
NavBar { background: #87ceeb; }
QToolButton[navGroup="true"] {
    background: #2e8b3e; color: white; font-weight: bold; font-size: 13px;
    border: 1px solid #1f6b2c; border-radius: 3px; padding: 4px 6px; text-align: left;
}
QToolButton[navGroup="true"]:hover { background: #38a84b; }
QWidget#navGroupBody { background: #9ed89a; border: 1px solid #6fb36a; border-top: none; }
NavItem { color: #14361a; font-size: 13px; padding: 3px 14px; background: transparent; }
NavItem[hot="true"] { color: red; text-decoration: underline; }
NavItem:focus { color: #14361a; background: #fff3c4; border: 1px solid #c9a25a; border-radius: 2px; }
QToolButton[navGroup="true"]:focus { border: 2px solid #f5d76e; }
)";

} // namespace

NavItem::NavItem(const QString& objectName, const QString& caption, QWidget* parent)
    : QLabel(caption, parent)
{
    setObjectName(objectName);
    setProperty("navItem", true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void NavItem::setHot(bool hot)
{
    if (property("hot").toBool() == hot)
        return;
    setProperty("hot", hot);
    style()->unpolish(this);
    style()->polish(this);
}

void NavItem::enterEvent(QEnterEvent* event)
{
    setHot(true);
    QLabel::enterEvent(event);
}

void NavItem::leaveEvent(QEvent* event)
{
    setHot(hasFocus());
    QLabel::leaveEvent(event);
}

void NavItem::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        setHot(true);
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void NavItem::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void NavItem::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void NavItem::focusInEvent(QFocusEvent* event)
{
    setHot(true);
    QLabel::focusInEvent(event);
}

void NavItem::focusOutEvent(QFocusEvent* event)
{
    setHot(underMouse());
    QLabel::focusOutEvent(event);
}

NavGroup::NavGroup(const QString& objectName, const QString& caption, QWidget* parent)
    : QWidget(parent)
    , m_header(new QToolButton(this))
    , m_body(new QWidget(this))
    , m_bodyLayout(new QVBoxLayout(m_body))
{
    setObjectName(objectName);
    m_header->setObjectName(objectName + QStringLiteral("Header"));
    m_header->setProperty("navGroup", true);
    m_header->setText(caption);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setArrowType(Qt::DownArrow);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_header->setCursor(Qt::PointingHandCursor);
    m_body->setObjectName(QStringLiteral("navGroupBody"));
    m_body->setAttribute(Qt::WA_StyledBackground);
    m_bodyLayout->setContentsMargins(0, 4, 0, 4);
    m_bodyLayout->setSpacing(2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(m_body);

    connect(m_header, &QToolButton::clicked, this, [this] {
        setExpanded(!isExpanded());
        emit headerClicked();
    });
}

NavItem* NavGroup::addItem(const QString& objectName, const QString& caption)
{
    auto* item = new NavItem(objectName, caption, m_body);
    m_bodyLayout->addWidget(item);
    return item;
}

QList<NavItem*> NavGroup::items() const
{
    return m_body->findChildren<NavItem*>(Qt::FindDirectChildrenOnly);
}

void NavGroup::clearItems()
{
    // Deferred, since the pane may be rebuilt from inside one of its own handlers.
    for (NavItem* item : items()) {
        item->hide();
        item->setParent(nullptr);
        item->deleteLater();
    }
}

bool NavGroup::isExpanded() const
{
    return !m_body->isHidden();
}

void NavGroup::setExpanded(bool expanded)
{
    m_body->setHidden(!expanded);
    m_header->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
}

NavBar::NavBar(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
{
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QString::fromUtf8(kPaneStyle));
    m_layout->setContentsMargins(6, 6, 6, 6);
    m_layout->setSpacing(6);
    m_layout->addStretch(1);
}

NavGroup* NavBar::addGroup(const QString& objectName, const QString& caption)
{
    auto* group = new NavGroup(objectName, caption, this);
    m_layout->insertWidget(m_layout->count() - 1, group);
    m_groups.append(group);
    return group;
}

QList<QWidget*> NavBar::tabChain() const
{
    QList<QWidget*> chain;
    for (NavGroup* group : m_groups) {
        chain << group->header();
        for (NavItem* item : group->items())
            chain << item;
    }
    return chain;
}
