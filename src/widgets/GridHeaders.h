#pragma once

// Headers for grids whose rows are read again often (a search, a refresh): a plain
// header measures its sections anew after every reset of the model.

#include <QHeaderView>
#include <QTableView>

#include <algorithm>

// The row-number header. Its width is that of its widest number, measured on a few
// rows at each end (where the shortest and the longest numbers are) rather than on
// the two hundred rows a plain header lays out again after every reopening.
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

// The column titles. Their height depends on the titles, the font and the style,
// not on the rows: it is measured again only when one of those changes.
class ColumnHeader : public QHeaderView
{
public:
    explicit ColumnHeader(QTableView* view)
        : QHeaderView(Qt::Horizontal, view)
    {
        setSectionsClickable(true); // as the table's own column header
        setHighlightSections(true);
        connect(this, &QHeaderView::sortIndicatorChanged, this, [this] { m_hintSections = -1; });
    }

    void setModel(QAbstractItemModel* model) override
    {
        if (this->model())
            disconnect(this->model(), &QAbstractItemModel::headerDataChanged, this, nullptr);
        QHeaderView::setModel(model);
        if (model)
            connect(model, &QAbstractItemModel::headerDataChanged, this, [this] { m_hintSections = -1; });
        m_hintSections = -1;
    }

    QSize sizeHint() const override
    {
        const int sections = count();
        if (sections != m_hintSections) {
            m_hint = QHeaderView::sizeHint();
            m_hintSections = sections;
        }
        return m_hint;
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
