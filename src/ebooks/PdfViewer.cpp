#include "ebooks/PdfViewer.h"

#include "ebooks/PdfFindBar.h"
#include "ebooks/PdfThumbnailModel.h"
#include "text/PageNames.h"

#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

const QColor PageBackground(0xd9, 0xd9, 0xd9);
constexpr int SidePaneWidth = 200;
constexpr int ThumbnailSpacing = 4;
constexpr int NoteShownMs = 3000;
constexpr int NoteFadeMs = 600;
constexpr qreal MinimumZoom = 0.1;
constexpr qreal MaximumZoom = 8.0;
// The steps of zoom in / zoom out and the choices of the zoom box.
constexpr std::array<qreal, 11> ZoomSteps { 0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0 };

// Pixels per point at zoom 1.0, as the page view lays pages out.
qreal screenResolution()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() / 72.0 : 96.0 / 72.0;
}

} // namespace

PdfViewer::PdfViewer(QWidget* parent)
    : QWidget(parent)
    , m_document(new QPdfDocument(this))
    , m_outline(new QStandardItemModel(this))
    , m_thumbnails(new PdfThumbnailModel(m_document, this))
    , m_toolBar(new QToolBar(this))
    , m_sidePane(new QTabWidget(this))
    , m_stack(new QStackedWidget(this))
    , m_view(new QPdfView(this))
    , m_message(new QLabel(this))
    , m_outlineView(new QTreeView(this))
    , m_thumbnailView(new QListView(this))
{
    m_view->setObjectName(u"pageView"_s);
    m_view->setDocument(m_document);
    m_view->setPageMode(QPdfView::PageMode::MultiPage);
    m_view->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    m_view->setPageSpacing(10);
    m_view->setDocumentMargins(QMargins(12, 12, 12, 12));
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setFocusPolicy(Qt::StrongFocus);
    QPalette viewPalette = m_view->palette();
    viewPalette.setColor(QPalette::Dark, PageBackground);
    m_view->setPalette(viewPalette);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    // The place read is a page and a share of it: kept through every new layout.
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, &PdfViewer::notePlace);
    connect(m_view->verticalScrollBar(), &QScrollBar::rangeChanged, this, &PdfViewer::restorePlace);

    m_message->setObjectName(u"messageLabel"_s);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setAutoFillBackground(true);
    QPalette messagePalette = m_message->palette();
    messagePalette.setColor(QPalette::Window, PageBackground);
    messagePalette.setColor(QPalette::WindowText, QColor(0x40, 0x40, 0x40));
    m_message->setPalette(messagePalette);
    QFont messageFont = m_message->font();
    messageFont.setPixelSize(18);
    m_message->setFont(messageFont);

    m_stack->addWidget(m_view);
    m_stack->addWidget(m_message);

    buildToolBar();
    buildSidePane();
    buildShortcuts();
    m_findBar = new PdfFindBar(this);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_sidePane);
    splitter->addWidget(m_stack);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setCollapsible(0, false);
    splitter->setCollapsible(1, false);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({ SidePaneWidth, 4 * SidePaneWidth });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_findBar);
    layout->addWidget(m_toolBar);
    layout->addWidget(splitter, 1);

    // The note: a rounded label over the top of the pages, faded out by its opacity.
    m_note = new QLabel(m_view);
    m_note->setObjectName(u"NoteLabel"_s);
    m_note->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_note->setStyleSheet(u"QLabel { background: rgba(40, 40, 40, 200); color: white; border-radius: 6px;"
                          " padding: 6px 14px; }"_s);
    QFont noteFont = m_note->font();
    noteFont.setPixelSize(15);
    m_note->setFont(noteFont);
    m_noteOpacity = new QGraphicsOpacityEffect(m_note);
    m_note->setGraphicsEffect(m_noteOpacity);
    m_noteFade = new QPropertyAnimation(m_noteOpacity, "opacity", this);
    m_noteFade->setDuration(NoteFadeMs);
    m_noteFade->setStartValue(1.0);
    m_noteFade->setEndValue(0.0);
    connect(m_noteFade, &QPropertyAnimation::finished, m_note, &QWidget::hide);
    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(NoteShownMs);
    connect(m_noteTimer, &QTimer::timeout, m_noteFade, [this] { m_noteFade->start(); });
    m_note->hide();

    setFocusProxy(m_view);

    // The page box and currentPageChanged follow the page at the top of the
    // view (PdfViewerPlace.cpp), not the page view's own current page, which
    // is the one under a line 40% down and so moves with the zoom.
    connect(m_view, &QPdfView::zoomModeChanged, this, &PdfViewer::updateZoomBox);
    connect(m_view, &QPdfView::zoomFactorChanged, this, &PdfViewer::updateZoomBox);

    updateControls();
}

