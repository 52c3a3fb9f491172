#include "ui/MarqueePane.h"

#include <QPainter>

namespace kelvora {

namespace {
constexpr int kStepMs = 40;
constexpr int kStepsPerBlink = 15; // the caption shows and hides every 600 ms
} // namespace

MarqueePane::MarqueePane(QWidget* parent) : StatusPane(parent) {
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    m_timer.setInterval(kStepMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { step(); });
    m_timer.start();
}

void MarqueePane::step() {
    const int textWidth = fontMetrics().horizontalAdvance(text());
    m_offset = (m_offset + 2) % (width() + textWidth + 1);
    if (++m_steps % kStepsPerBlink == 0) {
        m_blinkOn = !m_blinkOn;
    }
    update();
}

void MarqueePane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    if (!m_blinkOn) {
        return;
    }
    painter.setClipRect(contentsRect());
    painter.setPen(Qt::red);
    painter.drawText(contentsRect().translated(width() - m_offset, 0), Qt::AlignVCenter | Qt::AlignLeft, text());
}

} // namespace kelvora
