#pragma once

#include <QObject>
#include <QTimer>

namespace kelvora {

/// Notices when the application has had no key press, click or mouse movement for a while (the logout of
/// a station with accounts; the weighing itself needs no input and goes on).
class IdleWatch : public QObject {
    Q_OBJECT
public:
    /// Watches every window of the application; `minutes` 0 or less watches nothing.
    explicit IdleWatch(int minutes, QObject* parent = nullptr);
    ~IdleWatch() override;

    /// Once each time the input has stopped for the whole interval.
    Q_SIGNAL void idle();

    /// The interval starts again (as after an input).
    void restart();
    /// For tests and the toolbar: the interval in milliseconds.
    void setIntervalMs(int milliseconds);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer m_timer;
};

} // namespace kelvora