PdfViewer::~PdfViewer()
{
    // The document reads from m_source until it is closed.
    m_document->close();
}

void PdfViewer::buildToolBar()
{
    m_toolBar->setObjectName(u"viewerToolBar"_s);
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    auto addAction = [this](QStyle::StandardPixmap icon, const QString& text, void (PdfViewer::*slot)()) {
        QAction* action = icon == QStyle::SP_CustomBase ? new QAction(text, this)
                                                        : new QAction(style()->standardIcon(icon), text, this);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, slot);
        m_toolBar->addAction(action);
        // Also on the viewer itself, so the keys work while the toolbar is hidden.
        this->addAction(action);
        return action;
    };

    m_firstAction = addAction(QStyle::SP_MediaSkipBackward, tr("首页"), &PdfViewer::firstPage);
    m_previousAction = addAction(QStyle::SP_ArrowLeft, tr("上一页"), &PdfViewer::previousPage);

    m_pageBox = new QSpinBox(m_toolBar);
    m_pageBox->setObjectName(u"pageBox"_s);
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setAlignment(Qt::AlignRight);
    m_pageBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_pageBox->setPrefix(tr("第 "));
    m_toolBar->addWidget(m_pageBox);
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int value) { goToPage(value - 1); });
    m_pageName = new QLabel(m_toolBar);
    m_pageName->setObjectName(u"pageNameLabel"_s);
    m_pageName->setContentsMargins(6, 0, 6, 0);
    m_pageNameAction = m_toolBar->addWidget(m_pageName); // a toolbar's widget shows and hides by its action

    m_nextAction = addAction(QStyle::SP_ArrowRight, tr("下一页"), &PdfViewer::nextPage);
    m_lastAction = addAction(QStyle::SP_MediaSkipForward, tr("末页"), &PdfViewer::lastPage);
    m_toolBar->addSeparator();

    m_zoomOutAction = addAction(QStyle::SP_CustomBase, tr("缩小"), &PdfViewer::zoomOut);
    m_zoomBox = new QComboBox(m_toolBar);
    m_zoomBox->setObjectName(u"zoomBox"_s);
    m_zoomBox->setEditable(true);
    m_zoomBox->setInsertPolicy(QComboBox::NoInsert);
    m_zoomBox->setMinimumContentsLength(5);
    for (qreal step : ZoomSteps)
        m_zoomBox->addItem(u"%1%"_s.arg(qRound(step * 100)), step);
    m_toolBar->addWidget(m_zoomBox);
    connect(
        m_zoomBox, &QComboBox::activated, this, [this](int index) { setZoom(m_zoomBox->itemData(index).toReal()); });
    connect(m_zoomBox->lineEdit(), &QLineEdit::editingFinished, this, &PdfViewer::zoomTextEntered);
    m_zoomInAction = addAction(QStyle::SP_CustomBase, tr("放大"), &PdfViewer::zoomIn);
    m_fitWidthAction = addAction(QStyle::SP_CustomBase, tr("适合宽度"), &PdfViewer::fitWidth);
    m_fitPageAction = addAction(QStyle::SP_CustomBase, tr("适合页面"), &PdfViewer::fitPage);
    m_fitWidthAction->setCheckable(true);
    m_fitPageAction->setCheckable(true);
}

