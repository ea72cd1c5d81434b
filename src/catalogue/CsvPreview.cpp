// What an import of a CSV file would do, as the user reads it before saying yes.

#include "catalogue/CatalogueCsv.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace CatalogueCsv {
namespace {

    // Shown in the box itself; the rest of each list goes to its details.
    constexpr int shownInText = 10;

    QString kindOf(CsvImportPlan::Layout layout)
    {
        switch (layout) {
        case CsvImportPlan::Layout::Goodreads:
            return u"Goodreads 导出的书目"_s;
        case CsvImportPlan::Layout::English:
            return u"英文列名的书目"_s;
        case CsvImportPlan::Layout::Catalogue:
            break;
        }
        return u"青禾书目"_s;
    }

    QString skippedLine(const QString& title)
    {
        return u"    《%1》"_s.arg(title);
    }

    QString rejectedLine(const CsvImportPlan::Rejected& row)
    {
        return u"    第 %1 行：%2"_s.arg(row.line).arg(row.reason);
    }

    QString duplicatesHeading(const CsvImportPlan& plan)
    {
        return u"跳过 %1 本书库中已有的图书 (ISBN 相同；没有 ISBN 的，书名相同)："_s.arg(plan.duplicates);
    }

} // namespace

QString previewText(const CsvImportPlan& plan)
{
    QStringList lines;
    lines << u"文件：%1 (%2，%3 编码)"_s.arg(QFileInfo(plan.path).fileName(), kindOf(plan.layout), plan.encoding);
    lines << (plan.toAdd > 0 ? u"将导入 %1 本图书。"_s.arg(plan.toAdd) : u"没有可以导入的图书。"_s);
    if (!plan.newCategories.isEmpty())
        lines << u"将新建 %1 个类别：%2。"_s.arg(plan.newCategories.size()).arg(plan.newCategories.join(u"、"_s));
    if (plan.duplicates > 0) {
        lines << duplicatesHeading(plan);
        for (int i = 0; i < plan.skipped.size() && i < shownInText; ++i)
            lines << skippedLine(plan.skipped[i]);
        if (plan.duplicates > shownInText)
            lines << u"    ……另有 %1 本"_s.arg(plan.duplicates - shownInText);
    }
    if (plan.rejectedCount > 0) {
        lines << u"有 %1 行无法导入："_s.arg(plan.rejectedCount);
        for (int i = 0; i < plan.rejected.size() && i < shownInText; ++i)
            lines << rejectedLine(plan.rejected[i]);
        if (plan.rejectedCount > shownInText)
            lines << u"    ……另有 %1 行"_s.arg(plan.rejectedCount - shownInText);
    }
    if (!plan.ignoredColumns.isEmpty())
        lines << u"不导入的列：%1。"_s.arg(plan.ignoredColumns.join(u"、"_s));
    if (plan.duplicates > shownInText || plan.rejectedCount > shownInText)
        lines << u"完整的列表见“显示详情”。"_s;
    if (plan.toAdd > 0)
        lines << u"确定要导入吗？"_s;
    return lines.join(u'\n');
}

QString previewDetails(const CsvImportPlan& plan)
{
    if (plan.duplicates <= shownInText && plan.rejectedCount <= shownInText)
        return QString();
    QStringList lines;
    if (plan.duplicates > 0) {
        lines << duplicatesHeading(plan);
        for (const QString& title : plan.skipped)
            lines << skippedLine(title);
        if (plan.duplicates > plan.skipped.size())
            lines << u"    ……另有 %1 本"_s.arg(plan.duplicates - plan.skipped.size());
    }
    if (plan.rejectedCount > 0) {
        lines << u"有 %1 行无法导入："_s.arg(plan.rejectedCount);
        for (const CsvImportPlan::Rejected& row : plan.rejected)
            lines << rejectedLine(row);
        if (plan.rejectedCount > plan.rejected.size())
            lines << u"    ……另有 %1 行"_s.arg(plan.rejectedCount - plan.rejected.size());
    }
    return lines.join(u'\n');
}

} // namespace CatalogueCsv
