#pragma once

#include <QWidget>

class PdfViewer;
class QLabel;
class QLineEdit;
class BookFind;
class QTimer;
class QToolButton;

// The viewer's find bar: a line across the top of the viewer with the text to
// find, next / previous and the place of the current match. Matches of the
// pages in view are highlighted over the pages, the current one stronger.
// Enter and F3 go to the next match, Shift+Enter and Shift+F3 to the previous
// one (wrapping round the document), Escape closes the bar.
//
// The places come from the PDF worker reading the book's store file
// (BookFind), never from the window's PDF engine; a step asked for before the
// pages it needs are searched is taken as soon as they are.
class PdfFindBar : public QWidget
{
    Q_OBJECT
public:
    explicit PdfFindBar(PdfViewer* viewer);

    void open(); // shows the bar with its text selected, ready for typing
    void close(); // hides it and drops the highlights
    void findNext();
    void findPrevious();
    // Opens the bar holding text and goes to its first match from page on.
    void findFrom(const QString& text, int page);
    // The same for the first of several forms of a text (as typed, simplified,
    // traditional) that occurs on page, else the first one:
    // the bar holds the form the book itself uses.
    void findFrom(const QStringList& forms, int page);
    QString text() const;

    // The current match: its page (-1 when none) and its number on that page.
    int matchPage() const { return m_page; }
    int matchIndexOnPage() const { return m_index; }
    // The current match's rectangles on its page, in points.
    QList<QRectF> matchRectangles() const;
    QString statusText() const;
    // Whether the search is still working through the pages (the count may grow).
    bool isSearching() const;

    // A new document is shown: the search starts afresh, with nothing to
    // search until setSource() names the document's store file.
    void documentChanged();
    void setSource(const QString& storeFile, const QString& password);

    BookFind* search() const { return m_search; }

private:
    void textChanged();
    void step(int direction);
    void showMatch();
    void updateStatus();
    void searchChanged();
    void startSearch(const QStringList& forms, int page);

    PdfViewer* m_viewer;
    BookFind* m_search;
    QLineEdit* m_edit;
    QToolButton* m_previous;
    QToolButton* m_next;
    QLabel* m_status;
    QWidget* m_highlight;
    int m_page = -1;
    int m_index = -1;
    bool m_notFound = false;
    int m_pendingStep = 0; // a step waiting for pages not searched yet
};
