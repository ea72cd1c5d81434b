// The catalogue editor's widgets: the bound controls, the command rows, the
// pictures beside them and the grid below, laid out so that a screen of 1366 × 768
// shows all of it; lower screens scroll.

#include "catalogue/BookPictures.h"
#include "catalogue/PicturePanel.h"
#include "catalogue/manig.h"
#include "data/udata.h"
#include "widgets/ErrorHandler.h"
#include "widgets/GridHeaders.h"
#include "widgets/dbcontrols.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QStyle>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The page needs this much height at 96 dots per inch (the grid shows a few rows
// then); lower screens scroll. On taller ones the grid takes what is left.
constexpr int PageHeight = 620;
constexpr int LabelWidth = 64;
// The six pictures stand in two columns of three beside the fields.
constexpr QSize PictureSize { 174, 116 };
// A title column as wide as its longest title, up to this.
constexpr int TitleColumnMost = 360;

// The grid's category column shows the category's name, not its number.
class CategoryDelegate : public QStyledItemDelegate
{
public:
    CategoryDelegate(const QHash<QString, QString>* names, QObject* parent)
        : QStyledItemDelegate(parent)
        , names(names)
    { }

    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        const QString id = value.toString();
        return names->value(id, QStyledItemDelegate::displayText(value, locale));
    }

private:
    const QHash<QString, QString>* names;
};

QLabel* label(const QString& text, QWidget* parent)
{
    auto* widget = new QLabel(text, parent);
    widget->setMinimumWidth(LabelWidth);
    widget->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return widget;
}

QComboBox* choices(const QStringList& items, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setEditable(true); // typed text is stored as typed
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    return box;
}

QPushButton* button(const QString& name, const QString& text, QWidget* parent)
{
    auto* widget = new QPushButton(text, parent);
    widget->setObjectName(name);
    widget->setMinimumWidth(88);
    widget->setAutoDefault(false); // Enter in the search box searches, nothing else
    return widget;
}

// A row of (label, field, stretch) pairs.
QHBoxLayout* row(QWidget* parent, std::initializer_list<std::tuple<QString, QWidget*, int>> fields)
{
    auto* layout = new QHBoxLayout;
    layout->setSpacing(6);
    for (const auto& [text, field, stretch] : fields) {
        layout->addWidget(label(text, parent));
        layout->addWidget(field, stretch);
    }
    return layout;
}

QVBoxLayout* memoColumn(const QString& text, QPlainTextEdit* memo, QWidget* parent)
{
    auto* layout = new QVBoxLayout;
    layout->setSpacing(2);
    layout->addWidget(new QLabel(text, parent));
    layout->addWidget(memo, 1);
    return layout;
}

} // namespace

