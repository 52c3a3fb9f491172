#include "ui/ClockPane.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace kelvora {

ClockPane::ClockPane(QWidget* parent) : StatusPane(parent) {
    setAlignment(Qt::AlignCenter);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { refresh(); });
    m_timer.start();
    refresh();
}

QString ClockPane::clockText(const QDateTime& moment) {
    const QLocale locale = QLocale::system();
    return locale.toString(moment.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(moment.time(), QLocale::LongFormat);
}

void ClockPane::refresh() {
    setText(clockText(QDateTime::currentDateTime()));
}

} // namespace kelvora
