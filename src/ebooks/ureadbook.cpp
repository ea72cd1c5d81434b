#include "ebooks/ureadbook.h"

#include "widgets/uhistory.h"

#include "data/ReadingDates.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Named.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"
#include "widgets/dbcontrols.h"
#include "data/udata.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The password edit's style: the look of the application's, "*" as the password character.
class StarPasswordStyle : public QProxyStyle
{
public:
    explicit StarPasswordStyle(QObject* owner)
        : QProxyStyle(QApplication::style()->name())
    {
        setParent(owner);
    }
    int styleHint(
        StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

Tfmreadbook::Tfmreadbook(RecordSet& list, QWidget* parent)
    : QDialog(parent)
    , dbmaster(new RecordSet(list.connection(), this))
    , DBEdit1(named(new QLineEdit(this), u"DBEdit1"_s))
    , DBEdit2(named(new QLineEdit(this), u"DBEdit2"_s))
    , DBEdit3(named(new QLineEdit(this), u"DBEdit3"_s))
    , DBComboBox1(named(new QComboBox(this), u"DBComboBox1"_s))
    , DBMemo2(named(new QPlainTextEdit(this), u"DBMemo2"_s))
    , DBMemo1(named(new QPlainTextEdit(this), u"DBMemo1"_s))
    , b1(named(new QPushButton(u"确定"_s, this), u"b1"_s))
    , B2(named(new QPushButton(u"取消"_s, this), u"B2"_s))
    , BtnHistory(named(new QPushButton(u"历史版本"_s, this), u"BtnHistory"_s))
    , EdDateAdded(named(new QLineEdit(this), u"EdDateAdded"_s))
    , EdDateStarted(named(new QLineEdit(this), u"EdDateStarted"_s))
    , EdDateFinished(named(new QLineEdit(this), u"EdDateFinished"_s))
{
    setObjectName(u"Tfmreadbook"_s);
    setWindowTitle(u"电子书"_s);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    resize(628, 472);
    dbmaster->setObjectName(u"dbmaster"_s);
    // With an empty list the statement ends in "id=" and the engine rejects it when the dialog opens.
    dbmaster->setSql(u" select *  from dzbook where id="_s + (list.isEmpty() ? QString() : list.asText(u"id"_s)));

    // "*" for every character. A style of its own rather than a style sheet
    // rule, which the application's style sheet (the skin) overrides.
    DBEdit3->setStyle(new StarPasswordStyle(this));
    DBEdit3->setEchoMode(QLineEdit::Password);
    DBEdit3->setToolTip(u"有的文档是需要密码才能打开的 无密码的不用管它"_s);
    DBComboBox1->setEditable(true);
    DBComboBox1->addItems({ u"还没读"_s, u"正在读"_s, u"已读完"_s });
    DBMemo2->setMinimumSize(217, 217);
    DBMemo1->setMinimumSize(313, 345);
    DBMemo2->setTabChangesFocus(true);
    DBMemo1->setTabChangesFocus(true);

    DBEdit::bind(DBEdit1, dbmaster, u"name"_s);
    DBEdit::bind(DBEdit2, dbmaster, u"zuozhe"_s);
    DBEdit::bind(DBEdit3, dbmaster, u"place"_s);
    DBComboBox::bind(DBComboBox1, dbmaster, u"isread"_s);
    DBMemo::bind(DBMemo2, dbmaster, u"contentjj"_s);
    DBMemo::bind(DBMemo1, dbmaster, u"readbiji"_s);

    auto* fields = new QFormLayout;
    fields->addRow(u"书名"_s, DBEdit1);
    fields->addRow(u"作者"_s, DBEdit2);
    fields->addRow(u"文档密码"_s, DBEdit3);
    fields->addRow(u"阅读状态"_s, DBComboBox1);
    // The reading dates, kept beside the row: written by "确定" when changed.
    // A row each, wide enough for a whole date at any window size.
    const int dateWidth = EdDateAdded->fontMetrics().horizontalAdvance(u"2026-12-31  "_s) + 16;
    for (auto [caption, edit] : { std::pair { u"入库日期"_s, EdDateAdded }, std::pair { u"开始阅读"_s, EdDateStarted },
             std::pair { u"读完日期"_s, EdDateFinished } }) {
        edit->setPlaceholderText(u"年-月-日"_s);
        edit->setMinimumWidth(dateWidth);
        fields->addRow(caption, edit);
    }
    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addWidget(new QLabel(u"简   介"_s, this));
    left->addWidget(DBMemo2, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(u"笔  记"_s, this));
    right->addWidget(DBMemo1, 1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(b1);
    buttons->addWidget(B2);
    buttons->addWidget(BtnHistory);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    b1->setDefault(true);
    connect(b1, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { b1Click(); }); });
    connect(B2, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { B2Click(); }); });
    connect(BtnHistory, &QPushButton::clicked, this, [this] { ErrorHandler::guard([this] { BtnHistoryClick(); }); });
}

