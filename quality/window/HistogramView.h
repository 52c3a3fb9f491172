#pragma once

#include "quality/Histogram.h"

#include <vector>

#include <QChartView>

class QAreaSeries;
class QLineSeries;
class QValueAxis;

namespace kelvora {

/// The statistics window's histogram: bins of whole divisions as a filled outline, with vertical lines
/// at the model's limits, Qn, TU1 and TU2.
class HistogramView : public QChartView {
    Q_OBJECT
public:
    explicit HistogramView(QWidget* parent = nullptr);

    struct Marker {
        double value;
        QString label;
        QColor color;
    };
    void setMarkers(const std::vector<Marker>& markers);
    /// Redraws the bins (at most 40).
    void show(const Histogram& histogram);
    /// The bins drawn last.
    const std::vector<Histogram::Bin>& bins() const { return m_bins; }
    /// The count axis.
    const QValueAxis* countAxis() const { return m_y; }

private:
    QLineSeries* m_outline;
    QAreaSeries* m_area;
    std::vector<QLineSeries*> m_markers;
    std::vector<Histogram::Bin> m_bins;
    QValueAxis* m_x;
    QValueAxis* m_y;
};

} // namespace kelvora
