#include "ui/GradientToolBar.h"

#include <QLinearGradient>
#include <QPainter>

namespace kelvora {

GradientToolBar::GradientToolBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, false);
}

void GradientToolBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, QColor(0xE6, 0xF4, 0xFF));
    gradient.setColorAt(1.0, QColor(0x87, 0xCE, 0xEB));
    painter.fillRect(rect(), gradient);
    // The groove: a dark line over a light one along the top edge.
    painter.setPen(QColor(0x5A, 0x8C, 0xB4));
    painter.drawLine(0, 0, width(), 0);
    painter.setPen(Qt::white);
    painter.drawLine(0, 1, width(), 1);
}

} // namespace kelvora
