#include "ui/MessageBox.h"

#include <optional>
#include <utility>

namespace kelvora {

namespace {

std::optional<MessageBox::Button> g_nextAnswer;
MessageBox::Answerer g_answerer;

} // namespace

MessageBox::Button MessageBox::show(QWidget* parent, const Request& request) {
    if (g_nextAnswer) {
        const Button answer = *g_nextAnswer;
        g_nextAnswer.reset();
        return answer;
    }
    if (g_answerer) {
        return g_answerer(request);
    }
    QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
    if (request.defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(request.defaultButton);
    }
    return static_cast<Button>(box.exec());
}

void MessageBox::setNextAnswer(Button button) {
    g_nextAnswer = button;
}

void MessageBox::setAnswerer(Answerer answerer) {
    g_answerer = std::move(answerer);
}

MessageBox::Button MessageBox::defaultAnswer(const Request& request) {
    if (request.defaultButton != QMessageBox::NoButton) {
        return request.defaultButton;
    }
    // The standard buttons' values grow in the order Qt lays them out; the lowest set bit comes first.
    const auto bits = static_cast<unsigned>(request.buttons.toInt());
    return bits == 0 ? QMessageBox::NoButton : static_cast<Button>(bits & (~bits + 1));
}

} // namespace kelvora
