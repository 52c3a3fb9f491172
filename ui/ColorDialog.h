#pragma once

#include <functional>
#include <optional>

#include <QColor>

class QWidget;

namespace kelvora {

/// The colour dialog of the windows, with a hook through which tests and the script mode answer it.
class ColorDialog {
public:
    /// Decides the dialog instead of showing it: a colour when confirmed, nothing when cancelled.
    using Answerer = std::function<std::optional<QColor>(const QColor& initial)>;

    /// Shows the dialog modally over parent, starting at initial; the chosen colour, or nothing when
    /// cancelled. With an answerer installed, no window appears.
    static std::optional<QColor> pick(QWidget* parent, const QColor& initial);
    /// Every dialog from now on goes to answerer; an empty answerer restores showing.
    static void setAnswerer(Answerer answerer);
};

} // namespace kelvora
