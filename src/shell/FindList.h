#pragma once

#include "search/FindHit.h"

#include <QStandardItemModel>
#include <QStyledItemDelegate>

// The results of the search box as a tree: the groups "纸书", "电子书" and
// "电子书全文" with their hits, at most 50 each until "还有 N 条" is opened.
// A hit's display text is its book's title; its field and snippet (the match
// marked) are kept in roles of their own and painted by FindListDelegate.
class FindListModel : public QStandardItemModel
{
    Q_OBJECT
public:
    enum Role
    {
        FieldRole = Qt::UserRole + 1,
        SnippetRole,
        MarkStartRole,
        MarkLengthRole,
        KindRole // what a row is: Kind
    };
    enum class Kind
    {
        Group,
        Hit,
        More
    };
    static constexpr int shownPerGroup = 50;

    explicit FindListModel(QObject* parent = nullptr);

    void setResults(const FindResults& results);
    const FindResults& results() const { return m_results; }
    int hitCount() const;

    // The hit a row stands for (null for a group or "还有 N 条").
    const FindHit* hit(const QModelIndex& index) const;
    static Kind kind(const QModelIndex& index);
    // Shows the rest of a group in place of its "还有 N 条" row.
    void expandMore(const QModelIndex& moreRow);

private:
    void fillGroup(QStandardItem* group, const QList<FindHit>& hits, int from, int to);
    const QList<FindHit>* groupHits(int groupRow) const;

    FindResults m_results;
    QList<const QList<FindHit>*> m_groups; // the hits behind each top-level row
};

class FindListDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
