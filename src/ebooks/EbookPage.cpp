#include "ebooks/EbookPage.h"

#include "Quietly.h"
#include "data/Trash.h"
#include "data/udata.h"
#include "ebooks/BookChecks.h"
#include "ebooks/DecryptProgress.h"
#include "widgets/ErrorHandler.h"
#include "ebooks/DragOut.h"
#include "ebooks/EbookGrid.h"
#include "ebooks/EbookImport.h"
#include "ebooks/EbookSql.h"
#include "ebooks/EbookStore.h"
#include "ebooks/ImportProgress.h"
#include "ebooks/OrphanBooks.h"
#include "ebooks/PdfGuard.h"
#include "ebooks/PdfViewer.h"
#include "ebooks/ureadbook.h"
#include "format/EncryptedPdfDevice.h"
#include "pdfworker/PdfWorkerClient.h"
#include "text/PageNames.h"
#include "text/TextForms.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/TaskProgress.h"
#include "tasks/BackgroundTask.h"
#include "widgets/Titles.h"

#include <utility>
#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// How long the question about unlisted store files waits for the window: 50 ms at a time, 5 s at most.
constexpr int WaitForWindowMs = 50;
constexpr int WaitForWindowTries = 100;

// The last-page memory and the page names are conveniences: a failure of them (a
// database being compacted, a read-only file) is noted and never stops what the user does.
constexpr const char* lastPageMemory = "last page";
constexpr const char* pageNamesMemory = "page names";

} // namespace

