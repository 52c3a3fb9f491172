#pragma once

#include "quality/report/ShiftReport.h"

#include <QRectF>

class QPainter;

namespace kelvora {

/// The report's charts of one model, drawn into `area` (device units of the painter). Series longer
/// than the chart is wide are thinned to the lowest and highest value of each column, so no extreme is
/// lost.
namespace report_charts {

/// The weights product by product with the upper and lower limits, Qn, TU1 and TU2.
void drawTrend(QPainter& painter, const QRectF& area, const ModelReport& report);
/// The subgroup means with the centre line and limits; points that break a run rule are marked.
void drawMeans(QPainter& painter, const QRectF& area, const ModelReport& report);
/// The subgroup standard deviations with s̄ and the limits; points beyond them are marked.
void drawDeviations(QPainter& painter, const QRectF& area, const ModelReport& report);
/// The histogram of whole divisions with the model's limits, Qn, TU1 and TU2.
void drawHistogram(QPainter& painter, const QRectF& area, const ModelReport& report);

} // namespace report_charts
} // namespace kelvora
