// The e-book page's widgets: the management page with its bar, grid and menu,
// and the reading page with its back bar and the viewer.

#include "ebooks/EbookPage.h"

#include "ebooks/EbookGrid.h"
#include "ebooks/PdfViewer.h"
#include "widgets/ErrorHandler.h"
#include "widgets/dbcontrols.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QWidget* page(const QString& name, const QString& caption, QTabWidget* owner)
{
    auto* widget = new QWidget(owner);
    widget->setObjectName(name);
    owner->addTab(widget, caption);
    return widget;
}

QPushButton* button(const QString& name, const QString& caption, QWidget* parent)
{
    auto* result = new QPushButton(caption, parent);
    result->setObjectName(name);
    return result;
}

} // namespace

void EbookPage::buildManagementPage()
{
    TabSheet4 = page(u"TabSheet4"_s, u"电子书管理"_s, PageControl2);
    auto* layout = new QVBoxLayout(TabSheet4);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(TabSheet4);
    Panel1->setObjectName(u"Panel1"_s);
    Panel1->setFixedHeight(65);
    auto* bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(8, 0, 8, 0);
    Label2 = new QLabel(u"书名"_s, Panel1);
    Label2->setObjectName(u"Label2"_s);
    Edbkname = new QLineEdit(Panel1);
    Edbkname->setObjectName(u"Edbkname"_s);
    Edbkname->setMinimumWidth(160);
    Label3 = new QLabel(u"阅读状态"_s, Panel1);
    Label3->setObjectName(u"Label3"_s);
    ComboBoxEx1 = new QComboBox(Panel1);
    ComboBoxEx1->setObjectName(u"ComboBoxEx1"_s);
    ComboBoxEx1->setEditable(true);
    ComboBoxEx1->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxEx1->addItems({ QString(), u"还没读"_s, u"正在读"_s, u"已读完"_s });
    ComboBoxEx1->setMinimumWidth(100);
    Button8 = button(u"Button8"_s, u"检索"_s, Panel1);
    Button4 = button(u"Button4"_s, u"阅读"_s, Panel1);
    Button5 = button(u"Button5"_s, u"简介笔记"_s, Panel1);
    Button6 = button(u"Button6"_s, u"删除"_s, Panel1);
    Button2 = button(u"Button2"_s, u"导入电子书"_s, Panel1);
    Button3 = button(u"Button3"_s, u"导出电子书"_s, Panel1);
    Button3->setToolTip(u"可直接拖动选中的电子书到电脑任何地方"_s);
    for (QWidget* control : std::initializer_list<QWidget*> {
             Label2, Edbkname, Label3, ComboBoxEx1, Button8, Button4, Button5, Button6, Button2, Button3 })
        bar->addWidget(control);
    bar->addStretch(1);
    layout->addWidget(Panel1);

    DBGrid2 = new EbookGrid(TabSheet4);
    DBGrid2->setObjectName(u"DBGrid2"_s);
    const auto centred = Qt::Alignment(Qt::AlignCenter);
    m_model = new RecordSetModel(qydzbook,
        { { u"name"_s, u"书名"_s, 200, centred }, { u"isread"_s, u"阅读情况"_s, 121, centred },
            { u"zuozhe"_s, u"作者"_s, 96, centred } },
        DBGrid2);
    RecordSetModel::attach(DBGrid2, m_model);
    DBGrid2->setShowGrid(true);
    DBGrid2->verticalHeader()->setVisible(true); // the row indicator
    DBGrid2->verticalHeader()->setDefaultSectionSize(22);
    DBGrid2->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGrid2->horizontalHeader()->setStretchLastSection(false);
    layout->addWidget(DBGrid2, 1);

    PopupMenu1 = new QMenu(DBGrid2);
    PopupMenu1->setObjectName(u"PopupMenu1"_s);
    PopupMenu1->setToolTipsVisible(true);
    auto item = [this](const QString& name, const QString& caption, void (EbookPage::*fn)()) {
        QAction* action = PopupMenu1->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, ErrorHandler::guarded([this, fn] { (this->*fn)(); }));
        return action;
    };
    N1 = item(u"N1"_s, u"阅读"_s, &EbookPage::Button4Click);
    N2 = item(u"N2"_s, u"简介笔记"_s, &EbookPage::Button5Click);
    N3 = item(u"N3"_s, u"删除"_s, &EbookPage::Button6Click);
    N4 = item(u"N4"_s, u"导出电子书"_s, &EbookPage::Button3Click);
    N4->setToolTip(u"可直接拖出想导出的到电脑任何地方"_s);
    N4->setStatusTip(N4->toolTip());
    DBGrid2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid2, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& at) { PopupMenu1->popup(DBGrid2->viewport()->mapToGlobal(at)); });

    const std::pair<QPushButton*, void (EbookPage::*)()> commands[]
        = { { Button8, &EbookPage::Button8Click }, { Button4, &EbookPage::Button4Click },
              { Button5, &EbookPage::Button5Click }, { Button6, &EbookPage::Button6Click },
              { Button2, &EbookPage::Button2Click }, { Button3, &EbookPage::Button3Click } };
    for (const auto& [control, fn] : commands)
        connect(control, &QPushButton::clicked, this, ErrorHandler::guarded([this, fn] { (this->*fn)(); }));
    connect(DBGrid2, &EbookGrid::mousePressed, this,
        [this](QMouseEvent* event) { ErrorHandler::guard([&] { DBGrid2MouseDown(event); }); });
    connect(DBGrid2, &EbookGrid::mouseMoved, this,
        [this](QMouseEvent* event) { ErrorHandler::guard([&] { DBGrid2MouseMove(event); }); });
    connect(DBGrid2, &EbookGrid::readRequested, this, ErrorHandler::guarded([this] { Button4Click(); }));
    connect(DBGrid2, &EbookGrid::deleteRequested, this, ErrorHandler::guarded([this] { Button6Click(); }));
    // Enter in either search box searches.
    connect(Edbkname, &QLineEdit::returnPressed, this, ErrorHandler::guarded([this] { Button8Click(); }));
    connect(ComboBoxEx1->lineEdit(), &QLineEdit::returnPressed, this, ErrorHandler::guarded([this] { Button8Click(); }));
    connect(DBGrid2, &EbookGrid::filesDropped, this,
        [this](const QStringList& files) { ErrorHandler::guard([&] { importFiles(files); }); });
}

