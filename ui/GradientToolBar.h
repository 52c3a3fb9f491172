#pragma once

#include <QWidget>

namespace kelvora {

/// The windows' toolbar: one row on a sky-blue vertical gradient with a grooved top edge. Its children
/// (tool buttons, gaps, a status edit) are laid out by the layout the form gives it.
class GradientToolBar : public QWidget {
    Q_OBJECT
public:
    explicit GradientToolBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kelvora
