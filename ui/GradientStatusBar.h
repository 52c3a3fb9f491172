#pragma once

#include <QWidget>

namespace kelvora {

/// The windows' status bar: a sky-blue to white gradient holding its panes side by side, in black bold
/// 16-pixel 仿宋_GB2312 type.
class GradientStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit GradientStatusBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kelvora
