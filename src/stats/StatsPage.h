#pragma once

#include "stats/Statistics.h"

#include <QWidget>

class Clock;
class Connection;
class QChart;
class QChartView;
class QGridLayout;
class QLabel;

// The page "统计": the library in charts, each with its numbers and a "保存图片".
class StatsPage : public QWidget
{
    Q_OBJECT
public:
    StatsPage(Connection& connection, const Clock& clock, QWidget* parent = nullptr);

    // Reads the counts again and redraws every chart.
    void refresh();
    // Builds the charts for counts already read (for measurements).
    void draw(const LibraryStats& stats);
    // Saves one chart as a PNG file the user names.
    void saveChart(int index);

    const LibraryStats& stats() const { return current; }
    QList<QChartView*> chartViews() const { return views; }

private:
    void addChart(QChart* chart);

    Connection& connection;
    const Clock& clock;
    LibraryStats current;
    QLabel* LblSummary;
    QGridLayout* grid;
    QList<QChartView*> views;
};
