#include "ebooks/utrash.h"

#include "ebooks/EbookStore.h"
#include "ebooks/RecycleBin.h"
#include "format/Companion.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Named.h"
#include "widgets/Prompt.h"
#include "widgets/SizeText.h"
#include "widgets/Titles.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

using namespace Qt::StringLiterals;

Tfmtrash::Tfmtrash(Connection& connection, const EbookStore& store, QWidget* parent)
    : QDialog(parent)
    , m_connection(connection)
    , m_store(store)
    , LvTrash(named(new QTableWidget(0, 4, this), u"LvTrash"_s))
    , LblTrashNote(named(new QLabel(this), u"LblTrashNote"_s))
    , BtnTrashRestore(named(new QPushButton(u"恢复"_s, this), u"BtnTrashRestore"_s))
    , BtnTrashPurge(named(new QPushButton(u"彻底删除"_s, this), u"BtnTrashPurge"_s))
    , BtnTrashEmpty(named(new QPushButton(u"清空回收站"_s, this), u"BtnTrashEmpty"_s))
{
    setObjectName(u"Tfmtrash"_s);
    setWindowTitle(u"回收站"_s);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    resize(640, 420);

    LvTrash->setHorizontalHeaderLabels({ u"书名"_s, u"类型"_s, u"删除日期"_s, u"大小"_s });
    LvTrash->setSelectionBehavior(QAbstractItemView::SelectRows);
    LvTrash->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LvTrash->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LvTrash->verticalHeader()->hide();
    LvTrash->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        LvTrash->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    auto* close = named(new QPushButton(u"关闭"_s, this), u"BtnTrashClose"_s);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnTrashRestore);
    buttons->addWidget(BtnTrashPurge);
    buttons->addStretch(1);
    buttons->addWidget(BtnTrashEmpty);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LblTrashNote);
    layout->addWidget(LvTrash, 1);
    layout->addLayout(buttons);

    connect(BtnTrashRestore, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnTrashRestoreClick(); }));
    connect(BtnTrashPurge, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnTrashPurgeClick(); }));
    connect(BtnTrashEmpty, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnTrashEmptyClick(); }));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(LvTrash, &QTableWidget::itemSelectionChanged, this, [this] { enableButtons(); });
}

Tfmtrash::~Tfmtrash() = default;

void Tfmtrash::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void Tfmtrash::FormShow()
{
    m_items = Trash::items(m_connection);
    const int days = Trash::keptDays(m_connection);
    LblTrashNote->setText(days > 0 ? u"删除的书在回收站里保留 %1 天，过期后在程序启动时彻底删除。"_s.arg(days)
                                   : u"删除的书一直保留在回收站里，直到彻底删除。"_s);
    LvTrash->clearContents();
    LvTrash->setRowCount(int(m_items.size()));
    for (int row = 0; row < m_items.size(); ++row) {
        const Trash::Item& item = m_items.at(row);
        qint64 bytes = item.rowBytes;
        if (item.kind == Trash::Kind::Ebook)
            bytes = QFileInfo(m_store.binPath(item.storedName)).size();
        const QString cells[] { item.title, item.kind == Trash::Kind::Book ? u"纸书"_s : u"电子书"_s,
            item.deleted.toString(u"yyyy-MM-dd HH:mm"_s), sizeText(bytes) };
        for (int column = 0; column < 4; ++column)
            LvTrash->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    if (!m_items.isEmpty())
        LvTrash->selectRow(0);
    enableButtons();
}

QList<Trash::Item> Tfmtrash::chosen() const
{
    std::set<int> rows;
    for (const QModelIndex& index : LvTrash->selectionModel()->selectedRows())
        rows.insert(index.row());
    QList<Trash::Item> list;
    for (int row : rows)
        if (row < m_items.size())
            list.append(m_items.at(row));
    return list;
}

void Tfmtrash::enableButtons()
{
    const bool any = !chosen().isEmpty();
    BtnTrashRestore->setEnabled(any);
    BtnTrashPurge->setEnabled(any);
    BtnTrashEmpty->setEnabled(!m_items.isEmpty());
}

void Tfmtrash::BtnTrashRestoreClick()
{
    QStringList withoutFile;
    for (const Trash::Item& item : chosen()) {
        bool missing = false;
        RecycleBin::restore(m_connection, m_store, item, &missing);
        m_changed = true;
        if (missing)
            withoutFile << item.title;
    }
    FormShow();
    if (!withoutFile.isEmpty())
        Prompt::message(this, QMessageBox::Warning, Titles::hint(),
            u"电子书“%1”的文件不在回收站里，只恢复了它的记录。"_s.arg(withoutFile.join(u"”、“"_s)));
}

void Tfmtrash::BtnTrashPurgeClick()
{
    const QList<Trash::Item> items = chosen();
    if (items.isEmpty())
        return;
    const QString what = items.size() == 1 ? u"“%1”"_s.arg(items.first().title) : u"选中的 %1 项"_s.arg(items.size());
    if (Prompt::message(this, QMessageBox::Question, Titles::hint(), u"彻底删除%1？删除后无法恢复。"_s.arg(what),
            QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;
    for (const Trash::Item& item : items)
        RecycleBin::purge(m_connection, m_store, item);
    FormShow();
}

void Tfmtrash::BtnTrashEmptyClick()
{
    if (m_items.isEmpty())
        return;
    if (Prompt::message(this, QMessageBox::Question, Titles::hint(),
            u"清空回收站（%1 项）？删除后无法恢复。"_s.arg(m_items.size()), QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;
    RecycleBin::empty(m_connection, m_store);
    FormShow();
}
