#pragma once

#include "weighing/ErrorPath.h"

#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include <QObject>

class QWidget;

namespace kelvora {

/// The standard error box of the windows: title "Weight", the error icon, one OK button, the text with
/// the "." rule, over the active window.
class WindowErrorBox : public ErrorBox {
public:
    void showError(const std::string& text) override;
};

/// Runs one handler of a window the one way every event enters the station's code: what it throws is
/// shown in the standard error box and the program goes on with the next event. Never throws.
bool runWindowHandler(const std::function<void()>& handler) noexcept;

/// Connects signal to handler so that the handler runs through runWindowHandler; the signal's arguments
/// are passed on when the handler takes them, else it is called without. context ends the connection
/// with its life.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection connectHandler(Sender* sender, Signal signal, const QObject* context, Handler handler) {
    return QObject::connect(sender, signal, context, [handler = std::move(handler)](auto&&... args) {
        runWindowHandler([&] {
            if constexpr (std::is_invocable_v<const Handler&, decltype(args)...>) {
                handler(args...);
            } else {
                handler();
            }
        });
    });
}

} // namespace kelvora
