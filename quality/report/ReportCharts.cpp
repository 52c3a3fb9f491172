#include "quality/report/ReportCharts.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QPainter>
#include <QPainterPath>

namespace kelvora::report_charts {

namespace {

struct Line {
    double value;
    QString label;
    QColor color;
};

const QColor kLimitColor(200, 30, 30);
const QColor kNominalColor(30, 110, 30);
const QColor kTuColor(220, 130, 0);
const QColor kCentreColor(40, 80, 200);

// A plot area with its value ranges, the title above it and horizontal reference lines.
class Plot {
public:
    Plot(QPainter& painter, const QRectF& area, const QString& title) : m_painter(painter) {
        const double text = painter.fontMetrics().height();
        painter.setPen(Qt::black); // not the colour the chart before ended with
        painter.drawText(QRectF(area.left(), area.top(), area.width(), text * 1.2), Qt::AlignLeft, title);
        m_rect = QRectF(area.left() + text * 4.5, area.top() + text * 1.4, area.width() - text * 9.5,
                        area.height() - text * 2.6);
    }

    /// The value ranges; lines widen the y range so all of them show.
    void setRanges(double xMin, double xMax, double yMin, double yMax, const std::vector<Line>& lines) {
        for (const Line& line : lines) {
            yMin = std::min(yMin, line.value);
            yMax = std::max(yMax, line.value);
        }
        if (!(yMax > yMin)) {
            yMin -= 0.5;
            yMax += 0.5;
        }
        const double pad = (yMax - yMin) * 0.05;
        // Counts and deviations start at zero; padding must not take the axis below it.
        m_yMin = yMin >= 0.0 && yMin - pad < 0.0 ? 0.0 : yMin - pad;
        m_yMax = yMax + pad;
        m_xMin = xMin;
        m_xMax = xMax > xMin ? xMax : xMin + 1.0;
        m_lines = lines;
    }

    QPointF at(double x, double y) const {
        return {m_rect.left() + (x - m_xMin) / (m_xMax - m_xMin) * m_rect.width(),
                m_rect.bottom() - (y - m_yMin) / (m_yMax - m_yMin) * m_rect.height()};
    }
    /// Counts from 0 to `top` exactly, labelled at every `step`.
    void setCounts(double xMin, double xMax, std::int64_t top, std::int64_t step) {
        setRanges(xMin, xMax, 0.0, static_cast<double>(top), {});
        m_yMin = 0.0;
        m_yMax = static_cast<double>(top);
        m_countStep = step;
    }

    const QRectF& rect() const { return m_rect; }
    double xMin() const { return m_xMin; }
    double xMax() const { return m_xMax; }

    /// The frame, the y range at the left and the reference lines with their labels at the right.
    void drawFrame(int decimals) {
        QPainter& p = m_painter;
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(m_rect);
        const double text = p.fontMetrics().height();
        std::vector<double> labelled{m_yMin, m_yMax};
        if (m_countStep > 0) // whole counts at every step
            for (double y = static_cast<double>(m_countStep); y < m_yMax; y += static_cast<double>(m_countStep))
                labelled.push_back(y);
        for (double y : labelled)
            p.drawText(QRectF(m_rect.left() - text * 4.5, at(0, y).y() - text / 2, text * 4.3, text),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(y, 'f', decimals));
        for (const Line& line : m_lines) {
            QPen pen(line.color, text * 0.08, Qt::DashLine);
            p.setPen(pen);
            const double y = at(0, line.value).y();
            p.drawLine(QPointF(m_rect.left(), y), QPointF(m_rect.right(), y));
            p.drawText(QRectF(m_rect.right() + text * 0.2, y - text / 2, text * 5, text),
                       Qt::AlignLeft | Qt::AlignVCenter, line.label);
        }
    }

