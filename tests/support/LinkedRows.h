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

/// `count` rows of model A100 within its limits (15, 16, 14), the i-th weighing 15 + i/1000 at
/// 2024-07-01 08:00:0i (i from 1).
inline std::vector<LinkedRow> sampleLinkedRows(int count) {
    std::vector<LinkedRow> rows;
    for (int i = 1; i <= count; ++i)
        rows.push_back({QStringLiteral("A100"), 15.0 + i / 1000.0, QStringLiteral("正常"),
                        QStringLiteral("2024-07-01 08:00:%1").arg(i, 2, 10, QChar(u'0')), 15.0, 16.0, 14.0});
    return rows;
}

/// Adds the station's columns to `weight` where missing (as the station types them, on either engine),
/// then stores `rows` as `station`'s, numbered from 1 and linked one after the other (the first starting
/// the chain).
inline void addLinkedRows(TADOConnection& connection, const QString& station, const std::vector<LinkedRow>& rows) {
    connection.Open();
    QSqlQuery sql(connection.database());
    const QSqlRecord columns = connection.database().record(QStringLiteral("weight"));
    for (const char* column : {"站点", "序号", "标准值", "上限值", "下限值", "批号", "链"}) {
        const QString name = QString::fromUtf8(column);
        const bool text =
            name == QStringLiteral("站点") || name == QStringLiteral("批号") || name == QStringLiteral("链");
        if (!columns.contains(name)) {
            ASSERT_TRUE(sql.exec(QStringLiteral("alter table weight add column \"%1\" %2")
                                     .arg(name, text ? QStringLiteral("text") : QStringLiteral("double precision"))))
                << sql.lastError().text().toStdString();
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
