#pragma once

#include <functional>

#include <QMessageBox>
#include <QString>

namespace kelvora {

/// Every message box of the station goes through here, so that tests and the script mode can see and
/// answer them without a modal loop.
class MessageBox {
public:
    using Button = QMessageBox::StandardButton;

    /// One box as the program asks for it.
    struct Request {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        Button defaultButton = QMessageBox::NoButton; ///< NoButton: the first of buttons
        bool errorBox = false;                        ///< the standard error box, not a message of its own
    };

    /// Decides a box instead of showing it; returns the button pressed.
    using Answerer = std::function<Button(const Request& request)>;

    /// Shows the box modally over parent and returns the button pressed (Escape or the close box give the
    /// escape button Qt picks). With an answer set by setNextAnswer, or an answerer installed, no window
    /// appears: the next answer wins (used once), else the answerer decides.
    static Button show(QWidget* parent, const Request& request);

    /// The next box shown is answered with button at once (once).
    static void setNextAnswer(Button button);
    /// Every box from now on is passed to answerer instead of shown; an empty answerer restores showing.
    static void setAnswerer(Answerer answerer);

    /// The button a box without an answer is decided by: its default, else the first of its buttons.
    static Button defaultAnswer(const Request& request);

    /// "none", "information", "warning", "critical" or "question".
    static QString iconName(QMessageBox::Icon icon);
    /// The buttons' names in Qt's order: "OK", "Cancel", "Yes", "No", ...
    static QStringList buttonNames(QMessageBox::StandardButtons buttons);
    /// The button a name stands for (case-blind), NoButton for an unknown name.
    static Button buttonNamed(const QString& name);
};

} // namespace kelvora
