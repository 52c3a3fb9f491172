#pragma once

#include <QColor>
#include <QWidget>

namespace kelvora {

/// A round lamp filled with its colour, drawn as large as the widget allows; legend labels may stand on
/// it as children.
class LampShape : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
public:
    explicit LampShape(QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    /// Repaints when the colour changes.
    void setColor(const QColor& color);
    /// "lime", "red" or "yellow" for the lamp colours, else the colour's #rrggbb.
    QString colorName() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color{0, 255, 0};
};

} // namespace kelvora
