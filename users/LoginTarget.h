#pragma once

#include <QCoreApplication>
#include <QString>

namespace kelvora {

/// What a successful login changes outside the login window: the operator pane and the toolbar buttons
/// governed by rights (the main window implements it).
class LoginTarget {
public:
    virtual ~LoginTarget() = default;

    /// The operator pane's text: the user name as typed.
    virtual void setOperatorName(const QString& name) = 0;
    /// Shows or hides the toolbar button whose caption is `right` (one of TLoginfrm::rightColumns()).
    virtual void setRightVisible(const QString& right, bool visible) = 0;
    /// 退出 on the login window: the application ends at once, leaving every event loop, without the main
    /// window's close request or close steps.
    virtual void exitApplication() { QCoreApplication::exit(0); }
};

} // namespace kelvora
