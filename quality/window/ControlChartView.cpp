#include "quality/window/ControlChartView.h"

#include <algorithm>

#include <QChart>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

namespace kelvora {

namespace {
// Reference lines reach far past any product number, so they never need moving.
constexpr double kLineEnd = 1e12;
} // namespace

ControlChartView::ControlChartView(const QString& title, int window, QWidget* parent)
    : QChartView(parent), m_window(window), m_values(new QLineSeries), m_marks(new QScatterSeries), m_x(new QValueAxis),
      m_y(new QValueAxis) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->hide();
    chart->addAxis(m_x, Qt::AlignBottom);
    chart->addAxis(m_y, Qt::AlignLeft);
    m_x->setLabelFormat(QStringLiteral("%d"));
    for (QXYSeries* series : std::initializer_list<QXYSeries*>{m_values, m_marks}) {
        chart->addSeries(series);
        series->attachAxis(m_x);
        series->attachAxis(m_y);
    }
    m_marks->setColor(Qt::red);
    m_marks->setMarkerSize(8);
    connect(m_marks, &QScatterSeries::hovered, this, [this](const QPointF& point, bool state) {
        if (state)
            emit markHovered(point.x(), point);
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
        series->append(-kLineEnd, line.value);
        series->append(kLineEnd, line.value);
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
}

void ControlChartView::flush() {
    if (m_pendingValues.isEmpty())
        return;
    m_values->append(m_pendingValues);
    m_marks->append(m_pendingMarks);
    m_pendingValues.clear();
    m_pendingMarks.clear();
    const int surplus = m_values->count() - m_window;
    if (surplus > 0) {
        const double oldest = m_values->at(surplus - 1).x();
        m_values->removePoints(0, surplus);
        int marks = 0;
        while (marks < m_marks->count() && m_marks->at(marks).x() <= oldest)
            ++marks;
        if (marks > 0)
            m_marks->removePoints(0, marks);
    }
    updateRanges();
}

void ControlChartView::setValues(const QList<QPointF>& values, const QList<QPointF>& marks) {
    m_pendingValues.clear();
    m_pendingMarks.clear();
    m_values->replace(values);
    m_marks->replace(marks);
    m_any = !values.isEmpty();
    for (qsizetype i = 0; i < values.size(); ++i) {
        m_low = i ? std::min(m_low, values[i].y()) : values[i].y();
        m_high = i ? std::max(m_high, values[i].y()) : values[i].y();
    }
    updateRanges();
}

int ControlChartView::markedShown() const {
    return m_marks->count();
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
    m_y->setRange(low - pad, high + pad);
    const double first = m_values->count() ? m_values->at(0).x() : 0.0;
    const double last = m_values->count() ? m_values->at(m_values->count() - 1).x() : 1.0;
    m_x->setRange(first, std::max(last, first + 1.0));
}

} // namespace kelvora
