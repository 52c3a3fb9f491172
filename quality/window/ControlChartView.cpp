#include "quality/window/ControlChartView.h"

#include <algorithm>

#include <QChart>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

namespace kelvora {

ControlChartView::ControlChartView(const QString& title, int window, QWidget* parent)
    : QChartView(parent), m_window(window), m_values(new QLineSeries), m_marks(new QScatterSeries), m_x(new QValueAxis),
      m_y(new QValueAxis) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->hide();
    chart->addAxis(m_x, Qt::AlignBottom);
    chart->addAxis(m_y, Qt::AlignLeft);
    m_x->setLabelFormat(QStringLiteral("%d"));
    m_x->setRange(0, window - 1);
    m_x->setTitleText(QStringLiteral("最近%1个").arg(window));
    for (QXYSeries* series : std::initializer_list<QXYSeries*>{m_values, m_marks}) {
        chart->addSeries(series);
        series->attachAxis(m_x);
        series->attachAxis(m_y);
    }
    m_marks->setColor(Qt::red);
    m_marks->setMarkerSize(8);
    connect(m_marks, &QScatterSeries::hovered, this, [this](const QPointF& point, bool state) {
        if (state)
            emit markHovered(point.x() + m_offset, point);
    });
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
    setMinimumSize(320, 200);
}

void ControlChartView::setLines(const std::vector<Line>& lines) {
    for (QLineSeries* line : m_lines) {
        chart()->removeSeries(line);
        delete line;
    }
    m_lines.clear();
    for (const Line& line : lines) {
        auto* series = new QLineSeries;
        series->setName(line.label);
        series->append(0, line.value); // across the window, whose axis never moves
        series->append(m_window - 1, line.value);
        QPen pen(line.color);
        pen.setStyle(Qt::DashLine);
        series->setPen(pen);
        chart()->addSeries(series);
        series->attachAxis(m_x);
        series->attachAxis(m_y);
        m_lines.push_back(series);
    }
    updateRanges();
}

void ControlChartView::append(double x, double value, bool marked) {
    m_pendingValues << QPointF(x, value);
    if (marked)
        m_pendingMarks << QPointF(x, value);
    m_low = m_any ? std::min(m_low, value) : value;
    m_high = m_any ? std::max(m_high, value) : value;
    m_any = true;
    // Only the newest window's worth can be shown: what waits for the drawing stays within it even when
    // the drawing is held up (a script on a virtual clock never lets it run).
    if (m_pendingValues.size() > 2 * m_window) {
        m_pendingValues.remove(0, m_pendingValues.size() - m_window);
        const double first = m_pendingValues.front().x();
        qsizetype dropped = 0;
        while (dropped < m_pendingMarks.size() && m_pendingMarks[dropped].x() < first)
            ++dropped;
        m_pendingMarks.remove(0, dropped);
    }
}

void ControlChartView::flush() {
    if (m_pendingValues.isEmpty())
        return;
    m_shown += m_pendingValues;
    m_shownMarks += m_pendingMarks;
    m_pendingValues.clear();
    m_pendingMarks.clear();
    if (m_shown.size() > m_window) {
        m_shown.remove(0, m_shown.size() - m_window);
        qsizetype dropped = 0;
        while (dropped < m_shownMarks.size() && m_shownMarks[dropped].x() < m_shown.front().x())
            ++dropped;
        m_shownMarks.remove(0, dropped);
    }
    draw();
}

void ControlChartView::setValues(const QList<QPointF>& values, const QList<QPointF>& marks) {
    m_pendingValues.clear();
    m_pendingMarks.clear();
    m_shown = values;
    m_shownMarks = marks;
    m_any = !values.isEmpty();
    for (qsizetype i = 0; i < values.size(); ++i) {
        m_low = i ? std::min(m_low, values[i].y()) : values[i].y();
        m_high = i ? std::max(m_high, values[i].y()) : values[i].y();
    }
    draw();
}

// The series are drawn against their place in the window (the x axis never moves: a change of an
// axis redraws every series of the chart), one replace each.
void ControlChartView::draw() {
    m_offset = m_shown.isEmpty() ? 0.0 : m_shown.front().x();
    auto placed = [this](const QList<QPointF>& points) {
        QList<QPointF> result;
        result.reserve(points.size());
        for (const QPointF& point : points)
            result << QPointF(point.x() - m_offset, point.y());
        return result;
    };
    updateRanges();
    m_values->replace(placed(m_shown));
    const QList<QPointF> marks = placed(m_shownMarks);
    if (marks != m_marks->points())
        m_marks->replace(marks);
}

int ControlChartView::markedShown() const {
    return static_cast<int>(m_shownMarks.size());
}

void ControlChartView::updateRanges() {
    double low = m_low, high = m_high;
    bool any = m_any;
    for (QLineSeries* line : m_lines) {
        const double value = line->at(0).y();
        low = any ? std::min(low, value) : value;
        high = any ? std::max(high, value) : value;
        any = true;
    }
    if (!any || !(high > low)) {
        low -= 0.5;
        high += 0.5;
    }
    const double pad = (high - low) * 0.05;
    // Deviations start at zero: the padding must not take the axis below it.
    const double bottom = low >= 0.0 && low - pad < 0.0 ? 0.0 : low - pad;
    if (m_y->min() != bottom || m_y->max() != high + pad)
        m_y->setRange(bottom, high + pad);
}

} // namespace kelvora
