#pragma once

#include "ui/StatusPane.h"

namespace kelvora {

/// A key-state pane, centred: CapsLock shows "CAPS" while Caps Lock is on and nothing otherwise; Insert
/// shows "Insert" or "Overwrite" for the keyboard's insert mode, toggled by the Insert key. The state is
/// followed from the key events the application receives.
class KeyStatusPane : public StatusPane {
    Q_OBJECT
public:
    enum class Key { CapsLock, Insert };
    Q_ENUM(Key)
    Q_PROPERTY(Key key READ key WRITE setKey)

    explicit KeyStatusPane(QWidget* parent = nullptr);
    ~KeyStatusPane() override;

    Key key() const { return m_key; }
    void setKey(Key key);
    bool isOn() const { return m_on; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(bool on);

    Key m_key = Key::CapsLock;
    bool m_on = false;
};

} // namespace kelvora
