#pragma once

#include <QLabel>

namespace kelvora {

/// One pane of the status bar: a sunken field with a caption (the operator pane, and the base of the
/// key-state, clock and marquee panes).
class StatusPane : public QLabel {
    Q_OBJECT
public:
    explicit StatusPane(QWidget* parent = nullptr);
};

} // namespace kelvora