    /// A series thinned to its lowest and highest value per column of the plot.
    void drawSeries(const std::vector<double>& values, const QColor& color) {
        if (values.empty())
            return;
        const std::size_t columns = std::max<std::size_t>(1, static_cast<std::size_t>(m_rect.width() / 3));
        QPainterPath path;
        bool started = false;
        auto point = [&](double x, double y) {
            if (started) {
                path.lineTo(at(x, y));
            } else {
                path.moveTo(at(x, y));
                started = true;
            }
        };
        if (values.size() <= columns) {
            for (std::size_t i = 0; i < values.size(); ++i)
                point(static_cast<double>(i), values[i]);
        } else {
            for (std::size_t c = 0; c < columns; ++c) {
                const std::size_t first = c * values.size() / columns, end = (c + 1) * values.size() / columns;
                const auto [low, high] = std::minmax_element(values.begin() + first, values.begin() + end);
                point(static_cast<double>(first), *low);
                point(static_cast<double>(end - 1), *high);
            }
        }
        m_painter.setPen(QPen(color, m_painter.fontMetrics().height() * 0.06));
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawPath(path);
    }

    void mark(double x, double y) {
        const double r = m_painter.fontMetrics().height() * 0.25;
        m_painter.setPen(QPen(kLimitColor, r * 0.3));
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawEllipse(at(x, y), r, r);
    }

private:
    QPainter& m_painter;
    QRectF m_rect;
    double m_xMin = 0, m_xMax = 1, m_yMin = 0, m_yMax = 1;
    std::int64_t m_countStep = 0;
    std::vector<Line> m_lines;
};

std::vector<Line> modelLines(const ModelReport& report) {
    std::vector<Line> lines;
    if (!report.inCatalogue)
        return lines;
    const QualitySettings& s = report.settings;
    if (s.upper > s.lower)
        lines.push_back({s.upper, QStringLiteral("上限"), kLimitColor});
    lines.push_back({s.lower, QStringLiteral("下限"), kLimitColor});
    lines.push_back({s.nominal, QStringLiteral("Qn"), kNominalColor});
    if (report.quantity) {
        const double toUnit = 1.0 / gramsPer(s.unit);
        lines.push_back({report.quantity->limits().tu1 * toUnit, QStringLiteral("TU1"), kTuColor});
        lines.push_back({report.quantity->limits().tu2 * toUnit, QStringLiteral("TU2"), kTuColor});
    }
    return lines;
}

int decimalsOf(const ModelReport& report) {
    return std::clamp(static_cast<int>(std::ceil(-std::log10(report.settings.division))), 0, 6);
}

} // namespace

void drawTrend(QPainter& painter, const QRectF& area, const ModelReport& report) {
    Plot plot(painter, area, QStringLiteral("趋势图（%1 件产品）").arg(report.count));
    plot.setRanges(0, static_cast<double>(std::max<std::int64_t>(report.count - 1, 1)), report.minimum, report.maximum,
                   modelLines(report));
    plot.drawFrame(decimalsOf(report));
    // Each stretch of products as a bar from its lightest to its heaviest weight.
    painter.setPen(QPen(kCentreColor, painter.fontMetrics().height() * 0.05));
    for (const TrendBucket& bucket : report.trend) {
        const double x = static_cast<double>(bucket.first) + static_cast<double>(bucket.count - 1) / 2.0;
        QPointF low = plot.at(x, bucket.minimum), high = plot.at(x, bucket.maximum);
        if (high.y() > low.y() - 1.0)
            high.setY(low.y() - 1.0);
        painter.drawLine(low, high);
    }
}

void drawMeans(QPainter& painter, const QRectF& area, const ModelReport& report) {
    const auto& points = report.chart.points();
    Plot plot(painter, area,
              QStringLiteral("均值图 X̄（子组 %1 件，%2 组）").arg(report.settings.subgroupSize).arg(points.size()));
    std::vector<double> means;
    for (const ChartPoint& point : points)
        means.push_back(point.mean);
    std::vector<Line> lines;
    if (const auto& limits = report.chart.limits())
        lines = {{limits->upper, QStringLiteral("UCL"), kLimitColor},
                 {limits->centre, QStringLiteral("X̿"), kCentreColor},
                 {limits->lower, QStringLiteral("LCL"), kLimitColor}};
    double low = 0.0, high = 0.0;
    if (!means.empty()) {
        const auto [a, b] = std::minmax_element(means.begin(), means.end());
        low = *a;
        high = *b;
    }
    plot.setRanges(0, static_cast<double>(std::max<std::size_t>(points.size(), 2) - 1), low, high, lines);
    plot.drawFrame(decimalsOf(report) + 1);
    plot.drawSeries(means, Qt::black);
    for (std::size_t i = 0; i < points.size(); ++i)
        if (!points[i].broken.empty())
            plot.mark(static_cast<double>(i), points[i].mean);
}

void drawDeviations(QPainter& painter, const QRectF& area, const ModelReport& report) {
    const auto& points = report.chart.points();
    Plot plot(painter, area, QStringLiteral("标准差图 s"));
    std::vector<double> sds;
    for (const ChartPoint& point : points)
        sds.push_back(point.sd);
    std::vector<Line> lines;
    if (const auto& limits = report.chart.limits())
        lines = {{limits->sUpper, QStringLiteral("UCL"), kLimitColor},
                 {limits->sBar, QStringLiteral("s̄"), kCentreColor},
                 {limits->sLower, QStringLiteral("LCL"), kLimitColor}};
    const double high = sds.empty() ? 0.0 : *std::max_element(sds.begin(), sds.end());
    plot.setRanges(0, static_cast<double>(std::max<std::size_t>(points.size(), 2) - 1), 0.0, high, lines);
    plot.drawFrame(decimalsOf(report) + 1);
    plot.drawSeries(sds, Qt::black);
    for (std::size_t i = 0; i < points.size(); ++i)
        if (points[i].sBeyond)
            plot.mark(static_cast<double>(i), points[i].sd);
}

void drawHistogram(QPainter& painter, const QRectF& area, const ModelReport& report) {
    const auto bins = report.histogram.bins(40);
    // The weights' span goes in the title line, which nothing else shares.
    const int decimals = decimalsOf(report) + 1;
    const QString span = bins.empty() ? QString()
                                      : QStringLiteral("，%1 至 %2")
                                            .arg(QString::number(bins.front().lower, 'f', decimals),
                                                 QString::number(bins.back().upper, 'f', decimals));
    Plot plot(painter, area, QStringLiteral("直方图（分度值 %1%2）").arg(report.settings.division).arg(span));
    if (bins.empty()) {
        plot.setCounts(0, 1, 1, 1);
        plot.drawFrame(0);
        return;
    }
    std::int64_t highest = 0;
    for (const auto& bin : bins)
        highest = std::max(highest, bin.count);
    std::vector<Line> limits = modelLines(report);
    double xMin = bins.front().lower, xMax = bins.back().upper;
    for (const Line& line : limits) {
        xMin = std::min(xMin, line.value);
        xMax = std::max(xMax, line.value);
    }
    const std::int64_t step = Histogram::countStep(highest);
    plot.setCounts(xMin, xMax, (highest + step - 1) / step * step, step);
    plot.drawFrame(0);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(QColor(120, 150, 210));
    for (const auto& bin : bins)
        painter.drawRect(QRectF(plot.at(bin.lower, static_cast<double>(bin.count)), plot.at(bin.upper, 0)));
    const double text = painter.fontMetrics().height();
    // Lines at one weight (a lower limit set at TU1) share one label; labels from left to right take
    // two rows in turn, so neighbours never overlap.
    std::sort(limits.begin(), limits.end(), [](const Line& a, const Line& b) { return a.value < b.value; });
    std::vector<Line> labelled;
    for (const Line& line : limits) {
        if (!labelled.empty() && std::fabs(plot.at(line.value, 0).x() - plot.at(labelled.back().value, 0).x()) < 1.0)
            labelled.back().label += u' ' + line.label;
        else
            labelled.push_back(line);
    }
    for (const Line& line : limits) {
        painter.setPen(QPen(line.color, text * 0.08, Qt::DashLine));
        const double x = plot.at(line.value, 0).x();
        painter.drawLine(QPointF(x, plot.rect().top()), QPointF(x, plot.rect().bottom()));
    }
    for (std::size_t i = 0; i < labelled.size(); ++i) {
        const double x = plot.at(labelled[i].value, 0).x();
        painter.setPen(labelled[i].color);
        painter.drawText(
            QRectF(x - text * 3, plot.rect().bottom() + text * 0.1 + text * static_cast<double>(i % 2), text * 6, text),
            Qt::AlignCenter, labelled[i].label);
    }
}

} // namespace kelvora::report_charts
