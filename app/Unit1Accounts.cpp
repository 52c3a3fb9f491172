// What the operator's login changes on the main window (the operator pane, the buttons governed by rights)
// and the toolbar's account commands: 审计追踪, 切换用户 and 修改密码.
#include "app/Unit1.h"
#include "data/AuditTrail.h"
#include "data/window/AuditWindow.h"
#include "ui/ToolButton.h"
#include "ui/WindowHandler.h"
#include "ui_Unit1.h"
#include "users/ChangePassword.h"
#include "users/Login.h"

#include <functional>
#include <tuple>

#include <QBoxLayout>

using namespace Qt::StringLiterals;

namespace kelvora {

void TForm1::addAccountButtons() {
    QWidget* beside = m_ui->BtnAttachFiles;
    const std::tuple<const char*, QString, std::function<void()>> buttons[] = {
        {"BtnChangePassword", u"修改密码"_s, [this] { BtnChangePasswordClick(); }},
        {"BtnSwitchUser", u"切换用户"_s, [this] { logOut(u"切换用户"_s); }},
        {"BtnAudit", u"审计追踪"_s, [this] { BtnAuditClick(); }},
    };
    auto* layout = qobject_cast<QBoxLayout*>(beside->parentWidget()->layout());
    for (const auto& [name, caption, handler] : buttons) {
        auto* button = new ToolButton(beside->parentWidget());
        button->setObjectName(QString::fromLatin1(name));
        button->setText(caption);
        button->setGlyph(u":/glyphs/glyphs/users.png"_s);
        button->setVisible(false);
        if (layout)
            layout->insertWidget(layout->indexOf(beside) + 1, button);
        connectHandler(button, &QToolButton::clicked, button, handler);
    }
}

void TForm1::BtnAuditClick() {
    m_auditFrm = std::make_unique<TAuditFrm>(mainDatabase(), this);
    showModal(*m_auditFrm);
}

void TForm1::BtnChangePasswordClick() {
    const QString user = m_ui->RzFieldStatus3->text();
    if (user.isEmpty())
        return; // nobody logged in: the login window has its own 修改密码
    m_changePasswordFrm = std::make_unique<TChangePasswordFrm>(ADO1, TLoginfrm::accounts(), user, this);
    showModal(*m_changePasswordFrm);
}

void TForm1::logOut(const QString& reason) {
    const QString user = m_ui->RzFieldStatus3->text();
    for (const QString& right : TLoginfrm::rightColumns())
        setRightVisible(right, false);
    setOperatorName(QString());
    m_loginFrm = std::make_unique<TLoginfrm>(ADO1, *this, this);
    showModal(*m_loginFrm);
    if (AuditTrail* trail = AuditTrail::configured()) {
        trail->setOperator(QString());
        trail->record(reason == u"切换用户"_s ? audit_event::kOperatorChange : audit_event::kLogout, user, user, {},
                      reason);
    }
}

void TForm1::setOperatorName(const QString& name) {
    m_ui->RzFieldStatus3->setText(name);
}

void TForm1::setRightVisible(const QString& right, bool visible) {
    Ui::TForm1& ui = *m_ui;
    const std::pair<QString, QWidget*> buttons[] = {
        {u"用户"_s, ui.BtnAttachFiles}, {u"开始"_s, ui.BtnClear},    {u"继续"_s, ui.BtnWordWrap},
        {u"结束"_s, ui.BtnSetTabs},     {u"查询"_s, ui.BtnSecurity}, {u"设置"_s, ui.BtnUtilities},
        {u"初始化"_s, ui.BtnOK},        {u"清零"_s, ui.BtnBullets},  {u"查询"_s, ui.BtnStatistics},
    };
    for (const auto& [caption, button] : buttons)
        if (caption == right)
            button->setVisible(visible);
    if (right == u"用户"_s)
        findChild<QWidget*>(u"BtnAudit"_s)->setVisible(visible);
    // With accounts the catalogue is a setting: without 设置 the limits cannot be typed or stored.
    if (right == u"设置"_s && TLoginfrm::accounts().enabled) {
        for (QLineEdit* edit : {ui.Et1, ui.Et2, ui.Et3})
            edit->setReadOnly(!visible);
        for (QWidget* button : std::initializer_list<QWidget*>{ui.BitBtn2, ui.BitBtn3, ui.BitBtn4})
            button->setEnabled(visible);
    }
}

} // namespace kelvora
