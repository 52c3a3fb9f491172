#include "users/IdleWatch.h"

#include <QCoreApplication>
#include <QEvent>

namespace kelvora {

IdleWatch::IdleWatch(int minutes, QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &IdleWatch::idle);
    if (minutes <= 0)
        return;
    m_timer.setInterval(minutes * 60 * 1000);
    QCoreApplication::instance()->installEventFilter(this);
    m_timer.start();
}

IdleWatch::~IdleWatch() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void IdleWatch::restart() {
    if (m_timer.interval() > 0)
        m_timer.start();
}

void IdleWatch::setIntervalMs(int milliseconds) {
    m_timer.setInterval(milliseconds);
    restart();
}

bool IdleWatch::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        restart();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kelvora