void EbookPage::buildReadingPage()
{
    TabSheet5 = page(u"TabSheet5"_s, u"电子书阅读"_s, PageControl2);
    auto* reading = new QVBoxLayout(TabSheet5);
    reading->setContentsMargins(0, 0, 0, 0);
    reading->setSpacing(0);
    Panel2 = new QWidget(TabSheet5);
    Panel2->setObjectName(u"Panel2"_s);
    Panel2->setFixedHeight(41);
    auto* bar = new QHBoxLayout(Panel2);
    bar->setContentsMargins(6, 4, 6, 4);
    BitBtn3 = button(u"BitBtn3"_s, u"返回"_s, Panel2);
    BitBtn3->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    connect(BitBtn3, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BitBtn3Click(); }));
    bar->addWidget(BitBtn3);
    bar->addStretch(1);
    reading->addWidget(Panel2);
    FoxitPDFSDK1 = new PdfViewer(TabSheet5);
    FoxitPDFSDK1->setObjectName(u"FoxitPDFSDK1"_s);
    reading->addWidget(FoxitPDFSDK1, 1);
    // The reading page focused means the viewer focused: its keys and Ctrl+F work.
    TabSheet5->setFocusProxy(FoxitPDFSDK1);
    connect(FoxitPDFSDK1, &PdfViewer::currentPageChanged, this, &EbookPage::rememberPage);
}
