#pragma once

#include <functional>
#include <string>

namespace kelvora {

/// Where the standard error box of a host appears: a message box titled "Weight" in the window, the
/// trace's "error" line in the replay and the monitor.
class ErrorBox {
public:
    virtual ~ErrorBox() = default;
    /// Shows one error; text is the error's message with the "." rule applied (NumberText::errorBoxText).
    virtual void showError(const std::string& text) = 0;
};

/// Runs one event's handler, the single way into the station's code from an event loop: whatever the
/// handler throws ends that event and is shown in box, and the caller goes on with the next event. Never
/// throws: an exception that is no std::exception shows as "Unknown error", and a box that itself fails
/// is given up on silently rather than let an exception out of an event handler. Returns whether the
/// handler finished without an error.
bool runHandler(ErrorBox& box, const std::function<void()>& handler) noexcept;

} // namespace kelvora
