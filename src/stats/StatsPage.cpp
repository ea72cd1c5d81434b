#include "stats/StatsPage.h"

#include "data/Clock.h"
#include "data/Connection.h"
#include "platform/AppPaths.h"
#include "platform/DataFolder.h"
#include "platform/SafeFile.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/SizeText.h"
#include "widgets/Titles.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPieSeries>
#include <QPieSlice>
#include <QPushButton>
#include <QScrollArea>
#include <QValueAxis>
#include <QVBoxLayout>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int chartHeight = 300;
// The width of the plot of a chart in half a page at 1366 × 768, about: labels
// that do not fit side by side in it stand upright.
constexpr int uprightBelow = 480;

QChart* barChart(const QString& title, const Counts& counts, const QColor& colour,
    const std::function<QString(const QString&)>& label = {})
{
    auto* set = new QBarSet(title);
    set->setColor(colour);
    set->setLabelColor(Qt::black); // the theme's white is lost on the white above the bars
    QStringList labels;
    qint64 top = 0;
    for (const auto& [name, count] : counts.rows) {
        *set << qreal(count);
        labels << (label ? label(name) : name);
        top = std::max(top, count);
    }
    auto* series = new QBarSeries;
    series->append(set);
    series->setLabelsVisible(true); // each bar shows its number
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    series->setLabelsPrecision(12);
    auto* chart = new QChart;
    chart->setTitle(u"%1（共 %2）"_s.arg(title).arg(counts.total()));
    chart->addSeries(series);
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    if (labels.size() > 12) { // two years of months
        QFont small = x->labelsFont();
        small.setPixelSize(10);
        x->setLabelsFont(small);
    }
    // Names wider than their bar would be cut to "…": they stand upright instead.
    const QFontMetrics metrics(x->labelsFont());
    int widest = 0;
    for (const QString& text : std::as_const(labels))
        widest = std::max(widest, metrics.horizontalAdvance(text));
    if (!labels.isEmpty() && widest + 6 > uprightBelow / int(labels.size())) {
        x->setLabelsAngle(-90);
        x->setTruncateLabels(false);
        chart->setProperty("labelRoom", widest); // the chart grows by the longest label's length
    }
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    // Whole numbers only: a step of 1, 2, 5, 10, 20, 50... that gives at most six ticks.
    qint64 step = 1;
    for (qint64 factor = 1; top / step > 5; factor *= 10) {
        for (qint64 m : { 1, 2, 5 }) {
            step = m * factor;
            if (top / step <= 5)
                break;
        }
    }
    auto* y = new QValueAxis;
    // Room above the highest bar for its number.
    y->setRange(0, double((top + top / 8 + 1 + step - 1) / step * step));
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0);
    y->setTickInterval(double(step));
    y->setLabelFormat(u"%.0f"_s);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    return chart;
}

QChart* pieChart(const QString& title, const Counts& counts)
{
    auto* series = new QPieSeries;
    for (const auto& [label, count] : counts.rows) {
        if (count == 0)
            continue;
        QPieSlice* slice = series->append(u"%1 %2"_s.arg(label).arg(count), qreal(count));
        slice->setLabelVisible(true);
    }
    auto* chart = new QChart;
    chart->setTitle(u"%1（共 %2）"_s.arg(title).arg(counts.total()));
    chart->addSeries(series);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setAnimationOptions(QChart::NoAnimation);
    return chart;
}

// The largest rows, the rest summed as "其他".
Counts top(const Counts& counts, int keep)
{
    if (counts.rows.size() <= keep)
        return counts;
    Counts shown;
    qint64 rest = 0;
    for (int i = 0; i < counts.rows.size(); ++i) {
        if (i < keep - 1)
            shown.rows.append(counts.rows[i]);
        else
            rest += counts.rows[i].second;
    }
    shown.rows.append({ u"其余"_s, rest });
    return shown;
}

} // namespace