Tfmreadbook::~Tfmreadbook() = default;

void Tfmreadbook::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void Tfmreadbook::closeEvent(QCloseEvent* event)
{
    // Closing by the title bar writes nothing.
    dbmaster->cancel();
    QDialog::closeEvent(event);
}

void Tfmreadbook::FormShow()
{
    dbmaster->open();
    bookFound = !dbmaster->isEmpty();
    if (bookFound)
        setWindowTitle(u"电子书名→"_s + dbmaster->asText(u"name"_s));
    showDates();
    DBEdit1->setFocus();
}

void Tfmreadbook::b1Click()
{
    // Typing into the controls of an e-book that is not there starts a new row;
    // writing it would add an e-book without a stored file, so nothing is written.
    if (!bookFound) {
        dbmaster->cancel();
        Prompt::message(
            this, QMessageBox::Warning, Titles::hint(), u"这本电子书已不在书库中（可能已被删除），修改没有保存。"_s);
        reject();
        return;
    }
    if (!readDates())
        return;
    dbmaster->edit();
    dbmaster->post();
    // After the row: a changed status has stamped its date, which a date typed here overrides.
    Connection& connection = dbmaster->connection();
    const qint64 id = *dbmaster->asInteger(u"id"_s);
    ReadingDates dates = ReadingDates::read(connection, ReadingDates::Kind::Ebook, id);
    QDate* stored[] = { &dates.added, &dates.started, &dates.finished };
    const QLineEdit* edits[] = { EdDateAdded, EdDateStarted, EdDateFinished };
    bool changed = false;
    for (int i = 0; i < 3; ++i) {
        if (edits[i]->isModified()) {
            *stored[i] = typed[i];
            changed = true;
        }
    }
    if (changed)
        ReadingDates::write(connection, ReadingDates::Kind::Ebook, id, dates);
    accept();
}

void Tfmreadbook::BtnHistoryClick()
{
    if (!bookFound)
        return;
    TfmHistory history(dbmaster->connection(), Trash::Kind::Ebook, *dbmaster->asInteger(u"id"_s), this);
    history.exec();
    if (!history.restored())
        return;
    // The version written back is what the fields show; what was typed before goes.
    dbmaster->cancel();
    dbmaster->refresh();
    showDates();
}

void Tfmreadbook::showDates()
{
    const ReadingDates dates = bookFound
        ? ReadingDates::read(dbmaster->connection(), ReadingDates::Kind::Ebook, *dbmaster->asInteger(u"id"_s))
        : ReadingDates();
    EdDateAdded->setText(ReadingDates::format(dates.added));
    EdDateStarted->setText(ReadingDates::format(dates.started));
    EdDateFinished->setText(ReadingDates::format(dates.finished));
}

bool Tfmreadbook::readDates()
{
    QLineEdit* edits[] = { EdDateAdded, EdDateStarted, EdDateFinished };
    for (int i = 0; i < 3; ++i) {
        if (!ReadingDates::parse(edits[i]->text(), typed[i])) {
            Prompt::message(this, QMessageBox::Warning, Titles::hint(), u"日期应写作 年-月-日，例如 2024-03-05；留空表示没有。"_s);
            edits[i]->setFocus();
            return false;
        }
    }
    return true;
}

void Tfmreadbook::B2Click()
{
    dbmaster->cancel();
    reject();
}