EbookPage::EbookPage(Connection& connection, const EbookStore& store, const QString& dragFolder, QWidget* parent)
    : QWidget(parent)
    , qydzbook(new RecordSet(connection, this))
    , m_store(store)
    , m_dragCopies(std::make_shared<DragCopy>(dragFolder))
    , m_lastPage(connection)
{
    setObjectName(u"TabSheet2"_s);
    qydzbook->setObjectName(u"qydzbook"_s);
    qydzbook->setSql(QString::fromUtf16(EbookSql::allBooks));
    // A deleted e-book waits in the bin: its row kept in the delete's own transaction.
    qydzbook->setBeforeRemove([](sqlite3* db, qint64 id) {
        Trash::keep(db, Trash::Kind::Ebook, id, QDateTime::currentDateTime());
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl2 = new QTabWidget(this);
    PageControl2->setObjectName(u"PageControl2"_s);
    PageControl2->setDocumentMode(true);
    PageControl2->tabBar()->hide();
    layout->addWidget(PageControl2);
    buildManagementPage();
    buildReadingPage();
}

EbookPage::~EbookPage()
{
    delete m_import.data(); // waits for the file in hand, which leaves nothing behind
    delete m_checks; // ends its workers before the guard they use goes
    m_checks = nullptr;
}

// ---- viewer calls -------------------------------------------------------

void EbookPage::viewerFlag(bool flag)
{
    if (m_viewerLog)
        *m_viewerLog << u"SetViewerFlag(%1)"_s.arg(flag ? u"true"_s : u"false"_s);
    FoxitPDFSDK1->SetViewerFlag(flag);
}

void EbookPage::viewerPart(int part, bool on)
{
    if (m_viewerLog)
        *m_viewerLog << u"SetViewerPart(%1, %2)"_s.arg(part).arg(on ? u"true"_s : u"false"_s);
    FoxitPDFSDK1->SetViewerPart(part, on);
}

void EbookPage::viewerCommand()
{
    if (m_viewerLog)
        *m_viewerLog << u"RunViewerCommand()"_s;
    FoxitPDFSDK1->RunViewerCommand();
}

// ---- navigation ---------------------------------------------------------

void EbookPage::FormShow()
{
    cleanStore();
    viewerFlag(false);
    qydzbook->open();
}

void EbookPage::cleanStore()
{
    // What an interrupted import left: a ".part" goes; a store file no row
    // names is offered back. An import that runs now leaves no such thing.
    if (m_storeCleaned || importRunning())
        return;
    m_storeCleaned = true;
    // The question waits for the main window on screen, so it is asked over
    // the program rather than before it.
    QMetaObject::invokeMethod(this, [this] { offerUnlisted(WaitForWindowTries); }, Qt::QueuedConnection);
}

void EbookPage::offerUnlisted(int triesLeft)
{
    const QWindow* shown = window()->windowHandle();
    if ((!shown || !shown->isExposed()) && triesLeft > 0) {
        QTimer::singleShot(WaitForWindowMs, this, [this, triesLeft] { offerUnlisted(triesLeft - 1); });
        return;
    }
    if (importRunning()) // an import started meanwhile: asked at the next start
        return;
    ErrorHandler::guard([this] { takeBackUnlisted(); });
}

void EbookPage::takeBackUnlisted()
{
    const QStringList found = OrphanBooks::ask(window(), *qydzbook, m_store);
    if (found.isEmpty())
        return;
    // Their titles come from the PDF worker, off the window's thread.
    auto titles = std::make_shared<QStringList>();
    auto* task = new ThreadTask(
        [titles, found, store = m_store](TaskControl& control) {
            for (const QString& storedName : found) {
                if (!control.step(titles->size(), found.size()))
                    return;
                *titles << OrphanBooks::titleOf(store.path(storedName), WorkerSettings::standard(),
                    [&control] { return control.isCancelled(); });
            }
        },
        this);
    task->setAutoDelete(true);
    task->setCancellable(false); // the files are taken back, titled or not
    new TaskProgress(task, window(), u"恢复电子书"_s);
    connect(task, &BackgroundTask::finished, this, [this, task, titles, found] {
        ErrorHandler::guard([&] {
            task->rethrow();
            OrphanBooks::takeBack(*qydzbook, found, *titles);
        });
        emit unlistedTakenBack();
    });
    task->start();
}

void EbookPage::clearReading()
{
    FoxitPDFSDK1->clear();
    m_shownId = -1;
    m_readingId = -1;
    PageControl2->setCurrentWidget(TabSheet4);
}

void EbookPage::locked()
{
    const bool reading = PageControl2->currentWidget() == TabSheet5 && FoxitPDFSDK1->hasDocument() && m_readingId > 0;
    m_lockedId = reading ? m_readingId : -1;
    m_lockedPage = reading ? FoxitPDFSDK1->currentPage() : -1;
    FoxitPDFSDK1->clear();
    m_shownId = -1;
    m_readingId = -1;
    m_dragCopies->removeThisRunsCopies();
}

void EbookPage::unlocked()
{
    const qint64 id = std::exchange(m_lockedId, -1);
    if (id > 0)
        openFound(id, std::exchange(m_lockedPage, -1));
}

void EbookPage::bringToFront()
{
    for (QWidget* owner = parentWidget(); owner; owner = owner->parentWidget()) {
        if (auto* pages = qobject_cast<QTabWidget*>(owner)) {
            pages->setCurrentWidget(this);
            return;
        }
    }
}

void EbookPage::dxNavBar1Item7Click()
{
    bringToFront();
    PageControl2->setCurrentWidget(TabSheet4);
    viewerFlag(false);
}

void EbookPage::dxNavBar1Item8Click()
{
    bringToFront();
    viewerCommand();
    showReadingPage();
    viewerFlag(false);
    FoxitPDFSDK1->setFocus(); // its keys and find bar work at once
}

void EbookPage::showReadingPage()
{
    // One reader however it is reached (阅读 in the list, a search hit, the
    // navigation): the back bar, the toolbar and the side pane.
    bringToFront();
    Panel2->setVisible(true);
    if (!FoxitPDFSDK1->isPartShown(PdfViewer::ToolBarPart))
        viewerPart(PdfViewer::ToolBarPart, true);
    if (!FoxitPDFSDK1->isPartShown(PdfViewer::SidePanePart))
        viewerPart(PdfViewer::SidePanePart, true);
    PageControl2->setCurrentWidget(TabSheet5);
}

void EbookPage::BitBtn3Click()
{
    PageControl2->setCurrentWidget(TabSheet4); // the viewer keeps its document
}

// ---- commands -----------------------------------------------------------

bool EbookPage::waitForImport()
{
    if (!importRunning())
        return false;
    Prompt::information(this, Titles::hint(), u"正在导入电子书，请稍候。"_s);
    return true;
}

bool EbookPage::hasCurrent() const
{
    return qydzbook->isOpen() && !qydzbook->isEmpty() && qydzbook->recNo() >= 0;
}

bool EbookPage::noCurrent()
{
    if (hasCurrent())
        return false;
    Prompt::information(this, Titles::hint(), u"请先选中一本电子书"_s);
    return true;
}

QString EbookPage::current(const char* field) const
{
    // With an empty or closed list there is no current e-book: its values are empty.
    if (!hasCurrent())
        return QString();
    return qydzbook->asText(QString::fromLatin1(field));
}

void EbookPage::Button8Click()
{
    if (waitForImport())
        return;
    qydzbook->setSql(EbookSql::search(qydzbook->connection(), Edbkname->text(), ComboBoxEx1->currentText()));
    qydzbook->open();
}

void EbookPage::Button4Click()
{
    readCurrent(-1);
}

PdfGuard& EbookPage::guard()
{
    if (!m_guard)
        m_guard = std::make_shared<PdfGuard>(qydzbook->connection().connectionString());
    return *m_guard;
}

void EbookPage::setPdfGuard(std::shared_ptr<PdfGuard> guard)
{
    m_guard = std::move(guard);
}

bool EbookPage::checkingBook() const
{
    return m_checks && m_checks->checking();
}

bool EbookPage::readingOutline() const
{
    return m_checks && m_checks->readingOutline();
}

BookChecks& EbookPage::checks()
{
    if (!m_checks) {
        m_checks = new BookChecks(guard(), this);
        connect(m_checks, &BookChecks::checked, this, &EbookPage::bookChecked);
        connect(m_checks, &BookChecks::outlineRead, this,
            [this](int serial, const QList<PdfViewer::OutlineEntry>& entries, const QStringList& labels) {
                if (serial != m_outlineSerial || m_shownId != m_reading.id || !FoxitPDFSDK1->hasDocument())
                    return;
                FoxitPDFSDK1->setOutline(entries);
                FoxitPDFSDK1->setPageLabels(labels);
                // The search names its pages as the reader does.
                quietly(pageNamesMemory, [&] {
                    PageNames::remember(qydzbook->connection(), m_reading.storedName, FoxitPDFSDK1->pageLabels());
                });
            });
        connect(FoxitPDFSDK1, &PdfViewer::checkCancelled, this, &EbookPage::cancelChecking);
    }
    return *m_checks;
}

bool EbookPage::readCurrent(int wantedPage, const QString& find)
{
    if (waitForImport() || noCurrent())
        return false;
    const Reading reading { current("id").toLongLong(), current("filename"), EbookSql::trimmed(current("place")),
        wantedPage, find };
    if (reading.id > 0 && reading.id == m_shownId && reading.storedName == m_shownFile
        && reading.password == m_shownPassword && FoxitPDFSDK1->hasDocument()) {
        // The book in the viewer: back to it where it was left, without loading it again.
        showReadingPage();
        if (m_viewerLog)
            *m_viewerLog << u"kept"_s;
        if (wantedPage < 0 && FoxitPDFSDK1->currentPage() > 0)
            FoxitPDFSDK1->showNote(u"上次读到%1"_s.arg(FoxitPDFSDK1->pageName(FoxitPDFSDK1->currentPage())));
        m_readingId = reading.id;
        m_reading = reading;
        goToWanted(reading);
        FoxitPDFSDK1->setFocus();
        return true;
    }
    const QString storeFile = m_store.path(reading.storedName);
    // A missing or damaged store file stops the command before the page changes.
    { EncryptedPdfDevice probe(storeFile); }
    checks().cancelCheck();
    m_checkSerial = 0;
    showReadingPage();
    m_readingId = -1; // the pages of the opening are not the reader's
    m_shownId = reading.id;
    m_shownFile.clear();
    m_shownPassword.clear();
    m_reading = reading;
    // Known books open at once; a book the PDF worker has not seen yet is
    // checked there first (a book that makes the PDF engine loop or crash is
    // set aside instead of freezing the window), the window going on meanwhile.
    switch (guard().known(reading.storedName, QFileInfo(storeFile).size())) {
    case PdfGuard::Known::Safe:
        return openChecked(reading);
    case PdfGuard::Known::SetAside:
        m_checkSerial = -1;
        bookChecked(m_checkSerial, { PdfGuard::Answer::SetAside, {} });
        return false;
    case PdfGuard::Known::Unknown:
        break;
    }
    FoxitPDFSDK1->showChecking(u"正在检查这本电子书…"_s);
    m_checkSerial = checks().startCheck(storeFile, reading.storedName, reading.password);
    return true;
}

void EbookPage::cancelChecking()
{
    if (m_checks)
        m_checks->cancelCheck();
    m_checkSerial = 0;
    m_shownId = -1;
    FoxitPDFSDK1->clear();
    BitBtn3Click();
}

void EbookPage::bookChecked(int serial, const PdfGuard::Outcome& outcome)
{
    if (serial != m_checkSerial || m_shownId != m_reading.id)
        return; // another book was asked for meanwhile
    m_checkSerial = 0;
    switch (outcome.answer) {
    case PdfGuard::Answer::Safe:
    case PdfGuard::Answer::NeedsPassword: // the viewer says so itself
    case PdfGuard::Answer::Damaged:
        openChecked(m_reading);
        return;
    case PdfGuard::Answer::Cancelled:
        return;
    case PdfGuard::Answer::SetAside:
    case PdfGuard::Answer::NotChecked:
    case PdfGuard::Answer::PasswordTooLong:
    case PdfGuard::Answer::StoreError:
        break;
    }
    if (m_viewerLog)
        *m_viewerLog << u"refuse"_s;
    m_readingId = -1;
    m_shownId = -1;
    const QString text = outcome.answer == PdfGuard::Answer::SetAside ? PdfGuard::refusal()
        : outcome.answer == PdfGuard::Answer::PasswordTooLong       ? PdfGuard::passwordTooLongMessage()
        : outcome.answer == PdfGuard::Answer::StoreError            ? u"无法打开此文档：%1"_s.arg(outcome.detail)
                                                                    : PdfGuard::notCheckedMessage();
    FoxitPDFSDK1->refuse(text);
}

bool EbookPage::openChecked(const Reading& reading)
{
    // Read straight from the store file, deciphered in memory part by part as
    // the viewer asks.
    const QString storeFile = m_store.path(reading.storedName);
    std::unique_ptr<EncryptedPdfDevice> document;
    try {
        document = std::make_unique<EncryptedPdfDevice>(storeFile);
    } catch (const Exception& error) {
        m_shownId = -1;
        FoxitPDFSDK1->refuse(u"无法打开此文档：%1"_s.arg(QString::fromUtf8(error.what())));
        return false;
    }
    int remembered = 0;
    if (reading.page < 0)
        quietly(lastPageMemory, [&] { remembered = reading.id > 0 ? m_lastPage.page(reading.id) : 0; });
    if (m_viewerLog)
        *m_viewerLog << u"OpenDocumentDevice(%1)"_s.arg(reading.password);
    m_shownFile = reading.storedName;
    m_shownPassword = reading.password;
    const bool opened = FoxitPDFSDK1->OpenDocumentDevice(std::move(document), reading.password);
    if (opened) // the find bar searches through the PDF worker, from the store file
        FoxitPDFSDK1->setFindSource(storeFile, reading.password);
    if (opened) // the labels learnt at an earlier reading, until the worker reads them again
        quietly(pageNamesMemory, [&] {
            FoxitPDFSDK1->setPageLabels(PageNames::stored(qydzbook->connection().handle(), reading.storedName));
        });
    // A page asked for (a search hit) is where the reader goes: the remembered
    // one is neither shown nor announced then.
    if (opened && reading.page < 0 && remembered > 0 && remembered < FoxitPDFSDK1->pageCount()) {
        FoxitPDFSDK1->goToPage(remembered);
        FoxitPDFSDK1->showNote(u"上次读到%1"_s.arg(FoxitPDFSDK1->pageName(remembered)));
    }
    if (opened && reading.id > 0)
        m_readingId = reading.id;
    if (opened) {
        goToWanted(reading);
        m_outlineSerial = checks().startOutline(storeFile, reading.password);
    }
    FoxitPDFSDK1->setFocus();
    return opened;
}

void EbookPage::goToWanted(const Reading& reading)
{
    if (reading.page < 0 || reading.page >= FoxitPDFSDK1->pageCount())
        return;
    // The book's text is searched in simplified characters: the find bar
    // takes whichever form of the text the page itself holds.
    if (reading.find.isEmpty())
        FoxitPDFSDK1->goToPage(reading.page);
    else
        FoxitPDFSDK1->findFirstForm(TextForms::variants(reading.find), reading.page);
    rememberPage(reading.page);
}

bool EbookPage::openFound(qint64 id, int page, const QString& find)
{
    if (waitForImport())
        return false;
    const QString key = QString::number(id);
    if (!qydzbook->isOpen() || !qydzbook->locate(u"ID"_s, key)) {
        // The list may show another search: all books again.
        qydzbook->setSql(QString::fromUtf16(EbookSql::allBooks));
        qydzbook->open();
        if (!qydzbook->locate(u"ID"_s, key))
            return false;
    }
    readCurrent(page, find);
    return true;
}

void EbookPage::rememberPage(int page)
{
    if (m_readingId > 0)
        quietly(lastPageMemory, [&] { m_lastPage.remember(m_readingId, page); });
}

void EbookPage::Button5Click()
{
    if (waitForImport() || noCurrent())
        return;
    {
        Tfmreadbook dialog(*qydzbook, window());
        dialog.exec();
    }
    emit detailsSaved();
    // A changed title, status or author shows at once.
    if (qydzbook->isOpen())
        qydzbook->refresh();
}

void EbookPage::Button3Click()
{
    if (waitForImport() || noCurrent())
        return;
    // The question about a file already there comes once ".pdf" is added to the name chosen.
    const QString name = current("name");
    const QString chosen = Prompt::getSaveFileName(
        this, QString(), m_export.suggestion(name), EbookExport::dialogFilter(), false);
    if (chosen.isEmpty())
        return;
    const QString target = m_export.choose(chosen);
    if (QFileInfo::exists(target)
        && Prompt::message(this, QMessageBox::Question, u"导出电子书"_s,
               u"%1 已存在。\n要替换它吗？"_s.arg(QDir::toNativeSeparators(target)), QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
        return;
    const QString storeFile = m_store.path(current("filename"));
    DecryptProgress* exporting = DecryptProgress::start(window(), u"导出电子书"_s, name, true,
        [storeFile, target](const DecryptProgress::Report& report) { return EbookExport::write(storeFile, target, report); });
    connect(exporting, &DecryptProgress::finished, this, [this, exporting, target] {
        ErrorHandler::guard([this, exporting, target] {
            exporting->rethrow();
            if (exporting->completed())
                Prompt::information(this, u"导出电子书"_s, u"导出完成：\n%1"_s.arg(QDir::toNativeSeparators(target)));
        });
    });
}

void EbookPage::Button6Click()
{
    if (waitForImport() || noCurrent())
        return;
    if (Prompt::message(this, QMessageBox::Information, u"青禾图书管理系统"_s, u"确定删除当前PDF文档"_s,
            QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;
    const QString storedName = current("filename");
    const QString id = current("id");
    // The row goes into the bin first: a row that cannot be deleted keeps its file
    // where it is, and a crash before the files follow it is put right at the
    // next start (RecycleBin::tidy).
    qydzbook->remove();
    m_store.moveToBin(storedName); // a file already gone does not matter
    emit storeFileRemoved(storedName);
    PdfGuard::forget(qydzbook->connection(), storedName);
    quietly(pageNamesMemory, [&] { PageNames::forget(qydzbook->connection(), storedName); });
    if (id.isEmpty())
        return;
    emit bookDeleted(id.toLongLong());
    if (id.toLongLong() == m_shownId) {
        // The book shown is gone: so is its page.
        FoxitPDFSDK1->clear();
        m_shownId = -1;
        m_readingId = -1;
    }
    quietly(lastPageMemory, [&] { m_lastPage.forget(id.toLongLong()); });
}

void EbookPage::DBGrid2MouseDown(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressPoint = event->position().toPoint();
    m_leftPressed = true;
}

void EbookPage::DBGrid2MouseMove(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        m_leftPressed = false;
    if (!m_leftPressed || !qydzbook->isOpen() || qydzbook->isEmpty())
        return;
    if (!DragOut::exceedsStartDistance(m_pressPoint, event->position().toPoint()))
        return;
    m_leftPressed = false;
    if (waitForImport())
        return;
    DragOut::startDrag(DBGrid2->viewport(), m_dragCopies, m_store.path(current("filename")), current("name"));
}

// ---- import -------------------------------------------------------------

bool EbookPage::importRunning() const
{
    return !m_import.isNull();
}

ImportProgress* EbookPage::runningImport() const
{
    return m_import.data();
}

void EbookPage::Button2Click()
{
    if (waitForImport())
        return;
    const QStringList files = Prompt::getOpenFileNames(this, u"导入电子书"_s, QString(), u"电子书(pdf) (*.pdf)"_s);
    if (!files.isEmpty())
        importFiles(files);
}

void EbookPage::importFiles(const QStringList& files)
{
    if (waitForImport() || files.isEmpty())
        return;
    // The rows of this moment, for the duplicate check.
    RecordSet rows(qydzbook->connection());
    rows.setSql(u"select name, filename from dzbook"_s);
    rows.open();
    QStringList names, storedNames;
    for (int row = 0; row < rows.recordCount(); ++row) {
        names << rows.textAt(row, 0);
        storedNames << rows.textAt(row, 1);
    }
    auto job = std::make_unique<EbookImport>(m_store, files, names, storedNames);
    // The title the PDF gives itself, read by the PDF worker (never the window's engine).
    job->setTitleReader([](const QString& storeFile) {
        PdfWorkerClient worker;
        const WorkerResult result = worker.run(WorkerJob::title(storeFile));
        return result.end == WorkerEnd::Done ? result.body.value(u"title"_s).toString() : QString();
    });
    m_import = new ImportProgress(
        std::move(job), [this](const QString& name, const QString& storedName) { writeImportedRow(name, storedName); },
        window());
    connect(m_import, &ImportProgress::finished, this, &EbookPage::importEnded);
    updateCommands();
    m_import->start();
}

void EbookPage::writeImportedRow(const QString& name, const QString& storedName)
{
    try {
        qydzbook->append();
        qydzbook->setText(u"name"_s, name);
        qydzbook->setText(u"filename"_s, storedName);
        qydzbook->post();
    } catch (...) {
        if (qydzbook->state() == RecordSet::State::Insert)
            qydzbook->cancel();
        throw;
    }
}

void EbookPage::importEnded()
{
    ImportProgress* finished = m_import;
    m_import = nullptr;
    if (finished)
        finished->deleteLater();
    updateCommands();
    emit importFinished();
}

void EbookPage::updateCommands()
{
    const bool idle = !importRunning();
    for (QWidget* control : std::initializer_list<QWidget*> { Button8, Button4, Button5, Button6, Button2, Button3 })
        control->setEnabled(idle);
    for (QAction* action : { N1, N2, N3, N4 })
        action->setEnabled(idle);
    DBGrid2->setDropsEnabled(idle);
}
