#pragma once

#include "search/FindHit.h"

#include <QWidget>

class Connection;
class FindListModel;
class FindRunner;
class FullTextLibrary;
class QCheckBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QTimer;
class QTreeView;

// The main window's search box: EdtFind with the check box ChkFullText
// ("全文") beside it, and under them the list of results LstFind, grouped
// "纸书" / "电子书" / "电子书全文". Typing searches after a short pause;
// Enter or a double-click on a result asks the window to open it; Escape
// closes the list.
class FindPanel : public QWidget
{
    Q_OBJECT
public:
    FindPanel(Connection& connection, FullTextLibrary* library, QWidget* parent = nullptr);
    ~FindPanel() override;

    // Ctrl+K: the box focused, its text selected.
    void focusBox();
    // Runs the search for the box's text now (typing waits a moment first).
    void search();
    // Opens the current result (Enter, double-click).
    void openCurrent();
    void closeList();
    // A deleted e-book: its hits leave the list (the list closes when none is left).
    void dropEbook(qint64 id);

    QLineEdit* box() const { return m_box; }
    QTreeView* list() const { return m_list; }
    FindListModel* model() const { return m_model; }
    // "正在为 N 本电子书建立全文索引" while the texts are being made, for the status bar.
    QLabel* buildStatus() const { return m_buildStatus; }
    // Tests: waits for the search under way and delivers its result.
    void waitForResults();

signals:
    void openPaperBook(qint64 id);
    void openEbook(qint64 id, int page, const QString& find);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showResults(const QString& text, const FindResults& results);
    void showFailure(const QString& text, const QString& message);
    void activated(const QModelIndex& index);
    void showBuildCount(int remaining);
    void fitList();
    void tellTextProblem();

    Connection& m_connection;
    FullTextLibrary* m_library;
    FindRunner* m_runner;
    QLineEdit* m_box;
    QCheckBox* m_fullText;
    QTreeView* m_list;
    FindListModel* m_model;
    QLabel* m_message;
    QLabel* m_buildStatus;
    QTimer* m_pause;
    QString m_openFirstFor; // Enter was pressed on this text: its first result opens when it comes
    bool m_textProblemTold = false;
};
