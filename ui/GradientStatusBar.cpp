#include "ui/GradientStatusBar.h"

#include <QLinearGradient>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace kelvora {

GradientStatusBar::GradientStatusBar(QWidget* parent) : QWidget(parent) {
    QFont font(u"仿宋_GB2312"_s);
    font.setPixelSize(16);
    font.setBold(true);
    setFont(font);
}

void GradientStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, QColor(0x87, 0xCE, 0xEB));
    gradient.setColorAt(1.0, Qt::white);
    painter.fillRect(rect(), gradient);
}

} // namespace kelvora
