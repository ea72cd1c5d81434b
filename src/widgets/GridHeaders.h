#pragma once

// Headers for grids whose rows are read again often (a search, a refresh): a plain
// header measures its sections anew after every reset of the model.

#include <QHeaderView>
#include <QTableView>

#include <algorithm>

// A header that keeps its size hint while its number of sections, its font and its
// style stay; a subclass says how the hint is measured and when it is stale.
class SteadyHeader : public QHeaderView
{
protected:
    SteadyHeader(Qt::Orientation orientation, QTableView* view)
        : QHeaderView(orientation, view)
    {
        setSectionsClickable(true); // as the table's own headers
        setHighlightSections(true);
    }

    template <typename Measure> QSize keptHint(Measure&& measure) const
    {
        const int sections = count();
        if (sections != m_hintSections) {
            m_hint = measure(sections);
            m_hintSections = sections;
        }
        return m_hint;
    }
    void forgetHint() { m_hintSections = -1; }

    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            forgetHint();
        QHeaderView::changeEvent(event);
    }

private:
    mutable int m_hintSections = -1;
    mutable QSize m_hint;
};

// The row-number header. Its width is that of its widest number, measured on a few
// rows at each end (where the shortest and the longest numbers are) rather than on
// the two hundred rows a plain header lays out again after every reopening.
class RowHeader : public SteadyHeader
{
public:
    explicit RowHeader(QTableView* view)
        : SteadyHeader(Qt::Vertical, view)
    { }

    QSize sizeHint() const override
    {
        return keptHint([this](int sections) {
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
            return hint;
        });
    }
};

// The column titles. Their height depends on the titles, the font and the style,
// not on the rows: it is measured again only when one of those changes.
class ColumnHeader : public SteadyHeader
{
public:
    explicit ColumnHeader(QTableView* view)
        : SteadyHeader(Qt::Horizontal, view)
    {
        connect(this, &QHeaderView::sortIndicatorChanged, this, [this] { forgetHint(); });
    }

    void setModel(QAbstractItemModel* model) override
    {
        if (this->model())
            disconnect(this->model(), &QAbstractItemModel::headerDataChanged, this, nullptr);
        QHeaderView::setModel(model);
        if (model)
            connect(model, &QAbstractItemModel::headerDataChanged, this, [this] { forgetHint(); });
        forgetHint();
    }

    QSize sizeHint() const override
    {
        return keptHint([this](int) { return QHeaderView::sizeHint(); });
    }
};
