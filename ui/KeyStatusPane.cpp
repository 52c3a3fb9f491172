#include "ui/KeyStatusPane.h"

#include <QApplication>
#include <QKeyEvent>

using namespace Qt::StringLiterals;

namespace kelvora {

KeyStatusPane::KeyStatusPane(QWidget* parent) : StatusPane(parent) {
    setAlignment(Qt::AlignCenter);
    QCoreApplication::instance()->installEventFilter(this);
    show(false);
}

KeyStatusPane::~KeyStatusPane() {
    QCoreApplication::instance()->removeEventFilter(this);
}

void KeyStatusPane::setKey(Key key) {
    m_key = key;
    show(key == Key::Insert); // a keyboard starts in insert mode
}

void KeyStatusPane::show(bool on) {
    m_on = on;
    if (m_key == Key::CapsLock) {
        setText(on ? u"CAPS"_s : QString());
    } else {
        setText(on ? u"Insert"_s : u"Overwrite"_s);
    }
}

bool KeyStatusPane::eventFilter(QObject* watched, QEvent* event) {
    // Each key press reaches the filter once per receiver on its way up; look at it at the focus widget
    // only.
    QWidget* receiver =
        QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : QApplication::activeWindow();
    if (event->type() == QEvent::KeyPress && watched == receiver && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (m_key == Key::Insert && key->key() == Qt::Key_Insert) {
            show(!m_on);
        } else if (m_key == Key::CapsLock) {
            if (key->key() == Qt::Key_CapsLock) {
                show(!m_on);
            } else if (key->text().size() == 1 && key->text().at(0).isLetter()) {
                // A letter's case without Shift tells the lock's state, also when the lock was set before.
                const bool shifted = key->modifiers().testFlag(Qt::ShiftModifier);
                show(key->text().at(0).isUpper() != shifted);
            }
        }
    }
    return StatusPane::eventFilter(watched, event);
}

} // namespace kelvora
