#include "users/ChangePassword.h"

#include "data/AuditTrail.h"
#include "data/DatabaseError.h"
#include "ui/MessageBox.h"
#include "ui/WindowHandler.h"
#include "users/PasswordHash.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

QLineEdit* passwordEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setEchoMode(QLineEdit::Password);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    return edit;
}

} // namespace

TChangePasswordFrm::TChangePasswordFrm(TADOConnection& connection, const AccountSettings& settings, const QString& name,
                                       QWidget* parent)
    : QDialog(parent), m_connection(connection), m_settings(settings), m_name(new QLineEdit(name, this)),
      m_old(passwordEdit("OldPassword", this)), m_new(passwordEdit("NewPassword", this)),
      m_repeat(passwordEdit("RepeatPassword", this)) {
    setWindowTitle(u"修改密码"_s);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_name->setObjectName(u"UserName"_s);
    m_name->setReadOnly(!name.isEmpty());
    auto* form = new QFormLayout(this);
    form->addRow(u"用户名称："_s, m_name);
    form->addRow(u"原密码："_s, m_old);
    form->addRow(u"新密码："_s, m_new);
    form->addRow(u"确认新密码："_s, m_repeat);
    form->addRow(new QLabel(u"新密码至少%1个字符，不能是初始密码。"_s.arg(PasswordHash::kMinimumLength), this));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(u"确定"_s, QDialogButtonBox::AcceptRole)->setObjectName(u"BtnOK"_s);
    buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole)->setObjectName(u"BtnCancel"_s);
    form->addRow(buttons);
    connectHandler(buttons, &QDialogButtonBox::accepted, this, [this] { confirm(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    (name.isEmpty() ? m_name : m_old)->setFocus();
}

bool TChangePasswordFrm::confirm() {
    const QString name = m_name->text().trimmed();
    if (m_new->text() != m_repeat->text()) {
        MessageBox::show(this, {u"警告"_s, u"两次输入的新密码不一致"_s});
        return false;
    }
    try {
        Accounts(m_connection, m_settings).changePassword(name, m_old->text(), m_new->text());
    } catch (const DatabaseError& refused) {
        MessageBox::show(this, {u"警告"_s, refused.message()});
        return false;
    }
    accept();
    AuditTrail::write(audit_event::kPasswordChange, name);
    return true;
}

} // namespace kelvora
