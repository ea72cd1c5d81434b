// The viewer's layout of the pages and the place read in it: a page and a
// share of its height, which every new layout keeps at the top of the view.

#include "ebooks/PdfViewer.h"

#include <QGuiApplication>
#include <QPdfDocument>
#include <QPdfView>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

namespace {

// Pixels per point at zoom 1.0, as the page view lays pages out.
qreal screenResolution()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() / 72.0 : 96.0 / 72.0;
}

} // namespace

const QList<QRect>& PdfViewer::layout() const
{
    const QSize viewport = m_view->viewport()->size();
    const LayoutKey key { viewport, int(m_view->zoomMode()), m_view->zoomFactor(), m_documentSerial, pageCount() };
    if (key == m_layoutKey)
        return m_layout;
    m_layoutKey = key;
    m_layout.clear();
    const int pages = key.pages;
    if (pages == 0)
        return m_layout;
    // The page view's own layout: pages one below the other from the top
    // margin, each centred across the wider of the view and the widest page.
    const QMargins margins = m_view->documentMargins();
    const QPdfView::ZoomMode mode = m_view->zoomMode();
    QList<QSize> sizes;
    sizes.reserve(pages);
    int widest = 0;
    for (int p = 0; p < pages; ++p) {
        const QSizeF natural = m_document->pagePointSize(p) * screenResolution();
        QSize size;
        if (mode == QPdfView::ZoomMode::FitToWidth) {
            const QSize whole = natural.toSize();
            size = whole.width() > 0
                ? whole * (qreal(viewport.width() - margins.left() - margins.right()) / qreal(whole.width()))
                : QSize();
        } else if (mode == QPdfView::ZoomMode::FitInView) {
            const QSize room(viewport.width() - margins.left() - margins.right(),
                viewport.height() - m_view->pageSpacing());
            size = natural.toSize().scaled(room, Qt::KeepAspectRatio);
        } else {
            size = (natural * m_view->zoomFactor()).toSize();
        }
        sizes << size;
        widest = std::max(widest, size.width());
    }
    const int total = widest + margins.left() + margins.right();
    int y = margins.top();
    m_layout.reserve(pages);
    for (const QSize& size : std::as_const(sizes)) {
        m_layout << QRect(QPoint((std::max(total, viewport.width()) - size.width()) / 2, y), size);
        y += size.height() + m_view->pageSpacing();
    }
    return m_layout;
}

QRect PdfViewer::pageRect(int page) const
{
    if (!hasDocument() || page < 0 || page >= m_document->pageCount())
        return {};
    return layout().value(page).translated(
        -m_view->horizontalScrollBar()->value(), -m_view->verticalScrollBar()->value());
}

PdfViewer::Place PdfViewer::placeAt(int y) const
{
    const QList<QRect>& pages = layout();
    if (pages.isEmpty())
        return {};
    // The last page starting at or above y; in the gap below a page, the next one.
    const auto after
        = std::upper_bound(pages.begin(), pages.end(), y, [](int top, const QRect& page) { return top < page.top(); });
    int page = after == pages.begin() ? 0 : int(after - pages.begin()) - 1;
    if (y > pages.at(page).bottom() && page + 1 < pages.size())
        ++page;
    const QRect& rect = pages.at(page);
    const qreal share = rect.height() > 0 ? qreal(y - rect.top()) / rect.height() : 0.0;
    return { page, std::clamp(share, 0.0, 1.0) };
}

void PdfViewer::notePlace()
{
    if (m_restoring || !hasDocument())
        return;
    m_place = placeAt(m_view->verticalScrollBar()->value());
    pageMaybeChanged();
}

void PdfViewer::pageMaybeChanged()
{
    const int page = currentPage();
    if (hasDocument() && page != m_lastPageSignalled) {
        m_lastPageSignalled = page;
        updatePageBox();
        emit currentPageChanged(page);
    }
}

void PdfViewer::restorePlace()
{
    if (m_place.page < 0 || !hasDocument())
        return;
    const QList<QRect>& pages = layout();
    if (m_place.page >= pages.size())
        return;
    const QRect& rect = pages.at(m_place.page);
    QScrollBar* bar = m_view->verticalScrollBar();
    m_restoring = true;
    bar->setValue(rect.top() + qRound(m_place.share * rect.height()));
    m_restoring = false;
    pageMaybeChanged();
}
