#include "ui/LampShape.h"

#include <QPainter>

using namespace Qt::StringLiterals;

namespace kelvora {

LampShape::LampShape(QWidget* parent) : QWidget(parent) {}

void LampShape::setColor(const QColor& color) {
    if (color != m_color) {
        m_color = color;
        update();
    }
}

QString LampShape::colorName() const {
    if (m_color == QColor(0, 255, 0)) {
        return u"lime"_s;
    }
    if (m_color == QColor(255, 0, 0)) {
        return u"red"_s;
    }
    if (m_color == QColor(255, 255, 0)) {
        return u"yellow"_s;
    }
    return m_color.name();
}

void LampShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 2;
    const QRect circle((width() - side) / 2, (height() - side) / 2, side, side);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_color);
    painter.drawEllipse(circle);
}

} // namespace kelvora
