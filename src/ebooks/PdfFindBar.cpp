#include "ebooks/PdfFindBar.h"

#include "ebooks/BookFind.h"
#include "ebooks/PdfViewer.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfView>
#include <QScrollBar>
#include <QToolButton>

#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QColor MatchColor(255, 230, 0, 90);
const QColor CurrentMatchColor(255, 120, 0, 130);

// Paints the matches of the pages in view over the viewer's page view.
class SearchHighlight : public QWidget
{
public:
    SearchHighlight(PdfViewer* viewer, PdfFindBar* bar)
        : QWidget(viewer->pageView()->viewport())
        , m_viewer(viewer)
        , m_bar(bar)
    {
        setObjectName(u"FindHighlight"_s);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        parentWidget()->installEventFilter(this);
        setGeometry(parentWidget()->rect());
        const QPdfView* view = viewer->pageView();
        for (QScrollBar* bar : { view->verticalScrollBar(), view->horizontalScrollBar() })
            connect(bar, &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parentWidget() && event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override
    {
        if (!m_bar->isVisible() || !m_viewer->hasDocument() || m_bar->text().isEmpty())
            return;
        QPainter painter(this);
        painter.setPen(Qt::NoPen);
        const QPdfDocument* document = m_viewer->document();
        for (int page = 0; page < document->pageCount(); ++page) {
            const QRect area = m_viewer->pageRect(page);
            if (area.bottom() < 0)
                continue;
            if (area.top() > height())
                break;
            const qreal scale = area.width() / document->pagePointSize(page).width();
            const QList<QList<QRectF>> results = m_bar->search()->matchesOn(page);
            for (qsizetype i = 0; i < results.size(); ++i) {
                const bool current = page == m_bar->matchPage() && i == m_bar->matchIndexOnPage();
                painter.setBrush(current ? CurrentMatchColor : MatchColor);
                for (const QRectF& r : results[i])
                    painter.drawRect(QRectF(area.topLeft() + r.topLeft() * scale, r.size() * scale));
            }
        }
    }

private:
    PdfViewer* m_viewer;
    PdfFindBar* m_bar;
};

} // namespace

PdfFindBar::PdfFindBar(PdfViewer* viewer)
    : QWidget(viewer)
    , m_viewer(viewer)
    , m_search(new BookFind(this))
    , m_edit(new QLineEdit(this))
    , m_previous(new QToolButton(this))
    , m_next(new QToolButton(this))
    , m_status(new QLabel(this))
    , m_highlight(new SearchHighlight(viewer, this))
{
    setObjectName(u"FindBar"_s);
    m_edit->setObjectName(u"FindEdit"_s);
    m_edit->setPlaceholderText(tr("在文档中查找"));
    m_edit->setClearButtonEnabled(true);
    m_previous->setObjectName(u"FindPrevious"_s);
    m_previous->setText(tr("上一个"));
    m_previous->setToolTip(tr("上一个 (Shift+F3)"));
    m_next->setObjectName(u"FindNext"_s);
    m_next->setText(tr("下一个"));
    m_next->setToolTip(tr("下一个 (F3)"));
    m_status->setObjectName(u"FindStatus"_s);
    m_status->setMinimumWidth(120);
    auto* closeButton = new QToolButton(this);
    closeButton->setObjectName(u"FindClose"_s);
    closeButton->setText(u"✕"_s);
    closeButton->setToolTip(tr("关闭 (Esc)"));
    closeButton->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(new QLabel(tr("查找"), this));
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_status);
    layout->addWidget(closeButton);