void PdfViewer::buildSidePane()
{
    m_sidePane->setObjectName(u"sidePane"_s);
    m_sidePane->setMinimumWidth(120);
    m_sidePane->setDocumentMode(true);

    m_outlineView->setObjectName(u"outlineView"_s);
    m_outlineView->setModel(m_outline);
    m_outlineView->setHeaderHidden(true);
    m_outlineView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_outlineView->setFrameShape(QFrame::NoFrame);
    connect(m_outlineView, &QTreeView::clicked, this, &PdfViewer::outlineActivated);
    connect(m_outlineView, &QTreeView::activated, this, &PdfViewer::outlineActivated);

    m_thumbnailView->setObjectName(u"thumbnailView"_s);
    m_thumbnailView->setModel(m_thumbnails);
    m_thumbnailView->setViewMode(QListView::IconMode);
    m_thumbnailView->setFlow(QListView::TopToBottom);
    m_thumbnailView->setWrapping(false);
    m_thumbnailView->setMovement(QListView::Static);
    m_thumbnailView->setResizeMode(QListView::Adjust);
    m_thumbnailView->setUniformItemSizes(true);
    m_thumbnailView->setIconSize(m_thumbnails->thumbnailSize());
    m_thumbnailView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_thumbnailView->setFrameShape(QFrame::NoFrame);
    m_thumbnailView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_thumbnailView->setSpacing(ThumbnailSpacing);
    m_thumbnailView->viewport()->installEventFilter(this);
    connect(m_thumbnailView, &QListView::clicked, this, &PdfViewer::thumbnailActivated);
    connect(m_thumbnailView, &QListView::activated, this, &PdfViewer::thumbnailActivated);

    m_sidePane->addTab(m_outlineView, tr("目录"));
    m_sidePane->addTab(m_thumbnailView, tr("缩略图"));
}

