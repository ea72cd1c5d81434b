#pragma once

// An explorer-style navigation pane: collapsible groups, each listing its items
// as links. Sky-blue background, green headers and items; the item under the
// mouse turns red and underlined.

#include <QLabel>
#include <QWidget>

class QToolButton;
class QVBoxLayout;

class NavItem : public QLabel
{
    Q_OBJECT
public:
    NavItem(const QString& objectName, const QString& caption, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setHot(bool hot);
};

class NavGroup : public QWidget
{
    Q_OBJECT
public:
    NavGroup(const QString& objectName, const QString& caption, QWidget* parent = nullptr);

    NavItem* addItem(const QString& objectName, const QString& caption);
    QList<NavItem*> items() const;
    void clearItems();

    bool isExpanded() const;
    void setExpanded(bool expanded);
    QToolButton* header() const { return m_header; }

signals:
    void headerClicked();

private:
    QToolButton* m_header;
    QWidget* m_body;
    QVBoxLayout* m_bodyLayout;
};

class NavBar : public QWidget
{
    Q_OBJECT
public:
    explicit NavBar(QWidget* parent = nullptr);

    NavGroup* addGroup(const QString& objectName, const QString& caption);
    QList<NavGroup*> groups() const { return m_groups; }
    // What Tab reaches, top to bottom: each group's header, then its items.
    QList<QWidget*> tabChain() const;

private:
    QVBoxLayout* m_layout;
    QList<NavGroup*> m_groups;
};
