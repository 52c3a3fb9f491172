#include "users/Login.h"

#include "data/AuditTrail.h"
#include "data/ConnectionTarget.h"
#include "data/DatabaseError.h"
#include "data/Schema.h"
#include "data/TADOConnection.h"
#include "ui/MessageBox.h"
#include "ui/WindowHandler.h"
#include "ui/WindowPlacement.h"
#include "ui_Login.h"
#include "users/ChangePassword.h"
#include "users/JpegPicture.h"
#include "users/LoginTarget.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

// The password field shows every character as "#".
class HashPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'#';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// QuotedStr: between single quotes, each single quote inside doubled.
QString quoted(QString text) {
    return u'\'' + text.replace(u'\'', u"''"_s) + u'\'';
}

// Why every login is refused; empty while logins are checked.
QString g_refusal;
AccountSettings g_accounts;

QString missingDatabase(const TADOConnection& connection) {
    try {
        const ConnectionTarget target = connection.target();
        if (target.engine == ConnectionTarget::Engine::Sqlite)
            return u"无法打开数据库文件“%1”"_s.arg(QDir::toNativeSeparators(target.filePath));
        return u"无法连接数据库服务器 %1（端口 %2）上的数据库“%3”"_s.arg(target.host)
            .arg(target.port)
            .arg(target.database);
    } catch (const DatabaseError&) {
        return u"Option.ini 中的数据库连接无法使用"_s;
    }
}

} // namespace

TLoginfrm::TLoginfrm(TADOConnection& connection, LoginTarget& target, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_ui(std::make_unique<Ui::TLoginfrm>()), m_target(target),
      m_connection(connection), ADOQuery1(connection, this) {
    m_ui->setupUi(this);
    setFixedSize(794, 455);
    ADOQuery1.SQL.Add(u"select  *  from  users"_s);

    const QImage picture = JpegPicture::load(backgroundPath());
    if (!picture.isNull())
        m_ui->Image1->setPixmap(QPixmap::fromImage(picture));
    m_ui->Image1->lower();

    if (accounts().enabled) {
        // Personal passwords: the initial one is not printed; each user may change theirs here.
        auto* change = new QPushButton(u"修改密码"_s, this);
        change->setObjectName(u"BtnChangePassword"_s);
        change->setGeometry(512, 256, 120, 28);
        connectHandler(change, &QPushButton::clicked, this, [this] { changePassword(); });
    } else {
        const QString initial = u"初始密码：%1"_s.arg(schema::kInitialPassword);
        m_ui->Label8->setText(initial);
        m_ui->Edit1->setToolTip(initial);
    }
    auto* hashStyle = new HashPasswordStyle;
    hashStyle->setParent(m_ui->Edit1);
    m_ui->Edit1->setStyle(hashStyle);
    m_ui->Edit1->setAttribute(Qt::WA_InputMethodEnabled, false);
    // Right-clicking the name or the password opens no menu.
    m_ui->Edit1->setContextMenuPolicy(Qt::PreventContextMenu);
    m_ui->ComboBox1->setContextMenuPolicy(Qt::PreventContextMenu);
    m_ui->ComboBox1->lineEdit()->setContextMenuPolicy(Qt::PreventContextMenu);
    m_ui->RzBitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    m_ui->RzBitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

    connectHandler(m_ui->RzBitBtn1, &QPushButton::clicked, this, [this] { RzBitBtn1Click(); });
    connectHandler(m_ui->RzBitBtn2, &QPushButton::clicked, this, [this] { RzBitBtn2Click(); });
}

TLoginfrm::~TLoginfrm() = default;

QString TLoginfrm::refuseLogins(const TADOConnection& connection, const QString& error) {
    g_refusal =
        missingDatabase(connection) +
        u"，本工作站不能登录，也不能称重和存储记录。\n"
        u"请用命令“kelvora-tool station init 目录”准备工作站文件夹（数据库、设置文件、Backup 文件夹和帮助文件），"
        u"再用“kelvora --dir 目录”启动；使用服务器数据库时，请检查服务器和 Option.ini 中 [数据库] 的“连接”。\n"_s +
        error;
    return g_refusal;
}

void TLoginfrm::allowLogins() {
    g_refusal.clear();
}

void TLoginfrm::setAccounts(const AccountSettings& settings) {
    g_accounts = settings;
}

const AccountSettings& TLoginfrm::accounts() {
    return g_accounts;
}

const QStringList& TLoginfrm::rightColumns() {
    static const QStringList columns{u"用户"_s, u"开始"_s, u"继续"_s,   u"结束"_s,
                                     u"查询"_s, u"设置"_s, u"初始化"_s, u"清零"_s};
    return columns;
}

QString TLoginfrm::backgroundPath() {
    return u":/users/login-background.jpg"_s;
}

void TLoginfrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
    runWindowHandler([this] { FormShow(); });
}

