#pragma once

#include "data/Trash.h"

#include <QDialog>

class Connection;
class EbookStore;
class QLabel;
class QPushButton;
class QTableWidget;

// 回收站: the deleted books and e-books with title, kind, the day deleted and
// size; "恢复" puts the chosen ones back, "彻底删除" (after a question) and
// "清空回收站" remove them for good.
class Tfmtrash : public QDialog
{
    Q_OBJECT
public:
    Tfmtrash(Connection& connection, const EbookStore& store, QWidget* parent = nullptr);
    ~Tfmtrash() override;

    void FormShow();
    void BtnTrashRestoreClick();
    void BtnTrashPurgeClick();
    void BtnTrashEmptyClick();

    // Whether anything came back or went since the window opened (its opener reloads then).
    bool changedLibrary() const { return m_changed; }
    QList<Trash::Item> shown() const { return m_items; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QList<Trash::Item> chosen() const;
    void enableButtons();

    Connection& m_connection;
    const EbookStore& m_store;
    QList<Trash::Item> m_items;
    bool m_changed = false;
    QTableWidget* LvTrash;
    QLabel* LblTrashNote;
    QPushButton* BtnTrashRestore;
    QPushButton* BtnTrashPurge;
    QPushButton* BtnTrashEmpty;
};
