#pragma once

#include <QWidget>

#include <memory>
#include <string>

class QAction;
class QBuffer;
class QIODevice;
class QComboBox;
class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QTimer;
class QLabel;
class QListView;
class QModelIndex;
class QStandardItemModel;
class QPushButton;
class QPdfDocument;
class QPdfView;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QTreeView;
class PdfFindBar;
class PdfThumbnailModel;

// The PDF viewer of the e-book reading page: pages scrolled one below the
// other on a light grey background, a toolbar for paging and zooming, and a
// side pane with the document's outline and page thumbnails.
//
// The four operations with capitalised names are the ones the e-book pages
// call; the rest serve the viewer's own controls and its tests.
//
// Keys while the viewer has the focus: PageUp / PageDown previous / next page,
// Home / End first / last page, Ctrl++ / Ctrl+- zoom in / out, Ctrl+0 back to
// the page width, Ctrl+F the find bar (F3 / Shift+F3 next / previous match).
// The find bar and these keys work whether or not the built-in parts are shown.
class PdfViewer : public QWidget
{
    Q_OBJECT

public:
    // The built-in parts SetViewerPart switches.
    enum Part
    {
        ToolBarPart = 0, // paging and zooming controls
        SidePanePart = 1, // outline and thumbnails
    };

    explicit PdfViewer(QWidget* parent = nullptr);
    ~PdfViewer() override;

    // Shows the PDF document held in `document`, opened with `password`
    // (empty when it needs none). Everything needed is copied during the call,
    // so the caller may free its memory as soon as it returns. True when the
    // document is open and shown; otherwise the viewer shows why it could not
    // open it (wrong or missing password, damaged file) in place of the pages.
    bool OpenDocumentStream(const QByteArray& document, const QString& password);
    // The same for bytes the viewer may keep: no copy is made (for a large
    // document just decrypted by AesDecryptFileToString).
    bool OpenOwnedDocument(std::string&& document, const QString& password);
    // The same for a random-access device the viewer reads from for as long as
    // the document stays open (an e-book read straight from its store file).
    bool OpenDocumentDevice(std::unique_ptr<QIODevice> device, const QString& password);

    // Shows or hides a built-in part: 0 the toolbar, 1 the side pane. Other
    // numbers are ignored.
    void SetViewerPart(int part, bool on);

    // Fits the page width into the viewer: the reading mode of the reading page.
    void RunViewerCommand();

    // false: back to the pages; a notice left by a failed open is cleared, and an
    // open document stays open (only reading another one replaces it).
    // true: keeps whatever is shown.
    void SetViewerFlag(bool flag);
    // Closes the document and shows `text` in its place: a document set aside
    // without being loaded.
    void refuse(const QString& text);
    // Closes the document and clears a notice: the viewer shows nothing (after a
    // restore, no document of the library before it stays open).
    void clear();

    // The outline the PDF worker read, in reading order with each entry's
    // depth: shown in the side pane. The viewer never asks the engine for it.
    struct OutlineEntry
    {
        QString title;
        int page = 0;
        int level = 0;
    };
    void setOutline(const QList<OutlineEntry>& entries);
    int outlineCount() const;

    // Where the find bar searches the document shown: its store file and
    // password, read by the PDF worker. Until it is set the bar finds nothing.
    void setFindSource(const QString& storeFile, const QString& password);

    // Shows `text` with a 取消 button in place of the pages while the book is
    // checked elsewhere; checkCancelled() when it is pressed.
    void showChecking(const QString& text);

    bool isPartShown(int part) const;
    bool hasDocument() const;
    int pageCount() const;
    // Zero-based number of the page at the top of the view.
    int currentPage() const;
    // The text shown in place of the pages; empty while none is shown.
    QString message() const;
    // The scale the pages are shown at, 1.0 being their natural size on screen.
    qreal effectiveZoom() const;

    QPdfDocument* document() const { return m_document; }
    PdfThumbnailModel* thumbnailModel() const { return m_thumbnails; }
    QPdfView* pageView() const { return m_view; }
    PdfFindBar* findBar() const { return m_findBar; }

    // The name of a page (from 0) as the program shows it everywhere:
    // "第 10 页", or "第 4 页（PDF 第 10 页）" where the book labels its pages.
    QString pageName(int page) const;
    // The book's own page labels, one per page; empty when it has none worth
    // showing. The PDF worker reads them (the outline job): the viewer never
    // asks its engine for them.
    QStringList pageLabels() const { return m_pageLabels; }
    void setPageLabels(const QStringList& labels);