void PdfViewer::buildShortcuts()
{
    m_previousAction->setShortcut(QKeySequence(Qt::Key_PageUp));
    m_nextAction->setShortcut(QKeySequence(Qt::Key_PageDown));
    m_firstAction->setShortcut(QKeySequence(Qt::Key_Home));
    m_lastAction->setShortcut(QKeySequence(Qt::Key_End));
    m_zoomInAction->setShortcuts({ QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal) });
    m_zoomOutAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    m_fitWidthAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

    // Find: on the viewer itself, so they work with the built-in parts hidden.
    auto addKey = [this](const QKeySequence& key, void (PdfViewer::*slot)()) {
        auto* action = new QAction(this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    addKey(QKeySequence::Find, &PdfViewer::openFindBar);
    addKey(QKeySequence(Qt::Key_F3), &PdfViewer::findNext);
    addKey(QKeySequence(Qt::SHIFT | Qt::Key_F3), &PdfViewer::findPrevious);
}

void PdfViewer::openFindBar()
{
    m_findBar->open();
}

void PdfViewer::findFrom(const QString& text, int page)
{
    m_findBar->findFrom(text, page);
}

void PdfViewer::setPageLabels(const QStringList& labels)
{
    m_pageLabels = hasDocument() && labels.size() == pageCount() ? PageNames::meaningful(labels) : QStringList();
    updateControls();
}

void PdfViewer::setFindSource(const QString& storeFile, const QString& password)
{
    m_findBar->setSource(storeFile, password);
}

void PdfViewer::findFirstForm(const QStringList& forms, int page)
{
    m_findBar->findFrom(forms, page);
}

void PdfViewer::findNext()
{
    m_findBar->findNext();
}

void PdfViewer::findPrevious()
{
    m_findBar->findPrevious();
}

void PdfViewer::showNote(const QString& text)
{
    m_noteFade->stop();
    m_noteOpacity->setOpacity(1.0);
    m_note->setText(text);
    m_note->adjustSize();
    placeNote();
    m_note->show();
    m_note->raise();
    m_noteTimer->start();
}

QString PdfViewer::note() const
{
    return m_note->isVisible() ? m_note->text() : QString();
}

void PdfViewer::placeNote()
{
    m_note->move((m_view->width() - m_note->width()) / 2, 16);
}

bool PdfViewer::OpenDocumentStream(const QByteArray& document, const QString& password)
{
    // A deep copy: `document` may merely wrap the caller's memory, which is
    // freed right after this call, and the document reads its bytes for as
    // long as it stays open.
    auto source = std::make_unique<QBuffer>();
    source->setData(document.constData(), document.size());
    return openSource(std::move(source), nullptr, password);
}

bool PdfViewer::OpenOwnedDocument(std::string&& document, const QString& password)
{
    // No copy: the viewer keeps the bytes themselves while the document is open.
    auto bytes = std::make_unique<std::string>(std::move(document));
    auto source = std::make_unique<QBuffer>();
    source->setData(QByteArray::fromRawData(bytes->data(), qsizetype(bytes->size())));
    return openSource(std::move(source), std::move(bytes), password);
}

bool PdfViewer::OpenDocumentDevice(std::unique_ptr<QIODevice> device, const QString& password)
{
    return openSource(std::move(device), nullptr, password);
}

bool PdfViewer::openSource(std::unique_ptr<QIODevice> source, std::unique_ptr<std::string> owned, const QString& password)
{
    if (!source->isOpen())
        source->open(QIODevice::ReadOnly);
    const bool empty = source->size() == 0;

    // The document shown so far is closed and let go first, so two big books
    // are never held at once: closing forgets the password, and load() would
    // close it after the password was set.
    closeDocument();
    m_document->setPassword(password);
    m_document->load(source.get());
    m_source = std::move(source);
    m_ownedBytes = std::move(owned);
    // From a random-access device (every one handed here) the load completes
    // within the call above. A load that would go on in the background (only a
    // network reply does) is not waited for: the document is refused below.
    if (m_document->status() != QPdfDocument::Status::Ready) {
        const QPdfDocument::Error error = m_document->error();
        closeDocument();
        if (empty)
            showMessage(tr("无法打开此文档：文件是空的"));
        else if (error == QPdfDocument::Error::IncorrectPassword && password.isEmpty())
            showMessage(tr("此文档已加密，请在“简介笔记”中填写文档密码"));
        else if (error == QPdfDocument::Error::IncorrectPassword)
            showMessage(tr("文档密码错误，无法打开此文档"));
        else if (error == QPdfDocument::Error::UnsupportedSecurityScheme)
            showMessage(tr("无法打开此文档：不支持它的加密方式"));
        else
            showMessage(tr("无法打开此文档：文件已损坏"));
        return false;
    }

    m_pageLabels.clear(); // given by setPageLabels
    m_message->clear();
    m_stack->setCurrentWidget(m_view);
    m_findBar->documentChanged();
    m_lastPageSignalled = -1;
    m_view->pageNavigator()->clear();
    m_place = { 0, 0.0 };
    ++m_documentSerial;
    pageMaybeChanged();
    m_view->verticalScrollBar()->setValue(0);
    m_view->horizontalScrollBar()->setValue(0);
    // The outline comes from the PDF worker after the pages show (setOutline).
    m_outline->clear();
    m_sidePane->setCurrentWidget(m_thumbnailView);
    m_thumbnailView->scrollToTop();
    updateControls();
    return true;
}

void PdfViewer::SetViewerPart(int part, bool on)
{
    switch (part) {
    case ToolBarPart:
        m_toolBar->setVisible(on);
        break;
    case SidePanePart:
        m_sidePane->setVisible(on);
        break;
    default:
        break;
    }
}

void PdfViewer::RunViewerCommand()
{
    fitWidth();
}

void PdfViewer::SetViewerFlag(bool flag)
{
    if (flag)
        return;
    // The open document stays: the reading page shows whatever the viewer holds.
    m_message->clear();
    m_stack->setCurrentWidget(m_view);
}

void PdfViewer::refuse(const QString& text)
{
    closeDocument();
    showMessage(text);
}

void PdfViewer::clear()
{
    closeDocument();
    // Nothing of the book stays: its outline, and the find bar's source and hits.
    m_outline->clear();
    m_findBar->documentChanged();
    m_message->clear();
    m_note->hide();
    m_stack->setCurrentWidget(m_view);
}

bool PdfViewer::isPartShown(int part) const
{
    switch (part) {
    case ToolBarPart:
        return !m_toolBar->isHidden();
    case SidePanePart:
        return !m_sidePane->isHidden();
    default:
        return false;
    }
}

bool PdfViewer::hasDocument() const
{
    return m_document->status() == QPdfDocument::Status::Ready;
}

int PdfViewer::pageCount() const
{
    return hasDocument() ? m_document->pageCount() : 0;
}

int PdfViewer::currentPage() const
{
    return hasDocument() ? std::max(m_place.page, 0) : 0;
}

QString PdfViewer::message() const
{
    return m_stack->currentWidget() == m_message ? m_message->text() : QString();
}

qreal PdfViewer::effectiveZoom() const
{
    const QPdfView::ZoomMode mode = m_view->zoomMode();
    if (mode == QPdfView::ZoomMode::Custom || !hasDocument())
        return m_view->zoomFactor();

    const QSizeF natural = m_document->pagePointSize(currentPage()) * screenResolution();
    if (natural.isEmpty())
        return m_view->zoomFactor();
    const QMargins margins = m_view->documentMargins();
    const QSizeF room(m_view->viewport()->width() - margins.left() - margins.right(),
        m_view->viewport()->height() - margins.top() - margins.bottom());
    const qreal widthScale = room.width() / natural.width();
    if (mode == QPdfView::ZoomMode::FitToWidth)
        return widthScale;
    return std::min(widthScale, room.height() / natural.height());
}

void PdfViewer::goToPage(int page)
{
    if (!hasDocument())
        return;
    page = std::clamp(page, 0, m_document->pageCount() - 1);
    QPdfPageNavigator* navigator = m_view->pageNavigator();
    navigator->jump(page, QPointF(), navigator->currentZoom());
    // The page's top at the view's top, whatever layout the jump met.
    m_place = { page, 0.0 };
    restorePlace();
    updatePageBox();
}

void PdfViewer::firstPage()
{
    goToPage(0);
}

void PdfViewer::previousPage()
{
    goToPage(currentPage() - 1);
}

void PdfViewer::nextPage()
{
    goToPage(currentPage() + 1);
}

void PdfViewer::lastPage()
{
    goToPage(pageCount() - 1);
}

void PdfViewer::zoomIn()
{
    const qreal current = effectiveZoom();
    const auto next
        = std::find_if(ZoomSteps.begin(), ZoomSteps.end(), [current](qreal step) { return step > current * 1.01; });
    setZoom(next == ZoomSteps.end() ? MaximumZoom : *next);
}

void PdfViewer::zoomOut()
{
    const qreal current = effectiveZoom();
    const auto previous
        = std::find_if(ZoomSteps.rbegin(), ZoomSteps.rend(), [current](qreal step) { return step < current * 0.99; });
    setZoom(previous == ZoomSteps.rend() ? MinimumZoom : *previous);
}

void PdfViewer::setZoom(qreal factor)
{
    factor = std::clamp(factor, MinimumZoom, MaximumZoom);
    const Place place = m_place;
    m_view->setZoomMode(QPdfView::ZoomMode::Custom);
    m_view->setZoomFactor(factor);
    keepPlace(place);
}

void PdfViewer::fitWidth()
{
    const Place place = m_place;
    m_view->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    keepPlace(place);
}

void PdfViewer::fitPage()
{
    const Place place = m_place;
    m_view->setZoomMode(QPdfView::ZoomMode::FitInView);
    keepPlace(place);
}

void PdfViewer::keepPlace(const Place& place)
{
    m_place = place;
    restorePlace();
    updateZoomBox();
}

QString PdfViewer::pageName(int page) const
{
    return PageNames::name(page, m_pageLabels.value(page));
}

void PdfViewer::closeDocument()
{
    m_place = {};
    ++m_documentSerial;
    m_pageLabels.clear();
    m_document->close();
    m_source.reset();
    m_ownedBytes.reset();
    m_view->pageNavigator()->clear();
    updateControls();
}

void PdfViewer::showMessage(const QString& text)
{
    m_message->setText(text);
    m_stack->setCurrentWidget(m_message);
}

void PdfViewer::updateControls()
{
    const bool open = hasDocument();
    for (QAction* action : { m_firstAction, m_previousAction, m_nextAction, m_lastAction, m_zoomOutAction,
             m_zoomInAction, m_fitWidthAction, m_fitPageAction })
        action->setEnabled(open);
    m_pageBox->setEnabled(open);
    m_zoomBox->setEnabled(open);
    updatePageBox();
    updateZoomBox();
}

void PdfViewer::updatePageBox()
{
    const QSignalBlocker blocker(m_pageBox);
    const int count = pageCount();
    m_pageBox->setRange(count > 0 ? 1 : 0, count);
    // Blank while no document is shown.
    m_pageBox->setSpecialValueText(count > 0 ? QString() : u" "_s);
    m_pageBox->setSuffix(tr(" / %1 页").arg(count));
    m_pageBox->setValue(count > 0 ? currentPage() + 1 : 0);
    // The book's own number beside the place in the file, named as the notes and the search name it.
    m_pageNameAction->setVisible(count > 0 && !m_pageLabels.isEmpty());
    m_pageName->setText(count > 0 && !m_pageLabels.isEmpty() ? pageName(currentPage()) : QString());
    // The thumbnail list follows the page shown.
    if (count > 0)
        m_thumbnailView->setCurrentIndex(m_thumbnails->index(currentPage()));
    m_previousAction->setEnabled(count > 0 && currentPage() > 0);
    m_firstAction->setEnabled(count > 0 && currentPage() > 0);
    m_nextAction->setEnabled(count > 0 && currentPage() < count - 1);
    m_lastAction->setEnabled(count > 0 && currentPage() < count - 1);
}

void PdfViewer::updateZoomBox()
{
    const QPdfView::ZoomMode mode = m_view->zoomMode();
    m_fitWidthAction->setChecked(mode == QPdfView::ZoomMode::FitToWidth);
    m_fitPageAction->setChecked(mode == QPdfView::ZoomMode::FitInView);
    const QSignalBlocker blocker(m_zoomBox);
    m_zoomBox->setCurrentIndex(-1);
    m_zoomBox->setEditText(hasDocument() ? u"%1%"_s.arg(qRound(effectiveZoom() * 100)) : QString());
}

void PdfViewer::zoomTextEntered()
{
    QString text = m_zoomBox->currentText().trimmed();
    if (text.endsWith(u'%'))
        text.chop(1);
    bool ok = false;
    const double percent = text.trimmed().toDouble(&ok);
    if (ok && percent > 0)
        setZoom(percent / 100.0);
    else
        updateZoomBox();
}

bool PdfViewer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        // The view is laid out anew (the first time the reading page shows, a
        // resize, a scroll bar that comes or goes): the place read comes back
        // once the pages are placed.
        if (watched == m_view || watched == m_view->viewport())
            QMetaObject::invokeMethod(this, &PdfViewer::restorePlace, Qt::QueuedConnection);
        if (watched == m_view && m_note->isVisible())
            placeNote();
        // A fitted zoom changes with the size of the view.
        if (watched == m_view && m_view->zoomMode() != QPdfView::ZoomMode::Custom)
            updateZoomBox();
        // One thumbnail a row, centred across the pane.
        if (watched == m_thumbnailView->viewport()) {
            const int width = std::max(m_thumbnailView->viewport()->width() - 2 * ThumbnailSpacing, 32);
            const QSize box(width, m_thumbnails->thumbnailSize().height());
            m_thumbnails->setThumbnailSize(box);
            m_thumbnailView->setIconSize(box);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PdfViewer::outlineActivated(const QModelIndex& index)
{
    if (index.isValid())
        goToPage(index.data(Qt::UserRole).toInt());
}

void PdfViewer::setOutline(const QList<OutlineEntry>& entries)
{
    m_outline->clear();
    // Each entry hangs under the last one shallower than itself.
    QList<QStandardItem*> parents { m_outline->invisibleRootItem() };
    for (const OutlineEntry& entry : entries) {
        const int level = std::clamp(entry.level, 0, int(parents.size()) - 1);
        parents.resize(level + 1);
        auto* item = new QStandardItem(entry.title);
        item->setData(entry.page, Qt::UserRole);
        item->setEditable(false);
        parents.last()->appendRow(item);
        parents << item;
    }
    if (m_outline->rowCount() > 0) {
        m_sidePane->setCurrentWidget(m_outlineView);
        m_outlineView->expandToDepth(0);
    }
}

int PdfViewer::outlineCount() const
{
    return m_outline->rowCount();
}

void PdfViewer::showChecking(const QString& text)
{
    closeDocument();
    if (!m_checking) {
        m_checking = new QWidget(this);
        m_checking->setObjectName(u"checkingPanel"_s);
        auto* layout = new QVBoxLayout(m_checking);
        m_checkingText = new QLabel(m_checking);
        m_checkingText->setObjectName(u"checkingText"_s);
        m_checkingText->setAlignment(Qt::AlignCenter);
        auto* cancel = new QPushButton(u"取消"_s, m_checking);
        cancel->setObjectName(u"cancelCheckButton"_s);
        connect(cancel, &QPushButton::clicked, this, &PdfViewer::checkCancelled);
        layout->addStretch();
        layout->addWidget(m_checkingText);
        layout->addWidget(cancel, 0, Qt::AlignHCenter);
        layout->addStretch();
        m_stack->addWidget(m_checking);
    }
    m_checkingText->setText(text);
    m_message->clear();
    m_stack->setCurrentWidget(m_checking);
}

void PdfViewer::thumbnailActivated(const QModelIndex& index)
{
    if (index.isValid())
        goToPage(index.row());
}
