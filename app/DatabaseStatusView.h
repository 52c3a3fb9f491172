#pragma once

#include <functional>

#include <QLabel>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kelvora {

class StationRuntime;

/// Tells the operator where the station's records stand, checked every second: while the database is
/// away the pane says "数据库离线，N 条待上传" (at most 5 s after the first failure: the forwarder counts a
/// stalled batch as a failure after that long), and once it has been away 30 s the marquee says it too,
/// unless the indicator's silence has it. Both go back when the database takes the rows again. A row the
/// journal itself cannot take is shown at once by the error box, not here.
class DatabaseStatusView : public QObject {
    Q_OBJECT
public:
    static constexpr int kMarqueeAfterMs = 30000;

    /// indicatorSilent tells whether the marquee belongs to the indicator's silence now.
    DatabaseStatusView(const StationRuntime& runtime, QLabel& pane, QLabel& marquee,
                       std::function<bool()> indicatorSilent);

    /// Checks the records' state and updates the pane and the marquee (the timer calls it every second).
    void refresh();

private:
    const StationRuntime& m_runtime;
    QLabel& m_pane;
    QLabel& m_marquee;
    std::function<bool()> m_indicatorSilent;
    QTimer m_timer;
    bool m_marqueeTaken = false;
    QString m_caption; // the marquee's text before it was taken
};

} // namespace kelvora
