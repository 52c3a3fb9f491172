#include "ui/StatusPane.h"

namespace kelvora {

StatusPane::StatusPane(QWidget* parent) : QLabel(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setMargin(2);
    setMinimumWidth(80);
}

} // namespace kelvora
