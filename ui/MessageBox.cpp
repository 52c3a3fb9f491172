#include "ui/MessageBox.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace kelvora {

namespace {

std::optional<MessageBox::Button> g_nextAnswer;

struct NamedButton {
    MessageBox::Button button;
    const char16_t* name;
};
constexpr std::array<NamedButton, 8> kButtonNames{{{QMessageBox::Ok, u"OK"},
                                                   {QMessageBox::Yes, u"Yes"},
                                                   {QMessageBox::No, u"No"},
                                                   {QMessageBox::Abort, u"Abort"},
                                                   {QMessageBox::Retry, u"Retry"},
                                                   {QMessageBox::Ignore, u"Ignore"},
                                                   {QMessageBox::Cancel, u"Cancel"},
                                                   {QMessageBox::Close, u"Close"}}};
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

QString MessageBox::iconName(QMessageBox::Icon icon) {
    switch (icon) {
    case QMessageBox::Information:
        return QStringLiteral("information");
    case QMessageBox::Warning:
        return QStringLiteral("warning");
    case QMessageBox::Critical:
        return QStringLiteral("critical");
    case QMessageBox::Question:
        return QStringLiteral("question");
    case QMessageBox::NoIcon:
        break;
    }
    return QStringLiteral("none");
}

QStringList MessageBox::buttonNames(QMessageBox::StandardButtons buttons) {
    // In the order of the flags' values, the order defaultAnswer takes them in.
    std::array<NamedButton, 8> ordered = kButtonNames;
    std::sort(ordered.begin(), ordered.end(),
              [](const NamedButton& a, const NamedButton& b) { return a.button < b.button; });
    QStringList names;
    for (const NamedButton& named : ordered) {
        if (buttons.testFlag(named.button)) {
            names << QString::fromUtf16(named.name);
        }
    }
    return names;
}

MessageBox::Button MessageBox::buttonNamed(const QString& name) {
    for (const NamedButton& named : kButtonNames) {
        if (name.compare(QString::fromUtf16(named.name), Qt::CaseInsensitive) == 0) {
            return named.button;
        }
    }
    return QMessageBox::NoButton;
}

} // namespace kelvora
