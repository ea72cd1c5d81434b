// Renders sample windows with the skin and the pictures, to look at after a
// change to either:
//   skinpreview <resources folder> <output folder>
// writes preview-dialog.png, preview-main.png, preview-table.png and preview-form.png.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QDir g_resources;

QPixmap picture(const QString& name)
{
    return QPixmap(g_resources.filePath(u"pictures/"_s + name));
}

QLabel* pictureLabel(const QString& name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(picture(name));
    return label;
}

// A list whose viewport shows the shelf tile, with a few covers on it.
class Shelf : public QListWidget
{
public:
    explicit Shelf(QWidget* parent)
        : QListWidget(parent)
        , m_tile(picture(u"shug.png"_s))
    {
        setViewMode(QListView::IconMode);
        setIconSize(QSize(100, 120));
        setSpacing(12);
        setMovement(QListView::Static);
        const QColor covers[] = {QColor(0x7a, 0x4a, 0x26), QColor(0x3a, 0x7d, 0x44), QColor(0x2f, 0x4f, 0x7a)};
        const QString titles[] = {u"红楼梦"_s, u"围城"_s, u"平凡的世界"_s, u"（没有封面）"_s, u"边城"_s};
        for (int i = 0; i < 5; ++i) {
            QPixmap cover(100, 120);
            if (i == 3) {
                cover = m_tile.scaled(100, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            } else {
                cover.fill(covers[i % 3]);
                QPainter p(&cover);
                p.setPen(QColor(0xf6, 0xf1, 0xe4));
                p.drawText(cover.rect(), Qt::AlignCenter, titles[i]);
            }
            addItem(new QListWidgetItem(QIcon(cover), titles[i]));
        }
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(viewport());
        p.drawTiledPixmap(viewport()->rect(), m_tile);
        p.end();
        QListWidget::paintEvent(event);
    }

private:
    QPixmap m_tile;
};

QWidget* navPane(QWidget* parent)
{
    auto* pane = new QWidget(parent);
    pane->setObjectName(u"dxNavBar1"_s);
    pane->setAttribute(Qt::WA_StyledBackground);
    // Roughly the real pane's own colours; the skin leaves the pane alone.
    pane->setStyleSheet(u"#dxNavBar1 { background: #87ceeb; }"
                        "QToolButton[navGroup=\"true\"] { background: #2e8b3e; color: white; font-weight: bold; }"
                        "QLabel[navItem=\"true\"] { background: #9ed89a; color: #14361a; padding: 3px 14px; }"
                        "QLabel[navItem=\"true\"]:hover { color: red; }"_s);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(0);
    const QList<QPair<QString, QStringList>> groups = {
        {u"纸书按阅读情况"_s, {u"还没读"_s, u"正在读"_s, u"已读完"_s}},
        {u"纸书管理"_s, {u"图书管理"_s, u"分类管理"_s}},
        {u"电子书"_s, {u"电子书阅读"_s, u"电子书管理"_s}},
    };
    for (const auto& [caption, items] : groups) {
        auto* header = new QToolButton(pane);
        header->setProperty("navGroup", true);
        header->setText(caption);
        header->setToolButtonStyle(Qt::ToolButtonTextOnly);
        header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(header);
        for (const QString& item : items) {
            auto* label = new QLabel(item, pane);
            label->setProperty("navItem", true);
            // Show the look of the item under the mouse too.
            if (item == u"正在读"_s)
                label->setAttribute(Qt::WA_UnderMouse);
            layout->addWidget(label);
        }
        layout->addSpacing(6);
    }
    layout->addStretch();
    return pane;
}

QWidget* mainWindow()
{
    auto* window = new QMainWindow;
    window->setWindowTitle(u"青禾家庭图书管理系统2.0"_s);
    auto* central = new QWidget(window);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* top = new QLabel(central);
    top->setFixedHeight(25);
    top->setPixmap(picture(u"topstrip.png"_s));
    outer->addWidget(top);

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    auto* left = pictureLabel(u"leftstrip.jpg"_s, central);
    left->setFixedWidth(17);
    left->setAlignment(Qt::AlignTop);
    row->addWidget(left);

    auto* panel = new QWidget(central);
    panel->setFixedWidth(200);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    panelLayout->addWidget(navPane(panel), 1);
    auto* banner = pictureLabel(u"banner1.png"_s, panel);
    banner->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(banner);
    row->addWidget(panel);

    auto* side = new QLabel(central);
    side->setFixedWidth(33);
    side->setAlignment(Qt::AlignTop);
    QPixmap strip = picture(u"sidestrip.png"_s);
    {
        QPainter p(&strip);
        p.drawPixmap(0, 0, picture(u"sideicon.png"_s));
    }
    side->setPixmap(strip);
    row->addWidget(side);
    row->addWidget(new Shelf(central), 1);
    outer->addLayout(row, 1);
    window->setCentralWidget(central);
    window->statusBar()->addWidget(new QLabel(u"        <青禾书屋>     图书总数：  5"_s), 1);
    window->statusBar()->addWidget(new QLabel(u"          [正在读]--数量：5"_s), 1);
    window->resize(900, 620);
    return window;
}

QWidget* loginDialog()
{
    auto* dialog = new QDialog;
    dialog->setWindowTitle(u"青禾家庭图书管理系统"_s);
    dialog->setFixedSize(476, 292);
    QFont big = dialog->font();
    big.setPixelSize(24);
    auto* form = new QFormLayout;
    for (const QString& caption : {u"用户名"_s, u"密    码"_s}) {
        auto* label = new QLabel(caption, dialog);
        label->setFont(big);
        label->setStyleSheet(u"color: blue;"_s);
        auto* edit = new QLineEdit(dialog);
        edit->setFont(big);
        if (form->rowCount() == 1)
            edit->setEchoMode(QLineEdit::Password);
        else
            edit->setText(u"admin"_s);
        form->addRow(label, edit);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(new QPushButton(u"登陆"_s, dialog));
    buttons->addWidget(new QPushButton(u"退出"_s, dialog));
    auto* disabled = new QPushButton(u"不可用"_s, dialog);
    disabled->setEnabled(false);
    buttons->addWidget(disabled);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(40, 40, 12, 8);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStretch();
    auto* deco = pictureLabel(u"logindeco.jpg"_s, dialog);
    layout->addWidget(deco, 0, Qt::AlignRight | Qt::AlignBottom);
    return dialog;
}

QWidget* formsDialog(int shownPage)
{
    auto* dialog = new QDialog;
    dialog->resize(620, 420);
    auto* layout = new QVBoxLayout(dialog);
    auto* toolbar = new QToolBar(dialog);
    toolbar->addAction(u"导入电子书"_s);
    toolbar->addAction(u"阅读"_s);
    toolbar->addAction(u"简介笔记"_s);
    layout->addWidget(toolbar);
    auto* tabs = new QTabWidget(dialog);
    auto* table = new QTableWidget(14, 3, tabs);
    table->setHorizontalHeaderLabels({u"书名"_s, u"作者"_s, u"阅读情况"_s});
    table->setAlternatingRowColors(true);
    for (int r = 0; r < 14; ++r) {
        table->setItem(r, 0, new QTableWidgetItem(u"书名 %1"_s.arg(r + 1)));
        table->setItem(r, 1, new QTableWidgetItem(u"作者"_s));
        table->setItem(r, 2, new QTableWidgetItem(r % 2 ? u"正在读"_s : u"已读完"_s));
    }
    table->selectRow(2);
    tabs->addTab(table, u"电子书管理"_s);
    auto* page = new QWidget(tabs);
    auto* pageLayout = new QFormLayout(page);
    auto* combo = new QComboBox(page);
    combo->addItems({u"还没读"_s, u"正在读"_s, u"已读完"_s});
    pageLayout->addRow(u"阅读情况"_s, combo);
    pageLayout->addRow(u"书名"_s, new QLineEdit(u"平凡的世界"_s, page));
    auto* notes = new QPlainTextEdit(page);
    notes->setPlainText(u"读书笔记……"_s);
    pageLayout->addRow(u"笔记"_s, notes);
    tabs->addTab(page, u"简介笔记"_s);
    tabs->setCurrentIndex(shownPage);
    layout->addWidget(tabs);
    auto* row = new QHBoxLayout;
    auto* search = new QLineEdit(dialog);
    search->setPlaceholderText(u"搜索书名"_s);
    row->addWidget(search);
    row->addWidget(new QPushButton(u"查询"_s, dialog));
    layout->addLayout(row);
    return dialog;
}

bool grab(QWidget* widget, const QDir& out, const QString& name)
{
    widget->show();
    QApplication::processEvents();
    const QString path = out.filePath(name);
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", qPrintable(path), ok ? "written" : "FAILED");
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: skinpreview <resources folder> <output folder>\n");
        return 2;
    }
    g_resources.setPath(QString::fromLocal8Bit(argv[1]));
    const QDir out(QString::fromLocal8Bit(argv[2]));

    QFont font(u"WenQuanYi Micro Hei"_s);
    font.setPixelSize(13);
    QApplication::setFont(font);
    QFile skin(g_resources.filePath(u"skin/skinh.she"_s));
    if (!skin.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "skinpreview: no skin at %s\n", qPrintable(skin.fileName()));
        return 1;
    }
    app.setStyleSheet(QString::fromUtf8(skin.readAll()));

    bool ok = grab(loginDialog(), out, u"preview-dialog.png"_s);
    ok &= grab(mainWindow(), out, u"preview-main.png"_s);
    ok &= grab(formsDialog(0), out, u"preview-table.png"_s);
    ok &= grab(formsDialog(1), out, u"preview-form.png"_s);
    return ok ? 0 : 1;
}
