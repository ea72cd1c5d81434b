#include "widgets/uhistory.h"

#include "data/RecordSet.h"
#include "data/Schema.h"

#include "widgets/ErrorHandler.h"
#include "widgets/Named.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TfmHistory::TfmHistory(Connection& connection, Trash::Kind kind, qint64 book, QWidget* parent)
    : QDialog(parent)
    , m_connection(connection)
    , m_kind(kind)
    , m_book(book)
    , LvHistory(named(new QListWidget(this), u"LvHistory"_s))
    , MemoHistory(named(new QPlainTextEdit(this), u"MemoHistory"_s))
    , BtnHistoryRestore(named(new QPushButton(u"恢复此版本"_s, this), u"BtnHistoryRestore"_s))
{
    setObjectName(u"TfmHistory"_s);
    setWindowTitle(u"历史版本"_s);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    resize(720, 460);
    MemoHistory->setReadOnly(true);

    auto* close = named(new QPushButton(u"关闭"_s, this), u"BtnHistoryClose"_s);
    auto* columns = new QHBoxLayout;
    columns->addWidget(LvHistory, 2);
    columns->addWidget(MemoHistory, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnHistoryRestore);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(u"每次保存前的内容（最近 %1 个版本）："_s.arg(Schema::historyLimit), this));
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    connect(LvHistory, &QListWidget::currentRowChanged, this, [this](int row) { showVersion(row); });
    connect(BtnHistoryRestore, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnHistoryRestoreClick(); }));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

TfmHistory::~TfmHistory() = default;

void TfmHistory::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void TfmHistory::FormShow()
{
    m_versions = History::versions(m_connection, m_kind, m_book);
    m_categories.clear();
    RecordSet categories(m_connection);
    categories.setSql(u"select id, leib from tblei"_s);
    categories.open();
    for (int row = 0; row < categories.recordCount(); ++row)
        m_categories.insert(categories.textAt(row, 0).toLongLong(), categories.textAt(row, 1).trimmed());
    LvHistory->clear();
    for (const History::Version& version : std::as_const(m_versions)) {
        QStringList names;
        for (const QString& column : version.changed)
            names << History::label(m_kind, column);
        LvHistory->addItem(u"%1  改了%2"_s.arg(version.saved.toString(u"yyyy-MM-dd HH:mm"_s),
            names.isEmpty() ? u"（无）"_s : names.join(u'、')));
    }
    if (m_versions.isEmpty())
        MemoHistory->setPlainText(u"这本书还没有历史版本：保存修改后，修改前的内容会留在这里。"_s);
    else
        LvHistory->setCurrentRow(0);
    BtnHistoryRestore->setEnabled(!m_versions.isEmpty());
}

QString TfmHistory::shownValue(const QString& column, const QJsonValue& value) const
{
    // A document password is never shown, as in the details dialog.
    if (m_kind == Trash::Kind::Ebook && column == u"place"_s)
        return value.toString().isEmpty() ? u"（空）"_s : u"******"_s;
    const QString text = value.isDouble() ? QString::number(value.toInteger()) : value.toString();
    if (m_kind == Trash::Kind::Book && column == u"leibie"_s && !text.isEmpty()) // the category by its name
        return m_categories.value(value.toInteger(), u"（已删除的类别）"_s);
    return text.isEmpty() ? u"（空）"_s : text;
}

void TfmHistory::showVersion(int row)
{
    if (row < 0 || row >= m_versions.size())
        return;
    const History::Version& version = m_versions.at(row);
    QString text;
    for (const QString& column : version.changed)
        text += u"【%1】\n这个版本：%2\n保存后：%3\n\n"_s.arg(History::label(m_kind, column),
            shownValue(column, version.values.value(column)), shownValue(column, version.after.value(column)));
    MemoHistory->setPlainText(text.trimmed());
}

void TfmHistory::BtnHistoryRestoreClick()
{
    const int row = LvHistory->currentRow();
    if (row < 0 || row >= m_versions.size())
        return;
    History::restore(m_connection, m_kind, m_book, m_versions.at(row).id);
    m_restored = true;
    accept();
}