void TForm2::buildLayout()
{
    auto* page = new QWidget;
    page->setObjectName(u"page"_s);
    page->setMinimumHeight(PageHeight);

    // Bound controls, each named for its column.
    auto edit = [&](const QString& field) {
        auto* widget = new QLineEdit(page);
        widget->setObjectName(u"db_"_s + field);
        DBEdit::bind(widget, DBmaster, field);
        return widget;
    };
    auto memo = [&](const QString& field) {
        auto* widget = new QPlainTextEdit(page);
        widget->setObjectName(u"db_"_s + field);
        widget->setTabChangesFocus(true);
        widget->setMinimumHeight(60);
        // The memos share the row the pictures leave, whatever their texts.
        widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
        DBMemo::bind(widget, DBmaster, field);
        return widget;
    };
    auto list = [&](const QString& field, const QStringList& items) {
        QComboBox* box = choices(items, page);
        box->setObjectName(u"db_"_s + field);
        DBComboBox::bind(box, DBmaster, field);
        return box;
    };
    const QStringList yesNo { u"是"_s, u"否"_s };
    const QStringList places { u"书房书架"_s, u"客厅书柜"_s, u"卧室床头"_s, u"储藏室纸箱"_s, u"其他地方"_s };

    // Bound to no column: "保存" writes the category. Made in its place in the form, so Tab
    // reaches it between 包装 and 目录, as the form reads.
    const auto categoryBox = [&] {
        CBleib = choices({}, page);
        CBleib->setObjectName(u"CBleib"_s);
        CBleib->setMinimumWidth(160);
        return CBleib;
    };

    auto* left = new QVBoxLayout;
    left->setSpacing(8);
    // Made in the form's order (a braced list runs left to right), so Tab follows it.
    QHBoxLayout* first = row(page,
        { { u"书名"_s, edit(u"name"_s), 3 }, { u"作     者"_s, edit(u"zuozhe"_s), 2 },
            { u"出版社"_s, edit(u"publish"_s), 2 }, { u"ISBN"_s, isbnEdit = edit(u"isbn"_s), 2 } });
    // Enter in the ISBN field looks the book up (a barcode scanner types the digits, then Enter).
    connect(isbnEdit, &QLineEdit::returnPressed, this, [this] { ErrorHandler::guard([this] { BtnLookupClick(); }); });
    // The ISBN field with the buttons that fill the book from it.
    isbnButtons = new QHBoxLayout;
    isbnButtons->setObjectName(u"isbnRow"_s);
    isbnButtons->setSpacing(4);
    auto* lookupButton = new QPushButton(u"联网查询"_s, page);
    lookupButton->setObjectName(u"BtnLookup"_s);
    lookupButton->setAutoDefault(false);
    lookupButton->setFocusPolicy(Qt::ClickFocus); // Tab goes from field to field; Enter in the field asks
    lookupButton->setToolTip(u"按 ISBN 从网上查询书名、作者、出版社、简介和封面（在 ISBN 框中按回车也可）"_s);
    connect(lookupButton, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnLookupClick(); }); });
    isbnButtons->addWidget(lookupButton);
    auto* photoButton = new QPushButton(u"照片识别"_s, page);
    photoButton->setObjectName(u"BtnScanPhoto"_s);
    photoButton->setAutoDefault(false);
    photoButton->setFocusPolicy(Qt::ClickFocus);
    photoButton->setToolTip(u"从书背面条码的照片读出 ISBN，再联网查询"_s);
    connect(photoButton, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnScanPhotoClick(); }); });
    isbnButtons->addWidget(photoButton);
    auto* cameraButton = new QPushButton(u"摄像头扫描"_s, page);
    cameraButton->setObjectName(u"BtnScanCamera"_s);
    cameraButton->setAutoDefault(false);
    cameraButton->setFocusPolicy(Qt::ClickFocus);
    cameraButton->setToolTip(u"用摄像头对准书背面的条码读出 ISBN，再联网查询"_s);
    connect(cameraButton, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnScanCameraClick(); }); });
    isbnButtons->addWidget(cameraButton);
    // The thirteen digits stay readable beside the three buttons.
    if (auto* isbnEdit = page->findChild<QLineEdit*>(u"db_isbn"_s))
        isbnEdit->setMinimumWidth(isbnEdit->fontMetrics().horizontalAdvance(u"9787020002207"_s) + 16);
    first->addLayout(isbnButtons);
    left->addLayout(first);
    LblLookup = new QLabel(page);
    LblLookup->setObjectName(u"LblLookup"_s);
    LblLookup->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LblLookup->setMinimumWidth(1); // a long message never widens the window
    auto* status = new QHBoxLayout;
    status->addSpacing(LabelWidth + 6);
    status->addWidget(LblLookup, 1);
    left->addLayout(status);
    left->addLayout(row(page,
        { { u"语种"_s, edit(u"yuzhong"_s), 1 }, { u"存放地点"_s, list(u"place"_s, places), 2 },
            { u"阅读状态"_s, list(u"isread"_s, { u"还没读"_s, u"正在读"_s, u"已读完"_s }), 2 },
            { u"包装"_s, edit(u"boxbz"_s), 1 }, { u"类  别"_s, categoryBox(), 2 } }));
    auto* memos = new QHBoxLayout;
    memos->setSpacing(8);
    memos->addLayout(memoColumn(u"目录"_s, memo(u"目录"_s), page), 2);
    memos->addLayout(memoColumn(u"内容简介"_s, memo(u"contentjj"_s), page), 3);
    memos->addLayout(memoColumn(u"读书笔记"_s, memo(u"readbiji"_s), page), 3);
    left->addLayout(memos, 1);
    left->addLayout(row(page,
        { { u"是否出屋"_s, list(u"isgo"_s, yesNo), 1 }, { u"出屋原因"_s, edit(u"gocause"_s), 3 },
            { u"是否借人"_s, list(u"isjie"_s, yesNo), 1 }, { u"借书人"_s, edit(u"jieshumen"_s), 2 } }));
    left->addLayout(buildLoanRow(page));

    // Commands.
    const auto wire = [this](QPushButton* widget, auto handler) {
        connect(widget, &QPushButton::clicked, this,
            [this, handler] { ErrorHandler::guard([this, handler] { (this->*handler)(); }); });
        return widget;
    };
    auto* commands = new QHBoxLayout;
    commands->addSpacing(LabelWidth + 6);
    QPushButton* cover = button(u"Button1"_s, u"上传封面"_s, page);
    connect(cover, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { upload(0); }); });
    commands->addWidget(cover);
    commands->addWidget(wire(button(u"BitBtn1"_s, u"增加"_s, page), &TForm2::BitBtn1Click));
    commands->addWidget(wire(button(u"BitBtn3"_s, u"编缉"_s, page), &TForm2::BitBtn3Click));
    commands->addWidget(wire(button(u"BitBtn2"_s, u"保存"_s, page), &TForm2::BitBtn2Click));
    commands->addWidget(wire(button(u"BitBtn4"_s, u"取消"_s, page), &TForm2::BitBtn4Click));
    commands->addStretch(1);
    left->addLayout(commands);

    auto* search = new QHBoxLayout;
    search->setObjectName(u"searchRow"_s); // more commands may join after "删除"
    auto* prompt = new QLabel(u"输入书名"_s, page);
    QFont big = prompt->font();
    big.setPixelSize(19);
    prompt->setFont(big);
    search->addWidget(prompt);
    Edit1 = new QLineEdit(page);
    Edit1->setObjectName(u"Edit1"_s);
    Edit1->setFont(big);
    Edit1->setMinimumWidth(220);
    Edit1->installEventFilter(this);
    search->addWidget(Edit1, 2);
    search->addWidget(wire(button(u"Button2"_s, u"查询"_s, page), &TForm2::Button2Click));
    search->addWidget(wire(button(u"BitBtn5"_s, u"删除"_s, page), &TForm2::BitBtn5Click));
    search->addWidget(wire(button(u"BtnCsvExport"_s, u"导出CSV"_s, page), &TForm2::BtnCsvExportClick));
    search->addWidget(wire(button(u"BtnCsvImport"_s, u"导入CSV"_s, page), &TForm2::BtnCsvImportClick));
    search->addWidget(wire(button(u"BtnPrint"_s, u"打印书目"_s, page), &TForm2::BtnPrintClick));
    search->addWidget(wire(button(u"BtnHistory"_s, u"历史版本"_s, page), &TForm2::BtnHistoryClick));
    search->addStretch(1);
    left->addLayout(search);

    auto* illustrations = new QHBoxLayout;
    illustrations->addSpacing(LabelWidth + 6);
    const QStringList numbers { u"一"_s, u"二"_s, u"三"_s, u"四"_s, u"五"_s };
    for (int i = 1; i <= 5; ++i) {
        QPushButton* widget = button(u"Button%1"_s.arg(i + 2), u"上传插图"_s + numbers.at(i - 1), page);
        connect(widget, &QPushButton::clicked, this, [this, i] { ErrorHandler::guard([this, i] { upload(i); }); });
        illustrations->addWidget(widget);
    }
    illustrations->addStretch(1);
    left->addLayout(illustrations);

    // The pictures at the right edge, the cover first.
    const QStringList captions { u"封面图片显示"_s, u"书摘与插图显示一"_s, u"书摘与插图显示二"_s, u"书摘与插图显示三"_s,
        u"书摘与插图显示四"_s, u"书摘与插图显示五"_s };
    const QStringList images { u"Image2"_s, u"Image3"_s, u"Image6"_s, u"Image8"_s, u"Image10"_s, u"Image12"_s };
    auto* pictures = new QGridLayout;
    pictures->setSpacing(6);
    for (int slot = 0; slot < 6; ++slot) {
        const BookPictures::Slot& columns = BookPictures::slotColumns[std::size_t(slot)];
        panels[std::size_t(slot)] = new PicturePanel(captions.at(slot), images.at(slot),
            QString::fromUtf16(columns.blob), QString::fromUtf16(columns.tag), page);
        panels[std::size_t(slot)]->setFixedSize(PictureSize);
        pictures->addWidget(panels[std::size_t(slot)], slot / 2, slot % 2);
    }
    pictures->setRowStretch(3, 1);

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addLayout(left, 1);
    top->addLayout(pictures);

    DBGrid1 = new QTableView(page);
    DBGrid1->setObjectName(u"DBGrid1"_s);
    DBGrid1->setMinimumHeight(140);
    DBGrid1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    DBGrid1->setHorizontalHeader(new ColumnHeader(DBGrid1));
    DBGrid1->setVerticalHeader(new RowHeader(DBGrid1));
    DBGrid1->verticalHeader()->setDefaultSectionSize(22);
    DBGrid1->installEventFilter(this);
    model = new RecordSetModel(DBmaster,
        { { u"name"_s, u"书名"_s, 79 }, { u"zuozhe"_s, u"作者"_s, 63 }, { u"publish"_s, u"出版社"_s, 85 },
            { u"isbn"_s, u"ISBN"_s, 110 }, { u"leibie"_s, u"类别"_s, 69 }, { u"boxbz"_s, u"包装"_s, 68 },
            { u"contentjj"_s, u"内容简介"_s, 56 }, { u"place"_s, u"存放地"_s, 111 }, { u"isread"_s, u"读书状态"_s, 71 },
            { u"isjie"_s, u"是否借"_s, 56 }, { u"jieshumen"_s, u"借书人"_s, 60 }, { u"isgo"_s, u"是否出屋"_s, 53 },
            { u"gocause"_s, u"出屋原因"_s, 150 } },
        this);
    RecordSetModel::attach(DBGrid1, model);
    // A title wider than its column would be cut: such columns grow to their title.
    QHeaderView* header = DBGrid1->horizontalHeader();
    for (int column = 0; column < model->columnCount(); ++column) {
        const QString title = model->headerData(column, Qt::Horizontal).toString();
        const int needed = header->fontMetrics().horizontalAdvance(title) + 14;
        if (header->sectionSize(column) < needed)
            header->resizeSection(column, needed);
    }
    header->setStretchLastSection(true);
    DBGrid1->setItemDelegateForColumn(4, new CategoryDelegate(&categoryNames, DBGrid1));
    // Titles are read whole: their column follows the longest one shown.
    connect(model, &QAbstractItemModel::modelReset, this, [this] { fitTitleColumn(); });

    auto* body = new QVBoxLayout(page);
    body->setContentsMargins(12, 10, 12, 10);
    body->setSpacing(10);
    body->addLayout(top);
    body->addWidget(DBGrid1, 1);

    scroll = new QScrollArea(this);
    scroll->setObjectName(u"scroll"_s);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(page);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
}

