#include "catalogue/manig.h"

#include "catalogue/BookPictures.h"
#include "catalogue/Categories.h"
#include "catalogue/PictureLoader.h"
#include "catalogue/PicturePanel.h"
#include "data/Sql.h"
#include "data/Trash.h"
#include "data/udata.h"
#include "text/PinyinIndex.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"
#include "widgets/dbcontrols.h"
#include "widgets/uhistory.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
#include <QTimer>

using namespace Qt::StringLiterals;

TForm2::TForm2(QWidget* parent)
    : QDialog(parent)
    , DBmaster(new RecordSet(TDataModule2::instance()->Adocon, this))
    , Query1(new RecordSet(TDataModule2::instance()->Adocon, this))
    , loader(new PictureLoader(this))
    , pictureTimer(new QTimer(this))
{
    setObjectName(u"TForm2"_s);
    setWindowTitle(u"图书管理"_s);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
        | Qt::WindowCloseButtonHint);
    DBmaster->setObjectName(u"DBmaster"_s);
    DBmaster->setSql(u"select * from baseshu"_s);
    // A deleted book waits in the bin, kept in the delete's own transaction.
    DBmaster->setBeforeRemove([](sqlite3* db, qint64 id) {
        Trash::keep(db, Trash::Kind::Book, id, QDateTime::currentDateTime());
    });
    Query1->setObjectName(u"Query1"_s);
    buildLayout();
    // The list opens with what its grid shows; a book's other fields (contents,
    // notes, pictures) are read when it becomes the current one.
    QStringList shown;
    for (const GridColumn& column : model->columns())
        shown << column.field;
    DBmaster->setReadUpFront(shown);

    connect(
        DBmaster, &RecordSet::afterScroll, this, [this] { ErrorHandler::guard([this] { DBmasterAfterScroll(); }); });
    // Posted (by "保存", a move or an upload): the triggers may have stamped a date.
    // An opening is followed by the move to its first row, which refreshes them; an empty result is not.
    connect(DBmaster, &RecordSet::stateChanged, this, [this](RecordSet::State state) {
        const bool opened = masterState == int(RecordSet::State::Inactive);
        masterState = int(state);
        if (opened && state == RecordSet::State::Browse && !DBmaster->isEmpty())
            return;
        if (state == RecordSet::State::Browse || state == RecordSet::State::Insert)
            ErrorHandler::guard([this] { refreshLoanAndDates(); });
    });
    connect(loader, &PictureLoader::finished, this, &TForm2::showPictures);
    pictureTimer->setSingleShot(true);
    pictureTimer->setInterval(0);
    connect(pictureTimer, &QTimer::timeout, this, [this] { ErrorHandler::guard([this] { loadPictures(); }); });
    // Sized to the screen first, for desktops whose window manager does not maximise.
    resize(screen()->availableGeometry().size());
    setWindowState(Qt::WindowMaximized);
}

