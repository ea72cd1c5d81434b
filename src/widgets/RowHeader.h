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
        constexpr int measured = 5;
        const int sections = count();
        QSize hint(0, 0);
        const auto measure = [&](int section) {
            if (!isSectionHidden(section))
                hint = hint.expandedTo(sectionSizeFromContents(section));
        };
        for (int i = 0; i < std::min(measured, sections); ++i)
            measure(i);
        for (int i = std::max(measured, sections - measured); i < sections; ++i)
            measure(i);
        return hint;
    }
};