    auto addKey = [this](const QKeySequence& key, void (PdfFindBar::*slot)()) {
        auto* action = new QAction(this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    addKey(QKeySequence(Qt::Key_Escape), &PdfFindBar::close);
    addKey(QKeySequence(Qt::SHIFT | Qt::Key_Return), &PdfFindBar::findPrevious);
    addKey(QKeySequence(Qt::SHIFT | Qt::Key_Enter), &PdfFindBar::findPrevious);

    connect(m_edit, &QLineEdit::textChanged, this, &PdfFindBar::textChanged);
    connect(m_edit, &QLineEdit::returnPressed, this, &PdfFindBar::findNext);
    connect(m_next, &QToolButton::clicked, this, &PdfFindBar::findNext);
    connect(m_previous, &QToolButton::clicked, this, &PdfFindBar::findPrevious);
    connect(closeButton, &QToolButton::clicked, this, &PdfFindBar::close);
    // The count grows while the worker goes through the pages.
    connect(m_search, &BookFind::changed, this, &PdfFindBar::searchChanged);

    hide();
}

void PdfFindBar::open()
{
    show();
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
    m_highlight->update();
}

void PdfFindBar::close()
{
    m_pendingStep = 0; // a step still waiting for the worker would move the pages later
    hide();
    m_highlight->update();
    m_viewer->pageView()->setFocus(Qt::OtherFocusReason);
}

void PdfFindBar::documentChanged()
{
    // Results of the document shown before would point at pages of another one.
    m_search->setSource(QString(), QString());
    textChanged();
}

void PdfFindBar::setSource(const QString& storeFile, const QString& password)
{
    m_search->setSource(storeFile, password);
    textChanged();
}

void PdfFindBar::startSearch(const QStringList& forms, int page)
{
    m_page = -1;
    m_index = -1;
    m_notFound = false;
    m_pendingStep = 0;
    if (!forms.value(0).isEmpty() && m_viewer->hasDocument())
        m_search->start(forms, page);
    else
        m_search->stop();
    updateStatus();
    m_highlight->update();
}

void PdfFindBar::textChanged()
{
    startSearch({ m_edit->text() }, m_viewer->hasDocument() ? m_viewer->currentPage() : 0);
}

void PdfFindBar::searchChanged()
{
    // The form the book uses, once the worker has chosen it.
    if (!m_search->text().isEmpty() && m_search->text() != m_edit->text()) {
        const QSignalBlocker quiet(m_edit);
        m_edit->setText(m_search->text());
    }
    if (const int direction = std::exchange(m_pendingStep, 0))
        step(direction);
    updateStatus();
    m_highlight->update();
}

void PdfFindBar::findNext()
{
    step(+1);
}

void PdfFindBar::findPrevious()
{
    step(-1);
}

void PdfFindBar::findFrom(const QString& text, int page)
{
    findFrom(QStringList { text }, page);
}

void PdfFindBar::findFrom(const QStringList& forms, int page)
{
    // The worker looks at page first: the form it holds is the one searched,
    // and the step below is taken as soon as that page is searched.
    open();
    {
        const QSignalBlocker quiet(m_edit);
        m_edit->setText(forms.value(0));
        m_edit->selectAll();
    }
    startSearch(forms, page);
    m_viewer->goToPage(page);
    step(+1);
}

QString PdfFindBar::text() const
{
    return m_edit->text();
}

void PdfFindBar::step(int direction)
{
    if (!isVisible())
        open();
    const int pages = m_viewer->hasDocument() ? m_viewer->document()->pageCount() : 0;
    if (m_edit->text().isEmpty() || pages == 0)
        return;
    // From the current match, or from the page in view when there is none yet.
    constexpr int LastOnPage = std::numeric_limits<int>::max();
    int page = m_page >= 0 ? m_page : m_viewer->currentPage();
    int index = m_page >= 0 ? m_index + direction : (direction > 0 ? 0 : LastOnPage);
    for (int visited = 0; visited <= pages; ++visited) {
        if (!m_search->searched(page) && m_search->isSearching()) {
            m_pendingStep = direction; // taken when the page is searched
            updateStatus();
            return;
        }
        const int count = int(m_search->matchesOn(page).size());
        if (index == LastOnPage)
            index = count - 1;
        if (index >= 0 && index < count) {
            m_page = page;
            m_index = index;
            m_notFound = false;
            showMatch();
            return;
        }
        page = (page + direction + pages) % pages;
        index = direction > 0 ? 0 : LastOnPage;
    }
    m_page = -1;
    m_index = -1;
    m_notFound = true;
    updateStatus();
}

QList<QRectF> PdfFindBar::matchRectangles() const
{
    if (m_page < 0)
        return {};
    return m_search->matchesOn(m_page).value(m_index);
}

void PdfFindBar::showMatch()
{
    m_viewer->goToPage(m_page);
    // A match low on a tall page is brought up into view too.
    const QList<QRectF> rectangles = matchRectangles();
    if (!rectangles.isEmpty()) {
        QPdfView* view = m_viewer->pageView();
        const QRect area = m_viewer->pageRect(m_page);
        const qreal scale = area.width() / m_viewer->document()->pagePointSize(m_page).width();
        const int top = area.top() + qRound(rectangles.first().top() * scale);
        const int bottom = area.top() + qRound(rectangles.first().bottom() * scale);
        const int height = view->viewport()->height();
        if (top < 0 || bottom > height * 3 / 4)
            view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + top - height / 4);
    }
    updateStatus();
    m_highlight->update();
}

void PdfFindBar::updateStatus()
{
    m_status->setText(statusText());
}

bool PdfFindBar::isSearching() const
{
    return m_search->isSearching();
}

QString PdfFindBar::statusText() const
{
    if (m_edit->text().isEmpty())
        return QString();
    if (m_notFound) // every page was looked through for it
        return tr("找不到");
    const bool searching = isSearching();
    const int found = m_search->count();
    if (m_page < 0) {
        if (searching)
            return tr("正在查找… 已找到 %1 处").arg(found);
        return found > 0 ? tr("共 %1 处").arg(found) : QString();
    }
    int number = m_index + 1;
    for (int page = 0; page < m_page; ++page)
        number += int(m_search->matchesOn(page).size());
    const QString place = tr("第 %1 处，共 %2 处").arg(number).arg(std::max(found, number));
    return searching ? place + tr("（正在查找…）") : place;
}
