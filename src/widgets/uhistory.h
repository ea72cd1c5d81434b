#pragma once

#include "data/History.h"

#include <QDialog>
#include <QHash>

class Connection;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// 历史版本: the dated earlier versions of one book's texts, each with what its
// save changed; "恢复此版本" writes the chosen one back (the values it replaces
// become a version of their own).
class TfmHistory : public QDialog
{
    Q_OBJECT
public:
    TfmHistory(Connection& connection, Trash::Kind kind, qint64 book, QWidget* parent = nullptr);
    ~TfmHistory() override;

    void FormShow();
    void BtnHistoryRestoreClick();
    // Whether a version was written back (the opener reads the book again).
    bool restored() const { return m_restored; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showVersion(int row);
    QString shownValue(const QString& column, const QJsonValue& value) const;

    Connection& m_connection;
    Trash::Kind m_kind;
    qint64 m_book;
    QList<History::Version> m_versions;
    QHash<qint64, QString> m_categories; // tblei: id, name
    bool m_restored = false;
    QListWidget* LvHistory;
    QPlainTextEdit* MemoHistory;
    QPushButton* BtnHistoryRestore;
};