TForm2::~TForm2()
{
    // The record set goes after this window's own members: the grid's fitting must not follow it.
    if (model)
        model->disconnect(this);
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void TForm2::FormShow()
{
    DBmaster->open(); // an open set keeps its search, current row and pending edit
    Query1->setSql(u"select  * from tblei"_s);
    Query1->open();
    const QString shown = CBleib->currentText(); // the current book's category stays in the box
    CBleib->clear();
    categoryNames.clear();
    for (Query1->first(); !Query1->eof(); Query1->next()) {
        CBleib->addItem(Query1->asText(u"leib"_s));
        categoryNames.insert(Query1->asText(u"id"_s), Query1->asText(u"leib"_s));
    }
    CBleib->setEditText(shown);
    DBGrid1->viewport()->update(); // the category column by the names just read
}

void TForm2::reject()
{
    if (DBmaster->isOpen() && DBmaster->state() == RecordSet::State::Insert && DBmaster->isModified()) {
        const auto answer = Prompt::message(this, QMessageBox::Question, Titles::hint(),
            u"新增的图书还没有保存。保存后关闭吗？"_s, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return;
        if (answer == QMessageBox::Save) {
            ErrorHandler::guard([this] { BitBtn2Click(); });
            if (DBmaster->state() == RecordSet::State::Insert)
                return; // not saved (no such category, an error): the window stays with the book
        } else {
            DBmaster->cancel();
        }
    }
    if (lookupRunning())
        cancelLookup();
    cancelScan();
    QDialog::reject();
}

void TForm2::reread()
{
    DBmaster->cancel();
    if (DBmaster->isOpen())
        DBmaster->refresh();
    FormShow();
    pictureTimer->stop();
    loader->cancel();
    clearPictures();
    CBleib->setEditText(QString());
    if (DBmaster->isOpen() && !DBmaster->isEmpty())
        DBmasterAfterScroll();
}

void TForm2::BitBtn1Click()
{
    DBmaster->append();
}

void TForm2::BitBtn3Click()
{
    DBmaster->edit();
}

void TForm2::BitBtn2Click()
{
    Query1->setSql(u"select * from tblei where leib="_s + Sql::quoted(CBleib->currentText()));
    Query1->open();
    if (Query1->isEmpty()) {
        Prompt::message(this, QMessageBox::Warning, Titles::hint(), u"无此类别,保存失败"_s);
        return;
    }
    const std::optional<qint64> id = Query1->asInteger(u"id"_s);
    DBmaster->edit();
    DBmaster->setInteger(u"leibie"_s, id);
    DBmaster->post();
}

void TForm2::BitBtn4Click()
{
    DBmaster->cancel();
}

void TForm2::BitBtn5Click()
{
    if (Prompt::message(
            this, QMessageBox::Warning, Titles::hint(), u"确定要删除这条记录"_s, QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok)
        DBmaster->remove();
}

void TForm2::BtnHistoryClick()
{
    const std::optional<qint64> book = currentBook();
    if (!book)
        return;
    if (DBmaster->state() == RecordSet::State::Edit && DBmaster->isModified()) {
        Prompt::message(this, QMessageBox::Information, Titles::hint(), u"请先保存或取消正在编辑的内容。"_s);
        return;
    }
    DBmaster->cancel();
    TfmHistory history(DBmaster->connection(), Trash::Kind::Book, *book, this);
    history.exec();
    if (history.restored()) {
        DBmaster->refresh(); // the fields show the version written back
        refreshCategory(); // the category box is not bound to the record set
        refreshLoanAndDates();
    }
}

void TForm2::DBGrid1KeyDown()
{
    if (Prompt::message(
            this, QMessageBox::Question, Titles::hint(), u"删除这条记录吗？"_s, QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok)
        DBmaster->remove();
}

QString TForm2::searchStatement(const QString& text) const
{
    const QString typed = text.trimmed();
    QString sql = u" select * from baseshu where 1=1 "_s;
    if (!typed.isEmpty())
        sql += u" and "_s
            + PinyinIndex::condition(
                DBmaster->connection(), u"name like "_s + Sql::quoted(u'%' + typed + u'%'), u"baseshu"_s, typed);
    return sql;
}

void TForm2::Button2Click()
{
    runSearch(Edit1->text());
}

void TForm2::runSearch(const QString& text)
{
    searchText = text;
    DBmaster->setSql(searchStatement(text)); // drops what was not saved
    DBmaster->open();
    if (DBmaster->isEmpty()) {
        // Nothing found: no book is current, so nothing of one is shown.
        pictureTimer->stop();
        loader->cancel();
        clearPictures();
        CBleib->setEditText(QString());
    }
}

void TForm2::Edit1KeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) // key code 13
        Button2Click();
}

void TForm2::clearPictures()
{
    for (PicturePanel* panel : panels)
        panel->clearPicture();
    uploadedSinceRefresh.fill(false);
}

void TForm2::DBmasterAfterScroll()
{
    // The panels empty at once; the pictures are read when the moves stop (the next
    // turn of the event loop) and decoded on other threads, so moving through the
    // grid never waits for them. A look-up asked for the book left is dropped.
    if (lookupRunning())
        cancelLookup();
    cancelScan();
    LblLookup->clear();
    clearPictures();
    loader->cancel();
    pictureTimer->start();
    refreshCategory();
    refreshLoanAndDates();
}

bool TForm2::picturesPending() const
{
    return pictureTimer->isActive() || loader->isBusy();
}

void TForm2::waitForPictures()
{
    if (pictureTimer->isActive()) {
        pictureTimer->stop();
        loadPictures();
    }
    loader->settle();
}

void TForm2::loadPictures()
{
    if (!DBmaster->isOpen())
        return;
    QList<PictureLoader::Source> sources;
    for (int slot : BookPictures::refreshOrder) {
        const BookPictures::Slot& columns = BookPictures::slotColumns[std::size_t(slot)];
        PictureLoader::Source source { DBmaster->asText(QString::fromUtf16(columns.tag)), {} };
        if (BookPictures::isShown(source.tag))
            source.bytes = DBmaster->asBytes(QString::fromUtf16(columns.blob));
        sources << source;
    }
    loader->load(std::move(sources), panels[0]->pictureSize());
}

void TForm2::showPictures(const QList<BookPictures::Decoded>& pictures)
{
    for (std::size_t i = 0; i < BookPictures::refreshOrder.size(); ++i) {
        const int slot = BookPictures::refreshOrder[i];
        const BookPictures::Decoded decoded = pictures.value(qsizetype(i));
        if (!decoded.error.isEmpty()) {
            // As a failing slot stops the refresh: the slots after it stay empty.
            ErrorHandler::report(Exception(decoded.error.toStdString()));
            break;
        }
        if (!uploadedSinceRefresh[std::size_t(slot)])
            panels[std::size_t(slot)]->showPicture(decoded.image);
    }
    emit picturesShown();
}

void TForm2::refreshCategory()
{
    const std::optional<qint64> id
        = DBmaster->isOpen() && !DBmaster->isNull(u"leibie"_s) ? DBmaster->asInteger(u"leibie"_s) : std::nullopt;
    const QString name = id ? Categories::nameOf(DBmaster->connection(), *id) : QString();
    if (CBleib->currentText() != name)
        CBleib->setEditText(name);
}

void TForm2::upload(int slot)
{
    const BookPictures::Slot& columns = BookPictures::slotColumns[std::size_t(slot)];
    // Pending text changes are written first; on an empty list this adds a book.
    DBmaster->edit();
    DBmaster->post();
    const QString name = Prompt::getOpenPictureName(this, u"打开图片"_s, QString(), BookPictures::fileFilter());
    if (name.isEmpty())
        return; // the slot keeps its picture
    PicturePanel* panel = panels[std::size_t(slot)];
    const BookPictures::Upload picture = BookPictures::loadFile(name, panel->pictureSize());
    panel->showPicture(picture.image);
    uploadedSinceRefresh[std::size_t(slot)] = true;
    DBmaster->edit();
    DBmaster->setBytes(QString::fromUtf16(columns.blob), picture.bytes);
    DBmaster->setText(QString::fromUtf16(columns.tag), picture.tag);
    BookPictures::postUpload(*DBmaster, slot, picture.tag, picture.bytes);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        ErrorHandler::guard([this, key] { Edit1KeyDown(key); });
        return false; // the box still gets its keys
    }
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            ErrorHandler::guard([this] { DBGrid1KeyDown(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