StatsPage::StatsPage(Connection& connection, const Clock& clock, QWidget* parent)
    : QWidget(parent)
    , connection(connection)
    , clock(clock)
    , LblSummary(new QLabel(this))
{
    setObjectName(u"StatsPage"_s);
    LblSummary->setObjectName(u"LblSummary"_s);
    QFont big = LblSummary->font();
    big.setPixelSize(16);
    LblSummary->setFont(big);
    auto* body = new QWidget;
    grid = new QGridLayout(body);
    grid->setSpacing(8);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(u"statsScroll"_s);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(body);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(LblSummary);
    layout->addWidget(scroll, 1);
}

void StatsPage::refresh()
{
    draw(Statistics::collect(connection, clock.today(), AppPaths::path(u"corvina"_s)));
}

void StatsPage::draw(const LibraryStats& stats)
{
    current = stats;
    setUpdatesEnabled(false);
    while (QLayoutItem* item = grid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    views.clear();
    LblSummary->setText(u"纸书 %1 本，借出未还 %2 本；电子书 %3 本，加密书库占用 %4；回收站 %5 项，占用 %6"_s
            .arg(stats.books)
            .arg(stats.booksOut)
            .arg(stats.ebooks)
            .arg(sizeText(stats.storeBytes))
            .arg(stats.binItems)
            .arg(sizeText(stats.binBytes)));
    addChart(pieChart(u"按类别"_s, top(stats.byCategory, 10)));
    addChart(pieChart(u"按阅读状态"_s, stats.byStatus));
    addChart(barChart(u"按存放地点"_s, top(stats.byPlace, 12), QColor(0x2e, 0x8b, 0x57)));
    // Each month with its year ("2025-03"), upright so that the 24 of them are read whole.
    const auto& months = stats.finishedByMonth.rows;
    const QString span = months.isEmpty() ? QString() : u"，%1 至 %2"_s.arg(months.first().first, months.last().first);
    addChart(barChart(u"近两年每月读完"_s + span, stats.finishedByMonth, QColor(0x46, 0x82, 0xb4)));
    addChart(barChart(u"每年读完"_s, stats.finishedByYear, QColor(0x41, 0x69, 0xe1)));
    addChart(barChart(u"每年入库"_s, stats.addedByYear, QColor(0xd2, 0x69, 0x1e)));
    addChart(barChart(u"借阅人（借阅次数）"_s, top(stats.loansByBorrower, 12), QColor(0xb2, 0x22, 0x22)));
    addChart(pieChart(u"电子书阅读状态"_s, stats.ebooksByStatus));
    setUpdatesEnabled(true);
}

void StatsPage::addChart(QChart* chart)
{
    const int index = int(views.size());
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new QChartView(chart, box);
    view->setObjectName(u"Chart%1"_s.arg(index));
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(chartHeight + chart->property("labelRoom").toInt());
    layout->addWidget(view, 1);
    auto* save = new QPushButton(u"保存图片"_s, box);
    save->setObjectName(u"BtnSaveChart%1"_s.arg(index));
    connect(save, &QPushButton::clicked, this, ErrorHandler::guarded([this, index] { saveChart(index); }));
    layout->addWidget(save, 0, Qt::AlignRight);
    grid->addWidget(box, index / 2, index % 2);
    views << view;
}

void StatsPage::saveChart(int index)
{
    QChartView* view = views.value(index);
    if (!view)
        return;
    const QString suggested = QDir::home().filePath(view->chart()->title().section(u'（', 0, 0) + u".png"_s);
    QString path = Prompt::getSaveFileName(this, u"保存图片"_s, suggested, u"PNG 图片 (*.png)"_s);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty()) {
        path += u".png"_s; // as the filter says; a picture without it opens nowhere
        // The dialog asked about the name as typed, not about this one.
        if (QFileInfo::exists(path)
            && Prompt::message(this, QMessageBox::Question, u"保存图片"_s,
                   u"%1 已存在。要替换它吗？"_s.arg(QDir::toNativeSeparators(path)), QMessageBox::Yes | QMessageBox::No)
                != QMessageBox::Yes)
            return;
    }
    DataFolder::refuseProgramFile(path); // a picture never takes the place of the library, the lock...
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !view->grab().save(&buffer, "PNG")) {
        Prompt::message(this, QMessageBox::Warning, Titles::hint(), u"无法保存图片 %1"_s.arg(QDir::toNativeSeparators(path)));
        return;
    }
    SafeFile::writeFileAtomically(path, png);
}
