#pragma once

#include "users/Accounts.h"

#include <QDialog>

class QLineEdit;

namespace kelvora {

/// The dialog 修改密码: the user's name (fixed when given), the old password, the new one twice. 确定 stores
/// the new password hashed (Accounts::changePassword) and records it in the audit trail; a refusal (the
/// old password wrong, the new one too short, the initial one, or the two not alike) is shown in a
/// warning and the dialog stays open with what was typed.
class TChangePasswordFrm : public QDialog {
    Q_OBJECT
public:
    TChangePasswordFrm(TADOConnection& connection, const AccountSettings& settings, const QString& name,
                       QWidget* parent = nullptr);

    /// 确定 as the button does; true when the password was changed (the dialog is then accepted).
    bool confirm();

private:
    TADOConnection& m_connection;
    AccountSettings m_settings;
    QLineEdit* m_name;
    QLineEdit* m_old;
    QLineEdit* m_new;
    QLineEdit* m_repeat;
};

} // namespace kelvora
