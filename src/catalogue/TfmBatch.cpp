#include "catalogue/TfmBatch.h"

#include "data/Statement.h"
#include "data/udata.h"
#include "lookup/BookLookup.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

enum Column
{
    StateColumn,
    CoverColumn,
    IsbnColumn,
    TitleColumn,
    AuthorColumn,
    AgainColumn,
    RemoveColumn,
    ColumnCount,
};

constexpr QSize Thumb { 36, 50 };

} // namespace

TfmBatch::TfmBatch(QWidget* parent)
    : QDialog(parent)
    , m_stack(BatchStack::ownedKeys(TDataModule2::instance()->Adocon))
    , m_lookup(new Lookup::BookLookup(this))
{
    setObjectName(u"TfmBatch"_s);
    setWindowTitle(u"批量添加"_s);
    m_lookup->setPreviewSize(Thumb);
    connect(m_lookup, &Lookup::BookLookup::answered, this, [this](int ticket, const Lookup::Answer& answer) {
        ErrorHandler::guard([this, ticket, &answer] { answered(ticket, answer); });
    });
    buildLayout();
    // Fits a screen of 1366 × 768 with the panel and task bar around it.
    resize(980, 620);
}

TfmBatch::~TfmBatch() = default;

void TfmBatch::buildLayout()
{
    const auto button = [this](const QString& name, const QString& text) {
        auto* widget = new QPushButton(text, this);
        widget->setObjectName(name);
        widget->setAutoDefault(false);
        return widget;
    };
    auto* input = new QHBoxLayout;
    input->setObjectName(u"batchInputRow"_s);
    input->addWidget(new QLabel(u"ISBN："_s, this));
    EdBatchIsbn = new QLineEdit(this);
    EdBatchIsbn->setObjectName(u"EdBatchIsbn"_s);
    EdBatchIsbn->setPlaceholderText(u"输入或扫描 ISBN 后按回车；可一次粘贴多行"_s);
    EdBatchIsbn->installEventFilter(this);
    connect(EdBatchIsbn, &QLineEdit::returnPressed, this, [this] { ErrorHandler::guard([this] { takeTyped(); }); });
    input->addWidget(EdBatchIsbn, 1);
    QPushButton* photos = button(u"BtnBatchPhotos"_s, u"照片识别…"_s);
    connect(photos, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnBatchPhotosClick(); }); });
    input->addWidget(photos);
    QPushButton* camera = button(u"BtnBatchCamera"_s, u"摄像头扫描"_s);
    connect(camera, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnBatchCameraClick(); }); });
    input->addWidget(camera);

    LstBatch = new QTableWidget(0, ColumnCount, this);
    LstBatch->setObjectName(u"LstBatch"_s);
    LstBatch->setHorizontalHeaderLabels(
        { u"状态"_s, u"封面"_s, u"ISBN"_s, u"书名"_s, u"作者"_s, u"再加一本"_s, QString() });
    LstBatch->verticalHeader()->setDefaultSectionSize(Thumb.height() + 6);
    LstBatch->setIconSize(Thumb);
    QHeaderView* header = LstBatch->horizontalHeader();
    header->resizeSection(StateColumn, 70);
    header->resizeSection(CoverColumn, Thumb.width() + 12);
    header->resizeSection(IsbnColumn, 130);
    header->resizeSection(TitleColumn, 300);
    header->resizeSection(AuthorColumn, 160);
    header->resizeSection(AgainColumn, 96);
    header->setStretchLastSection(true);
    LstBatch->setSelectionBehavior(QAbstractItemView::SelectRows);
    LstBatch->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
        | QAbstractItemView::AnyKeyPressed);
    LstBatch->installEventFilter(this);
    connect(LstBatch, &QTableWidget::cellChanged, this,
        [this](int row, int column) { ErrorHandler::guard([this, row, column] { cellEdited(row, column); }); });
    connect(LstBatch, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == RemoveColumn)
            ErrorHandler::guard([this, row] { removeRow(row); });
    });

    auto* whole = new QHBoxLayout;
    whole->addWidget(new QLabel(u"类别"_s, this));
    CbBatchCategory = new QComboBox(this);
    CbBatchCategory->setObjectName(u"CbBatchCategory"_s);
    CbBatchCategory->setMinimumWidth(140);
    Statement categories(TDataModule2::instance()->Adocon.handle(), "select id, leib from tblei order by id");
    while (categories.step())
        CbBatchCategory->addItem(categories.text(1), categories.integer(0));
    whole->addWidget(CbBatchCategory);
    whole->addSpacing(12);
    whole->addWidget(new QLabel(u"存放地点"_s, this));
    EdBatchPlace = new QLineEdit(this);
    EdBatchPlace->setObjectName(u"EdBatchPlace"_s);
    EdBatchPlace->setMaxLength(int(Lookup::ShortColumn));
    whole->addWidget(EdBatchPlace, 1);
    whole->addSpacing(12);
    whole->addWidget(new QLabel(u"阅读状态"_s, this));
    CbBatchStatus = new QComboBox(this);
    CbBatchStatus->setObjectName(u"CbBatchStatus"_s);
    CbBatchStatus->addItems({ u"还没读"_s, u"正在读"_s, u"已读完"_s });
    whole->addWidget(CbBatchStatus);
    whole->addStretch(1);
    QPushButton* add = button(u"BtnBatchAdd"_s, u"加入书库"_s);
    connect(add, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnBatchAddClick(); }); });
    whole->addWidget(add);

    LblBatchSummary = new QLabel(this);
    LblBatchSummary->setObjectName(u"LblBatchSummary"_s);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(input);
    layout->addWidget(LstBatch, 1);
    layout->addWidget(LblBatchSummary);
    layout->addLayout(whole);
    updateSummary();
}

