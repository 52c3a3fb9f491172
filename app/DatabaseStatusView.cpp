#include "app/DatabaseStatusView.h"

#include "station/StationRuntime.h"

namespace kelvora {

DatabaseStatusView::DatabaseStatusView(const StationRuntime& runtime, QLabel& pane, QLabel& marquee,
                                       std::function<bool()> indicatorSilent)
    : m_runtime(runtime), m_pane(pane), m_marquee(marquee), m_indicatorSilent(std::move(indicatorSilent)) {
    m_pane.setVisible(false);
    connect(&m_timer, &QTimer::timeout, this, [this] { refresh(); });
    m_timer.start(1000);
}

void DatabaseStatusView::refresh() {
    const RecordingStatus status = m_runtime.recordingStatus();
    const QString text = QString::fromStdString(status.offlineText());
    if (text.isEmpty()) {
        m_pane.clear();
        m_pane.setVisible(false);
    } else {
        m_pane.setText(text);
        m_pane.setToolTip(QString::fromStdString(status.reason));
        // The whole text, however narrow the window.
        m_pane.setMinimumWidth(m_pane.fontMetrics().horizontalAdvance(text) + 16);
        m_pane.setVisible(true);
    }
    const bool wanted = !text.isEmpty() && status.offlineMs >= kMarqueeAfterMs && !m_indicatorSilent();
    if (wanted) {
        if (!m_marqueeTaken)
            m_caption = m_marquee.text();
        m_marqueeTaken = true;
        m_marquee.setText(text);
    } else if (m_marqueeTaken) {
        m_marqueeTaken = false;
        // The silence keeps the marquee it took over; otherwise the caption comes back.
        if (!m_indicatorSilent())
            m_marquee.setText(m_caption);
    }
}

} // namespace kelvora
