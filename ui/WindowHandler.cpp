#include "ui/WindowHandler.h"

#include "ui/MessageBox.h"

#include <QApplication>

using namespace Qt::StringLiterals;

namespace kelvora {

void WindowErrorBox::showError(const std::string& text) {
    MessageBox::Request request;
    request.title = u"Weight"_s;
    request.text = QString::fromStdString(text);
    request.icon = QMessageBox::Critical;
    request.buttons = QMessageBox::Ok;
    request.errorBox = true;
    MessageBox::show(QApplication::activeWindow(), request);
}

bool runWindowHandler(const std::function<void()>& handler) noexcept {
    static WindowErrorBox box;
    return runHandler(box, handler);
}

} // namespace kelvora