bool TfmBatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Many lines pasted at once: every one of them, not the first alone.
        if (watched == EdBatchIsbn && key->matches(QKeySequence::Paste)) {
            const QString pasted = QApplication::clipboard()->text();
            if (pasted.contains(u'\n')) {
                ErrorHandler::guard([this, pasted] { addIsbns(BatchStack::splitInput(EdBatchIsbn->text() + pasted)); });
                EdBatchIsbn->clear();
                return true;
            }
        }
        // A cell being edited has the keys itself: Delete here removes the row.
        if (watched == LstBatch && key->key() == Qt::Key_Delete && LstBatch->currentRow() >= 0) {
            removeRow(LstBatch->currentRow());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfmBatch::takeTyped()
{
    const QStringList isbns = BatchStack::splitInput(EdBatchIsbn->text());
    EdBatchIsbn->clear();
    addIsbns(isbns);
}

void TfmBatch::addIsbns(const QStringList& isbns)
{
    LstBatch->setUpdatesEnabled(false);
    for (const QString& isbn : isbns) {
        if (isbn.trimmed().isEmpty())
            continue;
        const int index = m_stack.add(isbn);
        BatchStack::Row& row = m_stack.row(index);
        if (!row.lookedUp)
            row.ticket = m_lookup->lookUp(row.isbn13);
        LstBatch->insertRow(index);
        showRow(index);
    }
    LstBatch->setUpdatesEnabled(true);
    LstBatch->scrollToBottom();
    updateSummary();
}

void TfmBatch::answered(int ticket, const Lookup::Answer& answer)
{
    const int index = m_stack.rowOfTicket(ticket);
    if (index < 0)
        return;
    const bool found = answer.outcome == Lookup::Answer::Outcome::Found;
    QString note;
    if (answer.outcome == Lookup::Answer::Outcome::Unreachable)
        note = u"无法连接书目来源（%1）"_s.arg(answer.reason);
    m_stack.answer(index, found, answer.fields, answer.coverJpeg, answer.coverPreview, note);
    showRow(index);
    updateSummary();
}

void TfmBatch::showRow(int index)
{
    const BatchStack::Row& row = m_stack.row(index);
    m_showing = true;
    const auto fixed = [](const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        return item;
    };
    QTableWidgetItem* state = fixed(BatchStack::stateText(row.state));
    state->setToolTip(row.note);
    LstBatch->setItem(index, StateColumn, state);
    QTableWidgetItem* cover = fixed(QString());
    if (!row.thumbnail.isNull())
        cover->setData(Qt::DecorationRole, QPixmap::fromImage(row.thumbnail));
    LstBatch->setItem(index, CoverColumn, cover);
    LstBatch->setItem(index, IsbnColumn, fixed(row.typed));
    // Title and author can be typed over, for a book no source knows.
    const bool editable = row.state != BatchStack::State::Invalid;
    for (const auto& [column, text] : { std::pair { int(TitleColumn), row.fields.name },
             std::pair { int(AuthorColumn), row.fields.zuozhe } }) {
        // An item the family may be typing in is kept: only its text follows.
        if (QTableWidgetItem* shown = LstBatch->item(index, column)) {
            if (shown->text() != text)
                shown->setText(text);
            continue;
        }
        auto* item = new QTableWidgetItem(text);
        if (!editable)
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        LstBatch->setItem(index, column, item);
    }
    // Plain items rather than widgets in cells: a stack of hundreds stays light.
    QTableWidgetItem* again = fixed(QString());
    if (row.state == BatchStack::State::Owned) {
        again->setText(u"再加一本"_s);
        again->setFlags(again->flags() | Qt::ItemIsUserCheckable);
        again->setCheckState(row.addAgain ? Qt::Checked : Qt::Unchecked);
    }
    LstBatch->setItem(index, AgainColumn, again);
    QTableWidgetItem* remove = fixed(u"移除"_s);
    remove->setForeground(palette().link());
    remove->setToolTip(u"从这一摞中移除"_s);
    LstBatch->setItem(index, RemoveColumn, remove);
    m_showing = false;
}

void TfmBatch::showAll()
{
    LstBatch->setRowCount(0);
    LstBatch->setRowCount(m_stack.size());
    for (int i = 0; i < m_stack.size(); ++i)
        showRow(i);
    updateSummary();
}

void TfmBatch::cellEdited(int row, int column)
{
    if (m_showing || row < 0 || row >= m_stack.size())
        return;
    const QString text = LstBatch->item(row, column)->text();
    if (column == AgainColumn)
        m_stack.row(row).addAgain = LstBatch->item(row, column)->checkState() == Qt::Checked;
    else if (column == TitleColumn)
        m_stack.row(row).fields.name = Lookup::cutTo(Lookup::cleanLine(text), Lookup::ShortColumn);
    else if (column == AuthorColumn)
        m_stack.row(row).fields.zuozhe = Lookup::cutTo(Lookup::cleanLine(text), Lookup::ShortColumn);
    updateSummary();
}

void TfmBatch::removeRow(int row)
{
    if (row < 0 || row >= m_stack.size())
        return;
    if (const int ticket = m_stack.row(row).ticket; ticket && !m_stack.row(row).lookedUp)
        m_lookup->cancel(ticket);
    m_stack.remove(row);
    LstBatch->removeRow(row);
    updateSummary();
}

void TfmBatch::updateSummary()
{
    int pending = 0;
    int unreached = 0;
    QString reason; // the network's words for the first row no source answered
    for (int i = 0; i < m_stack.size(); ++i) {
        const BatchStack::Row& row = m_stack.row(i);
        pending += row.lookedUp ? 0 : 1;
        if (!row.note.isEmpty() && unreached++ == 0)
            reason = row.note;
    }
    QString text = u"共 %1 本，可加入 %2 本"_s.arg(m_stack.size()).arg(m_stack.countWillAdd());
    if (pending)
        text += u"，%1 本查询中"_s.arg(pending);
    text += u"。"_s;
    // Not found because nobody answered is not "not found": said apart, with the reason.
    if (unreached)
        text += u"其中 %1 本%2。请检查网络后再试。"_s.arg(unreached).arg(reason);
    LblBatchSummary->setText(text);
}

void TfmBatch::BtnBatchAddClick()
{
    if (m_stack.countWillAdd() == 0) {
        Prompt::information(this, Titles::hint(), u"没有可以加入书库的书：找到的书和填写了书名的书才会加入。"_s);
        return;
    }
    const QVariant category = CbBatchCategory->currentData();
    const BatchStack::Added added = m_stack.addTo(TDataModule2::instance()->Adocon,
        category.isValid() ? std::optional<qint64>(category.toLongLong()) : std::nullopt, EdBatchPlace->text(),
        CbBatchStatus->currentText());
    m_added += added.added;
    showAll();
    QString text = u"已加入书库 %1 本书。"_s.arg(added.added);
    if (!added.leftOut.isEmpty()) {
        const QStringList shown = added.leftOut.mid(0, 10);
        text += u"\n没有加入的 %1 本：\n%2"_s.arg(added.leftOut.size()).arg(shown.join(u'\n'));
        if (added.leftOut.size() > shown.size())
            text += u"\n……"_s;
    }
    Prompt::message(this, QMessageBox::Information, Titles::hint(), text, QMessageBox::Ok,
        added.leftOut.size() > 10 ? added.leftOut.join(u'\n') : QString());
}

void TfmBatch::reject()
{
    if (m_stack.size() > 0
        && Prompt::message(this, QMessageBox::Question, Titles::hint(),
               u"还有 %1 本书没有加入书库，关闭后它们不会保留。确定关闭吗？"_s.arg(m_stack.size()),
               QMessageBox::Yes | QMessageBox::No, QString(), QMessageBox::No)
            != QMessageBox::Yes)
        return;
    m_lookup->cancelAll();
    QDialog::reject();
}
