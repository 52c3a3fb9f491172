#pragma once

class QWidget;

namespace kelvora {

/// Moves a top-level window to the middle of the screen its parent (or the primary screen) is on.
void centreOnScreen(QWidget& window);

} // namespace kelvora
