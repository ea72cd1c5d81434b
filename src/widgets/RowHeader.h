#pragma once

// The row-number header of a grid. Its width is that of its widest number, measured
// on a few rows at each end (where the shortest and the longest numbers are) rather
// than on the two hundred rows a plain header lays out again after every reopening.

#include <QHeaderView>
#include <QTableView>

#include <algorithm>

class RowHeader : public QHeaderView
{
public:
    explicit RowHeader(QTableView* view)
        : QHeaderView(Qt::Vertical, view)
    {
        setSectionsClickable(true); // as the table's own row header
        setHighlightSections(true);
    }

    QSize sizeHint() const override
    {
        // Asked several times each time the rows change; the answer depends only on
        // how many rows there are while the font and style stay.
        const int sections = count();
        if (sections == m_hintSections)
            return m_hint;
        constexpr int measured = 5;
        QSize hint(0, 0);
        const auto measure = [&](int section) {
            if (!isSectionHidden(section))
                hint = hint.expandedTo(sectionSizeFromContents(section));
        };
        for (int i = 0; i < std::min(measured, sections); ++i)
            measure(i);
        for (int i = std::max(measured, sections - measured); i < sections; ++i)
            measure(i);
        m_hintSections = sections;
        m_hint = hint;
        return hint;
    }

protected:
    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            m_hintSections = -1;
        QHeaderView::changeEvent(event);
    }

private:
    mutable int m_hintSections = -1;
    mutable QSize m_hint;
};
