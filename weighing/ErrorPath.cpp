#include "weighing/ErrorPath.h"

#include "weighing/NumberText.h"

#include <exception>

namespace kelvora {

namespace {

void show(ErrorBox& box, const std::string& message) noexcept {
    try {
        box.showError(NumberText::errorBoxText(message));
    } catch (...) {
        // The box is the last resort; nothing is left to tell the operator with.
    }
}

} // namespace

bool runHandler(ErrorBox& box, const std::function<void()>& handler) noexcept {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        show(box, error.what());
    } catch (...) {
        show(box, "Unknown error");
    }
    return false;
}

} // namespace kelvora
