#include "users/Unit2.h"

#include "data/AuditTrail.h"
#include "data/DatabaseError.h"
#include "data/TADOConnection.h"
#include "ui/DataGrid.h"
#include "ui/DataSource.h"
#include "ui/WindowHandler.h"
#include "ui/WindowPlacement.h"
#include "ui_Unit2.h"
#include "users/Login.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

std::vector<DataGrid::Column> userColumns() {
    std::vector<DataGrid::Column> columns;
    for (const QString& name :
         {u"用户名称"_s, u"用户"_s, u"开始"_s, u"继续"_s, u"结束"_s, u"查询"_s, u"设置"_s, u"初始化"_s, u"清零"_s})
        columns.push_back({{name, name}, 70});
    return columns;
}

// Every user as the trail shows it, by row id.
std::map<qlonglong, QString> currentUsers(TADOConnection& connection) {
    QStringList rights;
    for (const QString& right : TLoginfrm::rightColumns())
        rights << u'"' + right + u'"';
    QSqlQuery query(connection.database());
    if (!query.exec(u"select \"id\", \"用户名称\", %1 from \"users\""_s.arg(rights.join(u','))))
        throw DatabaseError(query.lastError().text());
    std::map<qlonglong, QString> users;
    while (query.next()) {
        QStringList granted;
        for (int i = 0; i < TLoginfrm::rightColumns().size(); ++i)
            if (query.value(i + 2).toBool())
                granted << TLoginfrm::rightColumns()[i];
        users[query.value(0).toLongLong()] = u"名称=%1；权限=%2"_s.arg(query.value(1).toString(), granted.join(u'、'));
    }
    return users;
}

// The user name within "名称=…；权限=…".
QString nameIn(const QString& user) {
    return user.section(u"；"_s, 0, 0).mid(3);
}

} // namespace

void TForm2::auditChanges() {
    if (!AuditTrail::configured())
        return;
    const std::map<qlonglong, QString> now = currentUsers(m_connection);
    for (const auto& [id, user] : now) {
        const auto before = m_users.find(id);
        if (before == m_users.end())
            AuditTrail::write(audit_event::kUserAdded, nameIn(user), {}, user);
        else if (before->second != user)
            AuditTrail::write(audit_event::kUserChanged, nameIn(before->second), before->second, user);
        m_users[id] = user;
    }
    for (auto it = m_users.begin(); it != m_users.end();) {
        if (now.contains(it->first)) {
            ++it;
            continue;
        }
        AuditTrail::write(audit_event::kUserDeleted, nameIn(it->second), it->second, {});
        it = m_users.erase(it);
    }
}

TForm2::TForm2(TADOConnection& connection, QWidget* parent)
    : QDialog(parent), ADOQuery1(connection, this), m_ui(std::make_unique<Ui::TForm2>()), m_connection(connection) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(670, 400);
    centreOnScreen(*this);
    ADOQuery1.SQL.Add(u"select  *  from   users"_s);
    ADOQuery1.SQL.Add(u"order  by   用户名称"_s);
    ADOQuery1.SQL.Add(QString());
    const std::vector<DataGrid::Column> columns = userColumns();
    DataSource1 = new DataSource(ADOQuery1, DataGrid::definitions(columns), this);
    m_ui->DBGridEh1->setDataSource(*DataSource1, columns);
    m_ui->RzDBNavigator1->setDataSource(*DataSource1);
    DataSource1->run([this] {
        ADOQuery1.Open();
        if (AuditTrail::configured())
            m_users = currentUsers(m_connection);
    });
    // Rows are written as the grid moves, by 更新 and by the navigator's delete: each may have changed one.
    connect(DataSource1, &DataSource::changed, this, [this] { runWindowHandler([this] { auditChanges(); }); });
}

TForm2::~TForm2() {
    // The views' source goes first: the query is destroyed before the child widgets are.
    delete DataSource1;
}

} // namespace kelvora
