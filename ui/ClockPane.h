#pragma once

#include "ui/StatusPane.h"

#include <QDateTime>
#include <QTimer>

namespace kelvora {

/// The clock pane: the current date and time in the system's short date and long time formats, updated
/// every second.
class ClockPane : public StatusPane {
    Q_OBJECT
public:
    explicit ClockPane(QWidget* parent = nullptr);

    /// The pane's text for a moment.
    static QString clockText(const QDateTime& moment);

private:
    void refresh();

    QTimer m_timer;
};

} // namespace kelvora
