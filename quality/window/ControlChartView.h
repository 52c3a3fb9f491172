#pragma once

#include <vector>

#include <QChartView>
#include <QString>

class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace kelvora {

/// One chart of the statistics window: a series of values against their number, the newest `window`
/// of them shown, horizontal reference lines (limits, centre lines) and marked points. Appended values
/// wait until flush(), which draws them all at once: each drawing of a line series costs about as much
/// as its length, whatever was added.
class ControlChartView : public QChartView {
    Q_OBJECT
public:
    ControlChartView(const QString& title, int window, QWidget* parent = nullptr);

    struct Line {
        double value;
        QString label;
        QColor color;
    };
    /// Replaces the reference lines.
    void setLines(const std::vector<Line>& lines);
    /// Appends the value numbered x (numbers rise by one); `marked` draws it red as well. Shown at flush().
    void append(double x, double value, bool marked);
    /// Draws the values appended since the last drawing, dropping the oldest beyond the window.
    void flush();
    /// Replaces the values and the marked points at once (a redraw).
    void setValues(const QList<QPointF>& values, const QList<QPointF>& marks);
    /// Number of marked points still shown.
    int markedShown() const;
    /// Values appended and not yet shown: at most twice the window, however long the drawing waits.
    int waiting() const { return static_cast<int>(m_pendingValues.size()); }

    /// A marked point under the mouse: its number. The x axis shows the place in the window.
    Q_SIGNAL void markHovered(double x, const QPointF& where);

private:
    void draw();
    void updateRanges();

    int m_window;
    QList<QPointF> m_pendingValues;
    QList<QPointF> m_pendingMarks;
    QList<QPointF> m_shown; // the values in the window, by their numbers
    QList<QPointF> m_shownMarks;
    double m_offset = 0.0; // the number of the window's first value
    QLineSeries* m_values;
    QScatterSeries* m_marks;
    std::vector<QLineSeries*> m_lines;
    QValueAxis* m_x;
    QValueAxis* m_y;
    double m_low = 0.0, m_high = 0.0;
    bool m_any = false;
};

} // namespace kelvora
