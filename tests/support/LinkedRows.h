#pragma once

// Rows of `weight` as a newer station stores them: with its name, sequence number, the limits in force
// and the link of its chain (RecordChain). Header only: its users link the data layer.
#include "data/RecordChain.h"
#include "data/TADOConnection.h"

#include <vector>

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <gtest/gtest.h>

namespace kelvora::test {

struct LinkedRow {
    QString model;
    double weight = 0.0;
    QString verdict;
    QString time; ///< "YYYY-MM-DD HH:MM:SS"
    double standard = 0.0, upper = 0.0, lower = 0.0;
};

/// Adds the station's columns to `weight` where missing, then stores `rows` as `station`'s, numbered
/// from 1 and linked one after the other (the first starting the chain).
inline void addLinkedRows(TADOConnection& connection, const QString& station, const std::vector<LinkedRow>& rows) {
    connection.Open();
    QSqlQuery sql(connection.database());
    const QSqlRecord columns = connection.database().record(QStringLiteral("weight"));
    for (const char* column : {"站点", "序号", "标准值", "上限值", "下限值", "批号", "链"}) {
        const QString name = QString::fromUtf8(column);
        if (!columns.contains(name)) {
            ASSERT_TRUE(sql.exec(QStringLiteral("alter table weight add column \"%1\"").arg(name)));
        }
    }
    QString previous;
    double number = 0;
    for (const LinkedRow& row : rows) {
        const QVariantList fields{
            station,  ++number,     row.model, row.weight, row.verdict,       QStringLiteral("张三"),
            row.time, row.standard, row.upper, row.lower,  QStringLiteral("")};
        previous = RecordChain::link(previous, fields);
        sql.prepare(
            QStringLiteral("insert into weight (站点, 序号, 型号, 重量, 检定结果, 操作员, 时间, 标准值, 上限值, "
                           "下限值, 批号, 链) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const QVariant& value : fields + QVariantList{previous})
            sql.addBindValue(value);
        ASSERT_TRUE(sql.exec()) << sql.lastError().text().toStdString();
    }
}

} // namespace kelvora::test
