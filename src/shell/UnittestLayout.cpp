// The main window's widgets: strips, navigation pane, banners, pages, status bar.

#include "shell/Unittest.h"

#include "ebooks/EbookPage.h"
#include "widgets/ErrorHandler.h"
#include "widgets/NavBar.h"
#include "shell/FindPanel.h"
#include "shell/ShelfView.h"
#include "data/udata.h"
#include "platform/AppPaths.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QLabel* picture(const QString& name, const QString& resource, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    if (!resource.isEmpty())
        label->setPixmap(QPixmap(resource));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QWidget* page(const QString& name, const QString& caption, QTabWidget* owner)
{
    auto* widget = new QWidget(owner);
    widget->setObjectName(name);
    owner->addTab(widget, caption);
    return widget;
}

} // namespace

void TFormtest::buildLayout()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("formBody"));
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Image2 = picture(QStringLiteral("Image2"), QStringLiteral(":/pictures/topstrip.png"), central);
    Image2->setFixedHeight(25);
    Image2->setScaledContents(true);
    Image2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed); // cut where the window ends
    outer->addWidget(Image2);

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    outer->addLayout(row, 1);

    Image1 = picture(QStringLiteral("Image1"), QStringLiteral(":/pictures/leftstrip.jpg"), central);
    Image1->setFixedWidth(17);
    Image1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    row->addWidget(Image1);

    Panel3 = new QWidget(central);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedWidth(200);
    auto* panel = new QVBoxLayout(Panel3);
    panel->setContentsMargins(1, 0, 1, 0);
    panel->setSpacing(0);
    // The pane scrolls inside the window: however many categories its links show, the
    // window stays within the screen, with the status bar in view.
    auto* navScroll = new QScrollArea(Panel3);
    navScroll->setObjectName(QStringLiteral("navScroll"));
    navScroll->setWidgetResizable(true);
    navScroll->setFrameShape(QFrame::NoFrame);
    navScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    navScroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    dxNavBar1 = new NavBar(navScroll);
    dxNavBar1->setObjectName(QStringLiteral("dxNavBar1"));
    navScroll->setWidget(dxNavBar1);
    navScroll->viewport()->setAutoFillBackground(false);
    panel->addWidget(navScroll, 1);
    Image5 = picture(QStringLiteral("Image5"), QStringLiteral(":/pictures/banner1.png"), Panel3);
    Image6 = picture(QStringLiteral("Image6"), QStringLiteral(":/pictures/banner2.png"), Panel3);
    for (QLabel* banner : {Image5, Image6}) {
        banner->setFixedSize(198, 161);
        banner->setScaledContents(true);
        banner->setCursor(Qt::PointingHandCursor);
        banner->installEventFilter(this);
        panel->addWidget(banner);
    }
    Image6->hide();
    row->addWidget(Panel3);

    Image3 = picture(QStringLiteral("Image3"), QStringLiteral(":/pictures/sidestrip.png"), central);
    Image3->setFixedWidth(33);
    Image3->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    Image4 = picture(QStringLiteral("Image4"), QStringLiteral(":/pictures/sideicon.png"), Image3);
    Image4->setGeometry(0, 0, 32, 38);
    row->addWidget(Image3);

    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    TabSheet1 = page(QStringLiteral("TabSheet1"), QStringLiteral("纸书"), PageControl1);
    auto* shelfLayout = new QVBoxLayout(TabSheet1);
    shelfLayout->setContentsMargins(0, 0, 0, 0);
    ListView1 = new ShelfView(TabSheet1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setBackgroundTile(shug);
    shelfLayout->addWidget(ListView1);
    // One click opens the quick view once: itemActivated would open it a second time
    // on styles where a single click activates an item.
    connect(ListView1, &QListWidget::itemClicked, this, ErrorHandler::guarded([this] { ListView1Click(); }));
    TabSheet2 = new EbookPage(TDataModule2::instance()->Adocon, EbookStore(AppPaths::path(QStringLiteral("corvina"))),
        AppPaths::path(QStringLiteral("temp")), PageControl1);
    PageControl1->addTab(TabSheet2, QStringLiteral("电子书"));
    // The search box above the pages, its results under it.
    auto* pagesColumn = new QVBoxLayout;
    pagesColumn->setSpacing(0);
    buildFind();
    pagesColumn->addWidget(m_find);
    pagesColumn->addWidget(PageControl1, 1);
    row->addLayout(pagesColumn, 1);

    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        statusPanels[i] = new QLabel(StatusBar1);
        statusPanels[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        statusPanels[i]->setAlignment(Qt::AlignCenter);
        statusPanels[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        StatusBar1->addWidget(statusPanels[i], 1);
    }
    StatusBar1Overdue = new QLabel(StatusBar1);
    StatusBar1Overdue->setObjectName(QStringLiteral("StatusBar1Overdue"));
    StatusBar1Overdue->setStyleSheet(QStringLiteral("color: red; padding: 0 12px"));
    StatusBar1Overdue->setCursor(Qt::PointingHandCursor);
    StatusBar1Overdue->setToolTip(QStringLiteral("打开借阅"));
    StatusBar1Overdue->installEventFilter(this);
    StatusBar1Overdue->hide();
    StatusBar1->addPermanentWidget(StatusBar1Overdue);
    StatusBar1->addPermanentWidget(m_find->buildStatus());
    setStatusBar(StatusBar1);

    buildNavigation();
    // Another page chosen: the search's results give way to it.
    connect(PageControl1, &QTabWidget::currentChanged, m_find, &FindPanel::closeList);
    orderTabs();
}

void TFormtest::orderTabs()
{
    QList<QWidget*> chain;
    chain << m_find->box() << m_find->findChild<QCheckBox*>(QStringLiteral("ChkFullText"));
    chain << dxNavBar1->tabChain();
    chain << ListView1;
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
}

void TFormtest::buildNavigation()
{
    auto link = [this](NavGroup* group, const QString& name, const QString& caption, void (TFormtest::*fn)()) {
        NavItem* item = group->addItem(name, caption);
        connect(item, &NavItem::clicked, this, ErrorHandler::guarded([this, fn] {
            m_find->closeList(); // the page chosen takes the room of the search's results
            (this->*fn)();
        }));
    };

    NavGroup* group1 = dxNavBar1->addGroup(QStringLiteral("Group1"), QStringLiteral("纸书按阅读情况"));
    link(group1, QStringLiteral("dxNavBar1Item1"), QStringLiteral("还没读"), &TFormtest::dxNavBar1Item1Click);
    link(group1, QStringLiteral("dxNavBar1Item2"), QStringLiteral("正在读"), &TFormtest::dxNavBar1Item2Click);
    link(group1, QStringLiteral("dxNavBar1Item3"), QStringLiteral("已读完"), &TFormtest::dxNavBar1Item3Click);

    Group2 = dxNavBar1->addGroup(QStringLiteral("Group2"), QStringLiteral("纸书按类别"));

    NavGroup* group3 = dxNavBar1->addGroup(QStringLiteral("Group3"), QStringLiteral("纸书管理"));
    link(group3, QStringLiteral("dxNavBar1Item4"), QStringLiteral("图书管理"), &TFormtest::dxNavBar1Item12Click);
    link(group3, QStringLiteral("dxNavBar1Item5"), QStringLiteral("分类管理"), &TFormtest::dxNavBar1Item13Click);
    link(group3, QStringLiteral("dxNavBar1Item14"), QStringLiteral("借阅"), &TFormtest::dxNavBar1Item14Click);
    link(group3, QStringLiteral("dxNavBar1Item16"), QStringLiteral("批量添加"), &TFormtest::dxNavBar1Item16Click);

    NavGroup* group4 = dxNavBar1->addGroup(QStringLiteral("group4"), QStringLiteral("电子书"));
    link(group4, QStringLiteral("dxNavBar1Item8"), QStringLiteral("电子书阅读"), &TFormtest::dxNavBar1Item8Click);
    link(group4, QStringLiteral("dxNavBar1Item7"), QStringLiteral("电子书管理"), &TFormtest::dxNavBar1Item7Click);

    NavGroup* group5 = dxNavBar1->addGroup(QStringLiteral("Group5"), QStringLiteral("设置(压缩数据库)"));
    connect(group5, &NavGroup::headerClicked, this, ErrorHandler::guarded([this] { Group5Click(); }));
    link(group5, QStringLiteral("dxNavBar1Item6"), QStringLiteral("用户管理"), &TFormtest::dxNavBar1Item6Click);
    link(group5, QStringLiteral("dxNavBar1Item9"), QStringLiteral("备份数据"), &TFormtest::dxNavBar1Item9Click);
    link(group5, QStringLiteral("dxNavBar1Item10"), QStringLiteral("恢复数据"), &TFormtest::dxNavBar1Item10Click);
    link(group5, QStringLiteral("dxNavBar1Item18"), QStringLiteral("设置"), &TFormtest::dxNavBar1Item18Click);

    NavGroup* group6 = dxNavBar1->addGroup(QStringLiteral("Group6"), QStringLiteral("统计"));
    link(group6, QStringLiteral("dxNavBar1Item15"), QStringLiteral("统计"), &TFormtest::dxNavBar1Item15Click);

    NavGroup* group7 = dxNavBar1->addGroup(QStringLiteral("Group7"), QStringLiteral("回收站"));
    link(group7, QStringLiteral("dxNavBar1Item17"), QStringLiteral("回收站"), &TFormtest::dxNavBar1Item17Click);
}