void TLoginfrm::FormShow() {
    ADOQuery1.Close();
    ADOQuery1.SQL.Clear();
    ADOQuery1.SQL.Add(u"select  *  from  users"_s);
    ADOQuery1.Open();
    for (ADOQuery1.First(); !ADOQuery1.Eof(); ADOQuery1.Next())
        m_ui->ComboBox1->addItem(ADOQuery1.FieldByName(u"用户名称"_s).AsString());
    // Adding items must not pick a name: the field stays as it was.
    m_ui->ComboBox1->setCurrentIndex(-1);
    ADOQuery1.Close();
    m_ui->ComboBox1->setFocus();
}

void TLoginfrm::RzBitBtn1Click() {
    if (!g_refusal.isEmpty()) {
        MessageBox::show(this, {u"警告"_s, g_refusal});
        return;
    }
    const QString name = m_ui->ComboBox1->currentText();
    if (accounts().enabled) {
        if (accountLogin(name, m_ui->Edit1->text()))
            applyRights(name);
        return;
    }
    ADOQuery1.Close();
    ADOQuery1.SQL.Clear();
    ADOQuery1.SQL.Add(u"select  *  from  users"_s);
    ADOQuery1.SQL.Add(u"where (用户名称="_s + quoted(name) + u")  and  (用户密码="_s + quoted(m_ui->Edit1->text()) +
                      u')');
    ADOQuery1.Open();
    if (ADOQuery1.RecordCount() == 0) {
        AuditTrail::write(audit_event::kLoginFailed, name);
        MessageBox::show(this, {u"警告"_s, u"您输入的用户名或密码不正确,请重新输入!"_s});
        m_ui->Edit1->setFocus();
        m_ui->Edit1->clear();
        return;
    }
    ADOQuery1.First();
    applyRights(name);
}

void TLoginfrm::applyRights(const QString& name) {
    m_target.setOperatorName(name);
    // Each right takes effect as it is read: a column that cannot be read stops here, with the buttons
    // before it already set and the window still open.
    for (const QString& right : rightColumns())
        m_target.setRightVisible(right, ADOQuery1.FieldByName(right).AsBoolean());
    m_loggedIn = true;
    accept();
    if (AuditTrail* trail = AuditTrail::configured()) {
        trail->setOperator(name);
        trail->record(audit_event::kLogin, name);
    }
}

bool TLoginfrm::accountLogin(const QString& name, const QString& password) {
    const auto refuse = [this](const QString& text) {
        MessageBox::show(this, {u"警告"_s, text});
        m_ui->Edit1->setFocus();
        m_ui->Edit1->clear();
        return false;
    };
    const Accounts::Check check =
        Accounts(m_connection, accounts()).check(name, password, QDateTime::currentDateTime());
    const QString until = check.lockedUntil.toString(u"HH:mm:ss"_s);
    switch (check.outcome) {
    case Accounts::Outcome::Locked:
        AuditTrail::write(audit_event::kLoginFailed, name, {}, {}, u"用户已锁定"_s);
        return refuse(u"用户“%1”因多次输入错误密码已被锁定，请于 %2 后再试。"_s.arg(name, until));
    case Accounts::Outcome::Refused:
        AuditTrail::write(audit_event::kLoginFailed, name);
        if (check.lockedUntil.isValid()) {
            AuditTrail::write(audit_event::kUserLocked, name, {}, {}, u"锁定至 %1"_s.arg(until));
            return refuse(u"密码错误次数过多，用户“%1”已被锁定至 %2。"_s.arg(name, until));
        }
        return refuse(u"您输入的用户名或密码不正确,请重新输入!"_s);
    case Accounts::Outcome::MustChangePassword: {
        MessageBox::show(this, {u"提示"_s, u"首次登录请先修改初始密码。"_s});
        TChangePasswordFrm change(m_connection, accounts(), name, this);
        change.findChild<QLineEdit*>(u"OldPassword"_s)->setText(password);
        if (change.exec() != QDialog::Accepted)
            return refuse(u"必须修改初始密码后才能登录。"_s);
        break;
    }
    case Accounts::Outcome::Accepted:
        break;
    }
    ADOQuery1.Close();
    ADOQuery1.SQL.Clear();
    ADOQuery1.SQL.Add(u"select  *  from  users  where  id = %1"_s.arg(check.userId));
    ADOQuery1.Open();
    return true;
}

void TLoginfrm::changePassword() {
    TChangePasswordFrm(m_connection, accounts(), m_ui->ComboBox1->currentText(), this).exec();
}

void TLoginfrm::RzBitBtn2Click() {
    m_target.exitApplication();
}

void TLoginfrm::reject() {
    if (m_loggedIn)
        QDialog::reject();
}

void TLoginfrm::closeEvent(QCloseEvent* event) {
    if (m_loggedIn)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

} // namespace kelvora
