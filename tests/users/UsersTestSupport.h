#pragma once

#include "DataTestSupport.h"
#include "data/TADOConnection.h"

#include <memory>
#include <optional>

#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>

#include <gtest/gtest.h>

namespace kelvora::test {

/// A fresh SQLite station database (admin / the initial password, every right) and the main connection.
class UsersDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(Engine::Sqlite);
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        m_connection->Open();
    }

    /// Runs a statement on the file directly, with bound values.
    void exec(const QString& statement, const QVariantList& values = {}) {
        QSqlQuery query(m_connection->database());
        ASSERT_TRUE(query.prepare(statement)) << query.lastError().text().toStdString();
        for (const QVariant& value : values)
            query.addBindValue(value);
        ASSERT_TRUE(query.exec()) << query.lastError().text().toStdString();
    }

    /// Adds a user; `rights` are the eight rights in the login's order (a null QVariant stores NULL).
    void addUser(const QString& name, const QString& password, const QVariantList& rights) {
        exec(QStringLiteral("insert into users (用户名称, 用户密码, 用户, 开始, 继续, 结束, 查询, 设置, 初始化, 清零) "
                            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
             QVariantList{name, password} + rights);
    }

    /// Rebuilds `users` with rights columns that may hold NULL (as an imported or hand-made file may).
    void allowNullRights() {
        exec(QStringLiteral("alter table users rename to old_users"));
        exec(QStringLiteral("create table users (id INTEGER PRIMARY KEY, 用户名称 TEXT COLLATE NOCASE, "
                            "用户密码 TEXT COLLATE NOCASE DEFAULT '123456', 用户 BOOLEAN, 开始 BOOLEAN, "
                            "继续 BOOLEAN, 结束 BOOLEAN, 查询 BOOLEAN, 设置 BOOLEAN, 初始化 BOOLEAN, 清零 BOOLEAN)"));
        exec(QStringLiteral("insert into users select * from old_users"));
        exec(QStringLiteral("drop table old_users"));
    }

    /// The users table as `name|rights` lines in insertion order, rights as 0/1 digits.
    QStringList users() {
        QSqlQuery query(m_connection->database());
        query.exec(QStringLiteral("select 用户名称, 用户密码, 用户, 开始, 继续, 结束, 查询, 设置, 初始化, 清零 "
                                  "from users order by id"));
        QStringList rows;
        while (query.next()) {
            QString row = query.value(0).toString() + u'|' + query.value(1).toString() + u'|';
            for (int i = 2; i < 10; ++i)
                row += query.value(i).isNull() ? QStringLiteral("-") : query.value(i).toString();
            rows << row;
        }
        return rows;
    }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
};

} // namespace kelvora::test
