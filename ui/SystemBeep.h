#pragma once

#include <functional>

namespace kelvora {

/// The system's default beep, with a hook through which tests and the script mode hear it.
class SystemBeep {
public:
    static void beep();
    /// Every beep from now on goes to handler instead of the speaker; an empty handler restores it.
    static void setHandler(std::function<void()> handler);
};

} // namespace kelvora
