#include "quality/window/HistogramView.h"

#include <algorithm>

#include <QAreaSeries>
#include <QChart>
#include <QLineSeries>
#include <QValueAxis>

namespace kelvora {

HistogramView::HistogramView(QWidget* parent)
    : QChartView(parent), m_outline(new QLineSeries), m_x(new QValueAxis), m_y(new QValueAxis) {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("直方图"));
    chart->legend()->hide();
    m_area = new QAreaSeries(m_outline);
    m_outline->setParent(m_area); // the area draws it but does not own it
    m_area->setColor(QColor(120, 150, 210));
    chart->addSeries(m_area);
    chart->addAxis(m_x, Qt::AlignBottom);
    chart->addAxis(m_y, Qt::AlignLeft);
    m_area->attachAxis(m_x);
    m_area->attachAxis(m_y);
    m_y->setLabelFormat(QStringLiteral("%d"));
    m_y->setTickType(QValueAxis::TicksDynamic);
    m_y->setTickAnchor(0);
    setChart(chart);
    setMinimumSize(320, 200);
}

void HistogramView::setMarkers(const std::vector<Marker>& markers) {
    for (QLineSeries* line : m_markers) {
        chart()->removeSeries(line);
        delete line;
    }
    m_markers.clear();
    for (const Marker& marker : markers) {
        auto* line = new QLineSeries;
        line->setName(marker.label);
        QPen pen(marker.color);
        pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        chart()->addSeries(line);
        line->attachAxis(m_x);
        line->attachAxis(m_y);
        line->append(marker.value, 0);
        line->append(marker.value, 1);
        m_markers.push_back(line);
    }
}

void HistogramView::show(const Histogram& histogram) {
    m_bins = histogram.bins(40);
    QList<QPointF> outline;
    std::int64_t highest = 1;
    double low = 0.0, high = 1.0;
    if (!m_bins.empty()) {
        low = m_bins.front().lower;
        high = m_bins.back().upper;
    }
    for (const auto& bin : m_bins) {
        outline << QPointF(bin.lower, 0) << QPointF(bin.lower, static_cast<double>(bin.count))
                << QPointF(bin.upper, static_cast<double>(bin.count)) << QPointF(bin.upper, 0);
        highest = std::max(highest, bin.count);
    }
    m_outline->replace(outline);
    for (QLineSeries* line : m_markers) {
        const double x = line->at(0).x();
        line->replace(1, QPointF(x, static_cast<double>(highest)));
        low = std::min(low, x);
        high = std::max(high, x);
    }
    const double pad = (high - low) * 0.03;
    m_x->setRange(low - pad, high + pad);
    // Whole counts only: a step of 1, 2 or 5 × 10^k with at most 5 steps, the top on a step.
    const std::int64_t step = Histogram::countStep(highest);
    m_y->setTickInterval(static_cast<double>(step));
    m_y->setRange(0, static_cast<double>((highest + step - 1) / step * step));
}

} // namespace kelvora
