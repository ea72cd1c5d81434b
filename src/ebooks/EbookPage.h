#pragma once

#include "ebooks/DragCopy.h"
#include "ebooks/EbookExport.h"
#include "ebooks/EbookStore.h"
#include "ebooks/LastPage.h"
#include "ebooks/PdfGuard.h"

#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>

class BookChecks;
class Connection;
class PdfGuard;
class EbookGrid;
class ImportProgress;
class PdfViewer;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMouseEvent;
class QPushButton;
class QTabWidget;
class RecordSet;
class RecordSetModel;

// The e-book page of the main window ("电子书"): the management page with the
// list of e-books, its search and its commands, and the reading page with the
// viewer. The main window owns it and forwards its navigation to it.
class EbookPage : public QWidget
{
    Q_OBJECT
public:
    // store: the encrypted store the page's e-books live in; dragFolder: where
    // the decrypted copies of drags are made (DragCopy). The main window's.
    EbookPage(Connection& connection, const EbookStore& store, const QString& dragFolder, QWidget* parent = nullptr);
    const EbookStore& store() const { return m_store; }
    ~EbookPage() override;

    // Part of the main window's show routine: resets the viewer and opens the
    // list when it is closed. The first time, once the window is on screen, it
    // also clears what an interrupted import left in the store: ".part" files,
    // and store files that no row names (offered back).
    void FormShow();

    // Navigation: "电子书管理", "电子书阅读", "返回".
    void dxNavBar1Item7Click();
    void dxNavBar1Item8Click();
    void BitBtn3Click();

    // Commands of the management page; N1..N4 of the grid's menu run the same.
    void Button8Click(); // search
    void Button4Click(); // read the current e-book (N1)
    void Button5Click(); // details and notes (N2)
    void Button6Click(); // delete the current e-book (N3)
    void Button2Click(); // import chosen files
    void Button3Click(); // export (N4)
    // The grid's mouse, after the grid has handled it (drag-out starts here).
    void DBGrid2MouseDown(QMouseEvent* event);
    void DBGrid2MouseMove(QMouseEvent* event);

    // Opens an e-book found by the search box on the reading page, as "阅读"
    // does; with a page, that page is shown with the viewer's find bar holding
    // `find` and its match highlighted. False when the book is no longer listed.
    bool openFound(qint64 id, int page = -1, const QString& find = {});

    // Imports files as the dialog does (also the way of files dropped on the grid).
    void importFiles(const QStringList& files);

    // For the database compaction: the list to close and reopen, and whether an
    // import is running (then it must wait).
    RecordSet& list() const { return *qydzbook; }
    bool importRunning() const;
    // True, after telling the user to wait, while an import runs.
    bool waitForImport();
    ImportProgress* runningImport() const;
    PdfViewer* viewer() const { return FoxitPDFSDK1; }
    // The decrypted copies of this run's drags (those still in "temp").
    DragCopy& dragCopies() const { return *m_dragCopies; }
    // After a restore: back to the management page with the viewer emptied.
    void clearReading();
    // The window locks: the document being read is closed with its decrypted
    // pages, and the drag copies no drop took are removed. unlocked() opens the
    // same book again at the page it was at.
    void locked();
    void unlocked();
    EbookGrid* grid() const { return DBGrid2; }

    // The program's guard of the PDF engine and its full-text library (set by
    // the main window; without them the page has a guard of its own and no texts).
    void setPdfGuard(std::shared_ptr<PdfGuard> guard);
    // Asks about the store files no row names and takes back those the user
    // wants, titled by the PDF worker in the background; unlistedTakenBack()
    // when done. Done once by itself at the first visit of the page.
    void takeBackUnlisted();

    // Whether the reading page is waiting for the check of a book, for the
    // outline of the book shown.
    bool checkingBook() const;
    bool readingOutline() const;

    // Tests: every viewer call of the page is appended here, when set.
    void setViewerCallLog(QStringList* log) { m_viewerLog = log; }

signals:
    void importFinished();
    // A password set or changed in the details may let a book's text be read now.
    void detailsSaved();
    // A book's store file left the store (into the bin): its text goes with it.
    void storeFileRemoved(const QString& storedName);
    void unlistedTakenBack();
    // An e-book's row and file are gone (its search results with them).
    void bookDeleted(qint64 id);

private:
    // Reading: the book's check (in the PDF worker, off the window's thread),
    // then the viewer, then the outline; `page` and `find` as openFound gives them.
    struct Reading
    {
        qint64 id = -1;
        QString storedName;
        QString password;
        int page = -1;
        QString find;
    };
    void bookChecked(int serial, const PdfGuard::Outcome& outcome);
    bool openChecked(const Reading& reading);
    // The page and find text a search hit asks for, in the book shown.
    void goToWanted(const Reading& reading);
    void cancelChecking();
    PdfGuard& guard();
    BookChecks& checks();

    void buildManagementPage();
    void buildReadingPage();
    void bringToFront();
    void showReadingPage();
    // Reads the current e-book; at wantedPage (from 0) when one is given (with
    // find in the find bar), else at its remembered page. True when it opened
    // or its check started (the book opens when the check says it may).
    bool readCurrent(int wantedPage, const QString& find = {});
    void importEnded();
    void updateCommands();
    void writeImportedRow(const QString& name, const QString& storedName);
    QString current(const char* field) const;
    bool hasCurrent() const;
    // With no current e-book: says so and returns true.
    bool noCurrent();
    void cleanStore();
    void offerUnlisted(int triesLeft);
    void rememberPage(int page);
    void viewerFlag(bool flag);
    void viewerPart(int part, bool on);
    void viewerCommand();

    RecordSet* qydzbook;
    RecordSetModel* m_model = nullptr;

    QTabWidget* PageControl2 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QWidget* TabSheet5 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edbkname = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* ComboBoxEx1 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    EbookGrid* DBGrid2 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QWidget* Panel2 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    PdfViewer* FoxitPDFSDK1 = nullptr;

    QPointer<ImportProgress> m_import;
    QPoint m_pressPoint;
    bool m_leftPressed = false;
    bool m_storeCleaned = false;
    EbookExport m_export;
    EbookStore m_store;
    std::shared_ptr<DragCopy> m_dragCopies; // shared with a drag whose copy is still being made
    LastPage m_lastPage;
    qint64 m_readingId = -1; // the e-book in the viewer, whose page is remembered
    qint64 m_lockedId = -1; // the e-book that was being read when the window locked, and its page
    int m_lockedPage = -1;
    qint64 m_shownId = -1; // the e-book last handed to the viewer
    QString m_shownFile; // its store file and password, as handed over
    QString m_shownPassword;
    QStringList* m_viewerLog = nullptr;
    std::shared_ptr<PdfGuard> m_guard;
    BookChecks* m_checks = nullptr;
    Reading m_reading; // the book being checked or shown
    int m_checkSerial = 0;
    int m_outlineSerial = 0;
};
