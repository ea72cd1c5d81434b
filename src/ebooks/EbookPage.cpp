#include "ebooks/EbookPage.h"

#include "ebooks/EbookGrid.h"
#include "ebooks/EbookImport.h"
#include "ebooks/EbookSql.h"
#include "ebooks/EbookStore.h"
#include "ebooks/ImportProgress.h"
#include "ebooks/PdfViewer.h"
#include "shell/Prompt.h"
#include "shell/Titles.h"
#include "shell/udata.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

EbookPage::EbookPage(Connection& connection, QWidget* parent)
    : QWidget(parent)
    , qydzbook(new RecordSet(connection, this))
{
    setObjectName(u"TabSheet2"_s);
    qydzbook->setObjectName(u"qydzbook"_s);
    qydzbook->setSql(QString::fromUtf16(EbookSql::allBooks));

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
    // A ".part" in the store is what an interrupted import left; one that runs now is no such thing.
    if (!m_storeCleaned && !importRunning()) {
        EbookStore::standard().removeUnfinished();
        m_storeCleaned = true;
    }
    viewerFlag(false);
    qydzbook->open();
}

void EbookPage::clearReading()
{
    FoxitPDFSDK1->clear();
    PageControl2->setCurrentWidget(TabSheet4);
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
    BitBtn3->setVisible(true);
    PageControl2->setCurrentWidget(TabSheet4);
    viewerFlag(false);
    viewerPart(0, false);
    viewerPart(1, false);
    Panel2->setVisible(true);
}

void EbookPage::dxNavBar1Item8Click()
{
    bringToFront();
    viewerPart(0, true);
    viewerPart(1, true);
    viewerCommand();
    Panel2->setVisible(false);
    PageControl2->setCurrentWidget(TabSheet5);
    viewerFlag(false);
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

void EbookPage::notYetAvailable(const QString& what)
{
    Prompt::information(this, Titles::hint(), u"「%1」将在后续版本中提供。"_s.arg(what));
}

QString EbookPage::current(const char* field) const
{
    // With an empty or closed list there is no current e-book: its values are empty.
    if (!qydzbook->isOpen() || qydzbook->isEmpty() || qydzbook->recNo() < 0)
        return QString();
    return qydzbook->asText(QString::fromLatin1(field));
}

void EbookPage::Button8Click()
{
    if (waitForImport())
        return;
    qydzbook->setSql(EbookSql::search(Edbkname->text(), ComboBoxEx1->currentText()));
    qydzbook->open();
}

void EbookPage::Button4Click()
{
    if (waitForImport())
        return;
    // Decrypted into memory only; any error stops the command before the page changes.
    const QByteArray document = EbookStore::standard().read(current("filename"));
    bringToFront();
    PageControl2->setCurrentWidget(TabSheet5);
    const QString password = EbookSql::trimmed(current("place"));
    if (m_viewerLog)
        *m_viewerLog << u"OpenDocumentStream(%1)"_s.arg(password);
    FoxitPDFSDK1->OpenDocumentStream(document, password);
}

void EbookPage::Button5Click()
{
    if (waitForImport())
        return;
    notYetAvailable(u"简介笔记"_s);
}

void EbookPage::Button3Click()
{
    if (waitForImport())
        return;
    notYetAvailable(u"导出电子书"_s);
}

void EbookPage::Button6Click()
{
    if (waitForImport())
        return;
    if (Prompt::message(this, QMessageBox::Information, u"青禾图书管理系统"_s, u"确定删除当前PDF文档"_s,
            QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;
    const QString storedName = current("filename");
    const QString id = current("id");
    // The row goes first: a row that cannot be deleted keeps its file.
    qydzbook->remove();
    EbookStore::standard().remove(storedName); // a file already gone does not matter
    Connection& db = qydzbook->connection();
    if (!id.isEmpty()
        && db.scalar(u"select count(*) from sqlite_master where type = 'table' and name = 'qh_lastpage'"_s) != u"0"_s)
        db.execute(EbookSql::forgetLastPage(id.toLongLong()));
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
    const QPoint moved = event->position().toPoint() - m_pressPoint;
    if (std::abs(moved.x()) < 5 && std::abs(moved.y()) < 5)
        return;
    m_leftPressed = false;
    if (waitForImport())
        return;
    notYetAvailable(u"拖出电子书"_s);
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
    auto job = std::make_unique<EbookImport>(EbookStore::standard(), files, names, storedNames);
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