    // Where a page is drawn, in the coordinates of the page view's viewport.
    QRect pageRect(int page) const;

    // A short note over the top of the page (such as "上次读到第 N 页") that
    // fades away after a few seconds.
    void showNote(const QString& text);
    // The note shown now; empty once it has faded.
    QString note() const;

signals:
    // The 取消 of showChecking().
    void checkCancelled();
    // The page at the top of the view changed (zero-based).
    void currentPageChanged(int page);

public slots:
    void goToPage(int page);
    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    void zoomIn();
    void zoomOut();
    void setZoom(qreal factor);
    void fitWidth();
    void fitPage();
    void openFindBar();
    // The find bar holding text, its first match from page on shown and highlighted.
    void findFrom(const QString& text, int page);
    // The first of forms that occurs on page (see PdfFindBar::findFrom).
    void findFirstForm(const QStringList& forms, int page);
    void findNext();
    void findPrevious();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolBar();
    void buildSidePane();
    void buildShortcuts();
    bool openSource(std::unique_ptr<QIODevice> source, std::unique_ptr<std::string> owned, const QString& password);
    void closeDocument();
    void showMessage(const QString& text);
    void updateControls();
    void updatePageBox();
    void updateZoomBox();
    void zoomTextEntered();
    void outlineActivated(const QModelIndex& index);
    void thumbnailActivated(const QModelIndex& index);
    void placeNote();

    // Where the reader is: a page and how far down it the view's top lies, as
    // a share of its height. Kept while the pages are laid out anew (zoom, a
    // resize, the side pane or toolbar shown or hidden), so the same line stays
    // at the top.
    struct Place
    {
        int page = -1;
        qreal share = 0.0;
    };
    // Each page's rectangle in the page view's own coordinates (before
    // scrolling), worked out for the present size and zoom and kept until they change.
    const QList<QRect>& layout() const;
    Place placeAt(int y) const;
    void notePlace();
    // Signals the page at the top when it is another one, and shows it in the page box.
    void pageMaybeChanged();
    void restorePlace();
    void keepPlace(const Place& place);

    QPdfDocument* m_document;
    std::unique_ptr<QIODevice> m_source; // the document's bytes, read by m_document for as long as it is open
    std::unique_ptr<std::string> m_ownedBytes; // what m_source reads, when handed over by OpenOwnedDocument
    QStandardItemModel* m_outline;
    QWidget* m_checking = nullptr;
    QLabel* m_checkingText = nullptr;
    PdfThumbnailModel* m_thumbnails;

    QToolBar* m_toolBar;
    QTabWidget* m_sidePane;
    QStackedWidget* m_stack;
    QPdfView* m_view;
    QLabel* m_message;
    QTreeView* m_outlineView;
    QListView* m_thumbnailView;

    QAction* m_firstAction = nullptr;
    QAction* m_previousAction = nullptr;
    QAction* m_nextAction = nullptr;
    QAction* m_lastAction = nullptr;
    QAction* m_zoomOutAction = nullptr;
    QAction* m_zoomInAction = nullptr;
    QAction* m_fitWidthAction = nullptr;
    QAction* m_fitPageAction = nullptr;
    QSpinBox* m_pageBox = nullptr;
    QComboBox* m_zoomBox = nullptr;
    QLabel* m_pageName = nullptr; // the book's own number of the page shown, where it has one
    QAction* m_pageNameAction = nullptr;
    QStringList m_pageLabels;

    PdfFindBar* m_findBar = nullptr;
    QLabel* m_note = nullptr;
    QGraphicsOpacityEffect* m_noteOpacity = nullptr;
    QPropertyAnimation* m_noteFade = nullptr;
    QTimer* m_noteTimer = nullptr;
    int m_lastPageSignalled = -1;
    Place m_place;
    bool m_restoring = false;
    struct LayoutKey
    {
        QSize viewport;
        int mode = -1;
        qreal zoom = 0;
        int document = 0; // m_documentSerial
        int pages = 0;
        bool operator==(const LayoutKey&) const = default;
    };
    int m_documentSerial = 0; // counts the documents opened and closed
    mutable LayoutKey m_layoutKey;
    mutable QList<QRect> m_layout;
};