void TForm2::fitTitleColumn()
{
    // The titles, and the places (the household's own names, some long). A closed
    // list shows nothing: its columns keep their widths until it opens again.
    if (!DBmaster->isOpen())
        return;
    QHeaderView* header = DBGrid1->horizontalHeader();
    header->resizeSection(0, std::clamp(widestText(u"name"_s, TitleColumnMost), 160, TitleColumnMost));
    header->resizeSection(7, std::clamp(widestText(u"place"_s, TitleColumnMost / 2), 111, TitleColumnMost / 2));
}

int TForm2::widestText(const QString& field, int enough)
{
    // Each text is measured once while the grid's font stays: opening the list again
    // (a search, a refresh) then only looks its texts up, by the bytes the set holds.
    textWidths.setFont(DBGrid1->font());
    const int column = DBmaster->isOpen() ? DBmaster->fieldIndex(field) : -1;
    if (column < 0)
        return 0;
    int widest = 0;
    QByteArray scratch;
    for (int row = 0, rows = DBmaster->recordCount(); row < rows && widest < enough; ++row)
        widest = std::max(widest, textWidths.width(DBmaster->utf8At(row, column, scratch)));
    // As the grid's own cell would ask: the text, the focus frame's margins, the grid line.
    return widest + 2 * (DBGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, DBGrid1) + 1)
        + (DBGrid1->showGrid() ? 1 : 0);
}
