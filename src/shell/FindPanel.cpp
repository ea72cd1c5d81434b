#include "shell/FindPanel.h"

#include "data/Connection.h"
#include "search/FindRunner.h"
#include "search/FullTextLibrary.h"
#include "search/FieldSearch.h"
#include "shell/FindList.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

FindPanel::FindPanel(Connection& connection, FullTextLibrary* library, QWidget* parent)
    : QWidget(parent)
    , m_connection(connection)
    , m_library(library)
    , m_runner(new FindRunner(connection.databasePath(), library, this))
    , m_box(new QLineEdit(this))
    , m_fullText(new QCheckBox(u"全文"_s, this))
    , m_list(new QTreeView(this))
    , m_model(new FindListModel(this))
    , m_message(new QLabel(this))
    , m_buildStatus(new QLabel(this)) // moved to the status bar by the window
    , m_pause(new QTimer(this))
{
    setObjectName(u"FindPanel"_s);
    m_box->setObjectName(u"EdtFind"_s);
    m_box->setPlaceholderText(u"搜索书名、作者、出版社、ISBN、存放位置、借书人、笔记…"_s);
    m_box->setClearButtonEnabled(true);
    // The box is where typing goes: its focus is marked more plainly than a field's.
    m_box->setStyleSheet(u"QLineEdit#EdtFind:focus { border: 2px solid #c9a25a; background: #fffbe8; }"_s);
    m_fullText->setObjectName(u"ChkFullText"_s);
    m_fullText->setToolTip(u"同时搜索电子书里的文字"_s);
    m_list->setObjectName(u"LstFind"_s);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new FindListDelegate(m_list));
    m_list->setHeaderHidden(true);
    m_list->setUniformRowHeights(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->hide();
    m_message->setObjectName(u"FindMessage"_s);
    m_message->hide();
    m_buildStatus->setObjectName(u"FullTextStatus"_s);
    m_buildStatus->hide();

    auto* row = new QHBoxLayout;
    row->setContentsMargins(6, 4, 6, 4);
    row->addWidget(m_box, 1);
    row->addWidget(m_fullText);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(row);
    layout->addWidget(m_message);
    layout->addWidget(m_list);

    m_pause->setObjectName(u"FindPause"_s);
    m_pause->setSingleShot(true);
    m_pause->setInterval(250);
    connect(m_pause, &QTimer::timeout, this, ErrorHandler::guarded([this] { search(); }));
    connect(m_box, &QLineEdit::textChanged, this, [this] {
        m_openFirstFor.clear(); // Enter meant the text it was pressed on
        m_pause->start();
    });
    connect(m_box, &QLineEdit::returnPressed, this, ErrorHandler::guarded([this] {
        // Enter in the box: the first result, once the search for this text is in.
        m_openFirstFor = m_box->text().trimmed();
        search();
    }));
    connect(m_fullText, &QCheckBox::toggled, this, ErrorHandler::guarded([this] { search(); }));
    connect(m_list, &QTreeView::activated, this, ErrorHandler::guarded([this] { openCurrent(); }));
    connect(m_runner, &FindRunner::found, this, &FindPanel::showResults);
    connect(m_runner, &FindRunner::failed, this, &FindPanel::showFailure);
    if (m_library) {
        connect(m_library, &FullTextLibrary::pendingChanged, this, &FindPanel::showBuildCount);
        connect(m_library, &FullTextLibrary::problemFound, this, [this] {
            if (m_fullText->isChecked())
                tellTextProblem();
        });
    }
    m_box->installEventFilter(this);
    m_list->installEventFilter(this);
}

FindPanel::~FindPanel() = default;

void FindPanel::focusBox()
{
    m_box->setFocus(Qt::ShortcutFocusReason);
    m_box->selectAll();
}

void FindPanel::search()
{
    m_pause->stop();
    const QString text = m_box->text().trimmed();
    if (text.isEmpty()) {
        m_runner->cancel();
        closeList();
        return;
    }
    // The pinyin is matched here, on the window's connection, which owns the
    // index; the search itself reads the library through a handle of its own.
    FindQuery query = FindQuery::from(text);
    FieldSearch::addPinyin(m_connection, query);
    m_runner->find(query, m_fullText->isChecked());
    if (m_fullText->isChecked())
        tellTextProblem();
}

