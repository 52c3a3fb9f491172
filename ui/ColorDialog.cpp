#include "ui/ColorDialog.h"

#include <utility>

#include <QColorDialog>

namespace kelvora {

namespace {
ColorDialog::Answerer g_answerer;
} // namespace

std::optional<QColor> ColorDialog::pick(QWidget* parent, const QColor& initial) {
    if (g_answerer) {
        return g_answerer(initial);
    }
    const QColor chosen = QColorDialog::getColor(initial, parent);
    return chosen.isValid() ? std::optional<QColor>(chosen) : std::nullopt;
}

void ColorDialog::setAnswerer(Answerer answerer) {
    g_answerer = std::move(answerer);
}

} // namespace kelvora
