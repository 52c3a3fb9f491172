#pragma once

#include "ui/StatusPane.h"

#include <QTimer>

namespace kelvora {

/// A status pane whose caption scrolls from right to left and blinks, in red bold type.
class MarqueePane : public StatusPane {
    Q_OBJECT
public:
    explicit MarqueePane(QWidget* parent = nullptr);

    /// How far the caption has moved in from the right edge, in pixels.
    int offset() const { return m_offset; }
    bool blinkOn() const { return m_blinkOn; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void step();

    QTimer m_timer;
    int m_offset = 0;
    int m_steps = 0;
    bool m_blinkOn = true;
};

} // namespace kelvora