void FindPanel::tellTextProblem()
{
    // Texts that cannot be kept are never found: said once a run, the first
    // time the books' text is searched.
    if (m_textProblemTold || !m_library || m_library->problem().isEmpty())
        return;
    m_textProblemTold = true;
    Prompt::message(this, QMessageBox::Warning, Titles::hint(),
        u"电子书的文字无法保存，全文搜索找不到这些书里的内容。\n%1"_s.arg(m_library->problem()), QMessageBox::Ok);
}

void FindPanel::dropEbook(qint64 id)
{
    FindResults results = m_model->results();
    const auto ofBook = [id](const FindHit& hit) { return hit.id == id; };
    const qsizetype before = results.ebook.size() + results.fullText.size();
    results.ebook.removeIf(ofBook);
    results.fullText.removeIf(ofBook);
    if (results.ebook.size() + results.fullText.size() == before)
        return;
    const bool shown = m_list->isVisible();
    m_model->setResults(results);
    m_list->expandAll();
    if (results.isEmpty())
        closeList();
    else if (shown)
        fitList();
}

void FindPanel::waitForResults()
{
    m_runner->waitForDone();
}

void FindPanel::showResults(const QString& text, const FindResults& results)
{
    if (text != m_box->text().trimmed())
        return; // the box has moved on; its own search follows
    m_model->setResults(results);
    m_list->expandAll();
    m_message->setVisible(results.isEmpty());
    m_message->setText(results.isEmpty() ? u"  没有找到“%1”"_s.arg(text) : QString());
    m_list->setVisible(!results.isEmpty());
    fitList();
    if (!m_openFirstFor.isEmpty() && text == m_openFirstFor) {
        m_openFirstFor.clear();
        const QModelIndex first = m_model->index(0, 0, m_model->index(0, 0));
        if (first.isValid()) {
            m_list->setCurrentIndex(first);
            ErrorHandler::guard([this] { openCurrent(); });
        }
    }
}

void FindPanel::fitList()
{
    // As tall as its rows, up to a third or so of the window.
    int rows = 0;
    for (int group = 0; group < m_model->rowCount(); ++group)
        rows += 1 + m_model->rowCount(m_model->index(group, 0));
    const int rowHeight = qMax(1, m_list->sizeHintForRow(0));
    m_list->setFixedHeight(qBound(rowHeight, rows * rowHeight + 2 * m_list->frameWidth() + 2, 300));
}

void FindPanel::showFailure(const QString& text, const QString& message)
{
    if (text != m_box->text().trimmed())
        return;
    m_openFirstFor.clear();
    m_model->setResults({});
    m_list->hide();
    m_message->setText(u"  搜索失败：%1"_s.arg(message));
    m_message->show();
}

void FindPanel::closeList()
{
    m_list->hide();
    m_message->hide();
}

void FindPanel::openCurrent()
{
    activated(m_list->currentIndex());
}

void FindPanel::activated(const QModelIndex& index)
{
    if (FindListModel::kind(index) == FindListModel::Kind::More) {
        m_model->expandMore(index);
        m_list->expandAll();
        fitList();
        return;
    }
    const FindHit* hit = m_model->hit(index);
    if (!hit)
        return;
    const FindHit chosen = *hit; // the list may be refilled while the book is open
    if (chosen.group != FindHit::Group::Paper)
        closeList(); // the reading page needs the room; Down in the box brings the list back
    if (chosen.group == FindHit::Group::Paper)
        emit openPaperBook(chosen.id);
    else
        emit openEbook(
            chosen.id, chosen.page, chosen.group == FindHit::Group::FullText ? m_box->text().trimmed() : QString());
}

void FindPanel::showBuildCount(int remaining)
{
    m_buildStatus->setVisible(remaining > 0);
    m_buildStatus->setText(remaining > 0 ? u"正在为 %1 本电子书建立全文索引"_s.arg(remaining) : QString());
}

bool FindPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape && (m_list->isVisible() || m_message->isVisible())) {
            closeList();
            m_box->setFocus();
            return true;
        }
        if (watched == m_box && key == Qt::Key_Down && m_model->hitCount() > 0) {
            m_list->show();
            m_list->setFocus();
            const QModelIndex first = m_model->index(0, 0, m_model->index(0, 0));
            if (first.isValid())
                m_list->setCurrentIndex(first);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
