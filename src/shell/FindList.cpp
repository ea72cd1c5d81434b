#include "shell/FindList.h"

#include <QApplication>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

QString groupCaption(FindHit::Group group, qsizetype count)
{
    static const char16_t* names[] = { u"纸书", u"电子书", u"电子书全文" };
    return u"%1（%2）"_s.arg(QString::fromUtf16(names[int(group)])).arg(count);
}

} // namespace

FindListModel::FindListModel(QObject* parent)
    : QStandardItemModel(parent)
{ }

void FindListModel::setResults(const FindResults& results)
{
    clear();
    m_results = results;
    m_groups.clear();
    const std::pair<FindHit::Group, const QList<FindHit>*> groups[] = {
        { FindHit::Group::Paper, &m_results.paper },
        { FindHit::Group::Ebook, &m_results.ebook },
        { FindHit::Group::FullText, &m_results.fullText },
    };
    for (const auto& [group, hits] : groups) {
        if (hits->isEmpty())
            continue;
        auto* item = new QStandardItem(groupCaption(group, hits->size()));
        item->setData(int(Kind::Group), KindRole);
        item->setEditable(false);
        item->setSelectable(false);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        appendRow(item);
        m_groups << hits;
        fillGroup(item, *hits, 0, int(qMin<qsizetype>(hits->size(), shownPerGroup)));
    }
}

void FindListModel::fillGroup(QStandardItem* group, const QList<FindHit>& hits, int from, int to)
{
    for (int i = from; i < to; ++i) {
        const FindHit& found = hits.at(i);
        auto* item = new QStandardItem(found.title);
        item->setEditable(false);
        item->setData(int(Kind::Hit), KindRole);
        item->setData(found.field, FieldRole);
        item->setData(found.snippet, SnippetRole);
        item->setData(qlonglong(found.markStart), MarkStartRole);
        item->setData(qlonglong(found.markLength), MarkLengthRole);
        item->setToolTip(found.title + u"\n"_s + found.field + u"："_s + found.snippet);
        group->appendRow(item);
    }
    if (to < hits.size()) {
        auto* more = new QStandardItem(u"还有 %1 条"_s.arg(hits.size() - to));
        more->setEditable(false);
        more->setData(int(Kind::More), KindRole);
        group->appendRow(more);
    }
}

int FindListModel::hitCount() const
{
    return int(m_results.paper.size() + m_results.ebook.size() + m_results.fullText.size());
}

const QList<FindHit>* FindListModel::groupHits(int groupRow) const
{
    return groupRow >= 0 && groupRow < m_groups.size() ? m_groups.at(groupRow) : nullptr;
}

FindListModel::Kind FindListModel::kind(const QModelIndex& index)
{
    return Kind(index.data(KindRole).toInt());
}

const FindHit* FindListModel::hit(const QModelIndex& index) const
{
    if (!index.isValid() || !index.parent().isValid() || kind(index) != Kind::Hit)
        return nullptr;
    const QList<FindHit>* hits = groupHits(index.parent().row());
    return hits && index.row() < hits->size() ? &hits->at(index.row()) : nullptr;
}

void FindListModel::expandMore(const QModelIndex& moreRow)
{
    if (!moreRow.parent().isValid() || kind(moreRow) != Kind::More)
        return;
    QStandardItem* group = itemFromIndex(moreRow.parent());
    const QList<FindHit>* hits = groupHits(moreRow.parent().row());
    const int shown = moreRow.row();
    group->removeRow(shown);
    fillGroup(group, *hits, shown, int(hits->size()));
}

void FindListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (FindListModel::kind(index) != FindListModel::Kind::Hit) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString title = opt.text;
    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const bool selected = opt.state & QStyle::State_Selected;
    const QColor text = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QRect area = opt.rect.adjusted(4, 0, -4, 0);
    painter->save();
    painter->setClipRect(area);
    QFont bold = opt.font;
    bold.setBold(true);
    int x = area.left();
    const auto draw = [&](const QString& piece, const QFont& font, const QColor& color, const QColor& back = {}) {
        const QFontMetrics metrics(font);
        const int width = metrics.horizontalAdvance(piece);
        if (back.isValid())
            painter->fillRect(QRect(x, area.top() + 2, width, area.height() - 4), back);
        painter->setFont(font);
        painter->setPen(color);
        painter->drawText(QRect(x, area.top(), width + 1, area.height()), Qt::AlignVCenter | Qt::TextSingleLine, piece);
        x += width;
    };
    draw(title, bold, text);
    draw(u"  "_s + index.data(FindListModel::FieldRole).toString() + u"："_s, opt.font,
        selected ? text : opt.palette.color(QPalette::PlaceholderText));
    const QString snippet = index.data(FindListModel::SnippetRole).toString();
    const qsizetype start = index.data(FindListModel::MarkStartRole).toLongLong();
    const qsizetype length = index.data(FindListModel::MarkLengthRole).toLongLong();
    if (start < 0 || start + length > snippet.size()) {
        draw(snippet, opt.font, text);
    } else {
        draw(snippet.left(start), opt.font, text);
        draw(snippet.mid(start, length), bold, QColor(Qt::black), QColor(255, 220, 80));
        draw(snippet.mid(start + length), opt.font, text);
    }
    painter->restore();
}

QSize FindListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(qMax(size.height(), option.fontMetrics.height() + 8));
    return size;
}
