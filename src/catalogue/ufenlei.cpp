#include "catalogue/ufenlei.h"
#include "catalogue/Categories.h"

#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"
#include "widgets/MainRefresh.h"
#include "widgets/dbcontrols.h"
#include "data/RecordSet.h"
#include "data/udata.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QPushButton* button(const QString& name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TFmfenlei::TFmfenlei(QWidget* parent)
    : QDialog(parent)
    , Query1(new RecordSet(TDataModule2::instance()->Adocon, this))
    , DBGrid1(new QTableView(this))
    , DBEdit1(new QLineEdit(this))
    , Button1(button(QStringLiteral("Button1"), QStringLiteral("增加"), this))
    , Button2(button(QStringLiteral("Button2"), QStringLiteral("编缉"), this))
    , Button3(button(QStringLiteral("Button3"), QStringLiteral("保存"), this))
    , Button4(button(QStringLiteral("Button4"), QStringLiteral("取消"), this))
    , Button5(button(QStringLiteral("Button5"), QStringLiteral("删除"), this))
{
    setObjectName(QStringLiteral("TFmfenlei"));
    setWindowTitle(QStringLiteral("分类管理"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(539, 361);
    Query1->setObjectName(QStringLiteral("Query1"));
    Query1->setSql(QStringLiteral("select * from tblei"));
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));

    auto* model = new RecordSetModel(Query1, { { QStringLiteral("leib"), QStringLiteral("图书分类") } }, this);
    model->setEditable(true);
    RecordSetModel::attach(DBGrid1, model);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->installEventFilter(this);
    DBEdit::bind(DBEdit1, Query1, QStringLiteral("leib"));
    DBEdit1->installEventFilter(this); // Enter saves, as "保存" does
    // Names are kept without blanks around them, however they were typed: the links of the
    // main window and the editor's category box look a name up trimmed.
    connect(Query1, &RecordSet::aboutToPost, this, [this] {
        const QString typed = Query1->asText(QStringLiteral("leib"));
        if (!Query1->isNull(QStringLiteral("leib")) && typed.trimmed() != typed)
            Query1->setText(QStringLiteral("leib"), typed.trimmed());
    });

    // A band of 89 pixels: the edit box and "删除", then the four row commands; the grid below.
    auto* band = new QWidget(this);
    band->setFixedHeight(89);
    auto* rows = new QGridLayout(band);
    rows->addWidget(DBEdit1, 0, 0, 1, 3);
    rows->addWidget(Button5, 0, 3);
    const QList<QPushButton*> commands { Button1, Button2, Button3, Button4 };
    for (int i = 0; i < commands.size(); ++i)
        rows->addWidget(commands.at(i), 1, i);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(band);
    layout->addWidget(DBGrid1, 1);

    const std::pair<QPushButton*, void (TFmfenlei::*)()> handlers[] = { { Button1, &TFmfenlei::Button1Click },
        { Button2, &TFmfenlei::Button2Click }, { Button3, &TFmfenlei::Button3Click },
        { Button4, &TFmfenlei::Button4Click }, { Button5, &TFmfenlei::Button5Click } };
    for (const auto& [b, fn] : handlers)
        connect(b, &QPushButton::clicked, this, [this, fn] { ErrorHandler::guard([this, fn] { (this->*fn)(); }); });
}

TFmfenlei::~TFmfenlei() = default;

void TFmfenlei::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void TFmfenlei::FormShow()
{
    Query1->open();
}

void TFmfenlei::Button1Click()
{
    Query1->append();
    DBEdit1->setFocus();
}

void TFmfenlei::Button2Click()
{
    Query1->edit();
    DBEdit1->setFocus();
}

void TFmfenlei::Button3Click()
{
    // A row the database refuses goes back to its saved state, and the user is told why.
    try {
        Query1->post();
    } catch (const std::exception& error) {
        Prompt::message(
            this, QMessageBox::Warning, Titles::hint(), QStringLiteral("保存失败：") + QString::fromUtf8(error.what()));
        Query1->cancel();
    }
}

void TFmfenlei::Button4Click()
{
    Query1->cancel();
}

void TFmfenlei::Button5Click()
{
    removeCurrent(false);
}

void TFmfenlei::removeCurrent(bool askAlways)
{
    if (!Query1->isOpen() || Query1->isEmpty())
        return;
    const std::optional<qint64> id = Query1->asInteger(QStringLiteral("id"));
    const int books = id && Query1->state() != RecordSet::State::Insert
        ? Categories::booksIn(Query1->connection(), *id) : 0;
    if (books == 0) {
        // An empty category goes as it always did; a new row not yet saved too.
        if (!askAlways
            || Prompt::message(this, QMessageBox::Question, Titles::hint(), QStringLiteral("删除这条记录吗？"),
                   QMessageBox::Ok | QMessageBox::Cancel)
                == QMessageBox::Ok)
            Query1->remove();
        return;
    }
    const QString name = Query1->asText(QStringLiteral("leib")).trimmed();
    if (name == Categories::uncategorised()) {
        Prompt::message(this, QMessageBox::Information, Titles::hint(),
            QStringLiteral("有 %1 本书属于“%2”，不能删除它。").arg(books).arg(name));
        return;
    }
    if (Prompt::message(this, QMessageBox::Question, Titles::hint(),
            QStringLiteral("有 %1 本书属于“%2”，删除后它们将归入“%3”。确定删除？")
                .arg(books)
                .arg(name, Categories::uncategorised()),
            QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;
    Query1->cancel(); // an unsaved edit of the name goes with the row
    Categories::remove(Query1->connection(), *id);
    Query1->refresh();
}

void TFmfenlei::FormClose()
{
    // What was not saved is dropped; the main window rebuilds its links from the saved rows.
    Query1->cancel();
    sendMainRefresh(parentWidget());
}

void TFmfenlei::done(int result)
{
    ErrorHandler::guard([this] { FormClose(); });
    QDialog::done(result);
}

bool TFmfenlei::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DBEdit1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ErrorHandler::guard([this] { Button3Click(); });
            return true;
        }
    }
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            ErrorHandler::guard([this] { removeCurrent(true); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
