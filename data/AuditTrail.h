#pragma once

#include "data/TADOConnection.h"

#include <vector>

#include <QDateTime>
#include <QString>
#include <QVariantList>

namespace kelvora {

/// The station's audit trail: who did what and when, appended to the table `audit` through a connection
/// of its own. Rows are never changed or deleted (the table refuses it); each row carries a RecordChain
/// link over the previous row of the same station (fields 站点, 序号, 时间, 操作员, 事件, 对象, 旧值, 新值,
/// 备注), so `kelvora-tool db verify` notices a row edited, deleted or inserted afterwards.
///
/// The table is created on first use in a database made before it existed. Calls belong to the thread
/// that created the trail.
class AuditTrail {
public:
    /// A trail on `connectionString` (empty: the main database) for the station `station` (empty: the
    /// host name).
    explicit AuditTrail(const QString& connectionString = {}, const QString& station = {});

    /// The trail of this station program: none until configure(), so programs and tests that never open a
    /// station's database keep none.
    static AuditTrail* configured();
    /// Gives the program a trail on a database and station name (replacing one it had; the operator is
    /// kept); an empty connection string means the main database.
    static void configure(const QString& connectionString, const QString& station);
    /// The program keeps no trail any more.
    static void unconfigure();
    /// record() on the configured trail; nothing when there is none. Throws DatabaseError.
    static void write(const QString& event, const QString& object = {}, const QString& oldValue = {},
                      const QString& newValue = {}, const QString& note = {});

    const QString& station() const { return m_station; }
    /// The user logged in, written as 操作员 of each row (empty before any login).
    void setOperator(const QString& name) { m_operator = name; }
    const QString& operatorName() const { return m_operator; }

    /// Appends one event, committed (SQLite: BEGIN IMMEDIATE ... COMMIT, durable with synchronous=FULL)
    /// before it returns. Throws DatabaseError; nothing is then written, and the connection opens anew at
    /// the next call.
    void record(const QString& event, const QString& object = {}, const QString& oldValue = {},
                const QString& newValue = {}, const QString& note = {});

    /// One event of record(events).
    struct Event {
        QString event;
        QString object;
        QString oldValue;
        QString newValue;
        QString note;
    };
    /// Appends the events in order in one transaction (one commit, so one wait for the disk): all or none.
    /// Throws DatabaseError.
    void record(const std::vector<Event>& events);
    /// record(events) with the time they happened at (rather than now), for events written later.
    void record(const std::vector<Event>& events, const QDateTime& time);

    /// The link of the station's last row (empty when it has none).
    QString lastLink();

    TADOConnection& connection() { return m_connection; }

private:
    void append(const std::vector<QVariantList>& rows);

    TADOConnection m_connection;
    QString m_station;
    QString m_operator;
    bool m_tableChecked = false;
};

/// The events the station writes (事件), one spelling each so the audit window can filter by them.
namespace audit_event {
inline const QString kLogin = QStringLiteral("登录");
inline const QString kLoginFailed = QStringLiteral("登录失败");
inline const QString kLogout = QStringLiteral("退出登录");
inline const QString kOperatorChange = QStringLiteral("切换用户");
inline const QString kPasswordChange = QStringLiteral("修改密码");
inline const QString kUserLocked = QStringLiteral("用户锁定");
inline const QString kModelAdded = QStringLiteral("型号添加");
inline const QString kModelChanged = QStringLiteral("型号修改");
inline const QString kModelDeleted = QStringLiteral("型号删除");
inline const QString kSetting = QStringLiteral("设置修改");
inline const QString kSettingOutside = QStringLiteral("设置文件外部修改");
inline const QString kInitialization = QStringLiteral("初始化");
inline const QString kUserAdded = QStringLiteral("用户添加");
inline const QString kUserChanged = QStringLiteral("用户修改");
inline const QString kUserDeleted = QStringLiteral("用户删除");
inline const QString kZero = QStringLiteral("清零");
inline const QString kStart = QStringLiteral("开始");
inline const QString kContinue = QStringLiteral("继续");
inline const QString kStop = QStringLiteral("结束");
inline const QString kBatch = QStringLiteral("批次修改");
inline const QString kIndicatorSilent = QStringLiteral("仪表无数据");
inline const QString kIndicatorBack = QStringLiteral("仪表恢复");
inline const QString kPortFailure = QStringLiteral("端口故障");
inline const QString kSignature = QStringLiteral("签名");
} // namespace audit_event

} // namespace kelvora
