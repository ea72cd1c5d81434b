// The main window's search box: made with the window, its results opened
// where the user reads them.

#include "shell/Unittest.h"

#include "data/udata.h"
#include "ebooks/EbookPage.h"
#include "ebooks/EbookStore.h"
#include "ebooks/PdfGuard.h"
#include "platform/AppPaths.h"
#include "search/FullTextLibrary.h"
#include "shell/FindPanel.h"
#include "shell/uread.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QShortcut>
#include <QTabWidget>

using namespace Qt::StringLiterals;

void TFormtest::buildFind()
{
    Connection& connection = TDataModule2::instance()->Adocon;
    m_fullText = new FullTextLibrary(AppPaths::path(u"corvina"_s), connection.databasePath(), WorkerSettings::standard(), this);
    // One guard for reading and text building: a book checked for one is
    // checked for both, and never twice at once.
    auto guard = std::make_shared<PdfGuard>(connection.connectionString());
    TabSheet2->setPdfGuard(guard);
    m_fullText->setLoadCheck([guard, store = TabSheet2->store()](const QString& storedName, const QString& password, const PdfWorkerClient::Cancelled& stop) {
        const PdfGuard::Outcome outcome
            = guard->check(store.path(storedName), storedName, password, stop);
        switch (outcome.answer) {
        case PdfGuard::Answer::Safe:
            return FullTextLibrary::LoadAnswer::Go;
        case PdfGuard::Answer::NotChecked:
        case PdfGuard::Answer::Cancelled:
            return FullTextLibrary::LoadAnswer::Later;
        default:
            return FullTextLibrary::LoadAnswer::SetAside;
        }
    });
    m_find = new FindPanel(connection, m_fullText, this);
    connect(m_find, &FindPanel::openPaperBook, this,
        [this](qint64 id) { ErrorHandler::guard([this, id] { openFoundPaperBook(id); }); });
    connect(m_find, &FindPanel::openEbook, this, [this](qint64 id, int page, const QString& find) {
        ErrorHandler::guard([this, id, page, find] { openFoundEbook(id, page, find); });
    });
    // Ctrl+K from anywhere in the window; a dialog is a window of its own and keeps its keys.
    auto* focusFind = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_K), this);
    focusFind->setContext(Qt::WindowShortcut);
    connect(focusFind, &QShortcut::activated, m_find, &FindPanel::focusBox);
    // A deleted e-book's hits go with it.
    connect(TabSheet2, &EbookPage::bookDeleted, m_find, &FindPanel::dropEbook);
    // Newly imported books get their text, and so do books whose password was
    // just given; a deleted book's text goes with it.
    connect(TabSheet2, &EbookPage::importFinished, m_fullText, &FullTextLibrary::refresh);
    connect(TabSheet2, &EbookPage::detailsSaved, m_fullText, &FullTextLibrary::refresh);
    connect(TabSheet2, &EbookPage::storeFileRemoved, m_fullText, &FullTextLibrary::forget);
}

void TFormtest::openFoundPaperBook(qint64 id)
{
    Tfmread dialog(this);
    dialog.openBook(id);
    dialog.exec();
}

void TFormtest::openFoundEbook(qint64 id, int page, const QString& find)
{
    // A hit whose book is gone (deleted by another copy, a restore) leaves the list.
    if (!TabSheet2->openFound(id, page, find) && !TabSheet2->importRunning()) {
        m_find->dropEbook(id);
        Prompt::information(this, Titles::hint(), u"这本电子书已不在书库中"_s);
    }
}
