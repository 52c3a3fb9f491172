#include "data/DatabaseSetup.h"

#include "data/ConnectionTarget.h"
#include "data/DatabaseError.h"
#include "data/DialectTranslator.h"
#include "data/MdbReader.h"
#include "data/Schema.h"
#include "data/TADOConnection.h"
#include "data/TField.h"

#include <functional>

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kelvora::database_setup {

using namespace Qt::StringLiterals;

namespace {

using schema::ColumnKind;

void exec(QSqlDatabase& db, const QString& statement) {
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw DatabaseError(query.lastError().text());
}

QString quoted(const QString& name) {
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Inserts rows of one table with bound values; `columns` are schema names.
class RowWriter {
public:
    RowWriter(QSqlDatabase& db, const QString& table, const QStringList& columns) : m_query(db) {
        QStringList names;
        QStringList marks;
        for (const QString& column : columns) {
            names << quoted(column);
            marks << QStringLiteral("?");
        }
        const QString sql =
            QStringLiteral("insert into %1 (%2) values (%3)").arg(quoted(table), names.join(u','), marks.join(u','));
        if (!m_query.prepare(sql))
            throw DatabaseError(m_query.lastError().text());
    }

    void write(const QVariantList& values) {
        for (int i = 0; i < values.size(); ++i)
            m_query.bindValue(i, values[i]);
        if (!m_query.exec())
            throw DatabaseError(m_query.lastError().text());
    }

private:
    QSqlQuery m_query;
};

void refuseExistingTables(QSqlDatabase& db) {
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select table_name from information_schema.tables where table_schema = "
                                   "current_schema() and lower(table_name) in ('xh', 'weight', 'users', 'audit')")))
        throw DatabaseError(query.lastError().text());
    if (query.next())
        throw DatabaseError(QStringLiteral("The database already holds the table '%1'; it is left untouched")
                                .arg(query.value(0).toString()));
}

// The role stations log in through (see kStationRole): the tables to read and write, `audit` to read and
// append to only. A user without the right to create roles still gets the database, without the role.
const QString kStationRoleStatement =
    QStringLiteral(
        "DO $$BEGIN "
        "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE %1 NOLOGIN; END IF; "
        "EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA %I TO %1', current_schema()); "
        "EXECUTE format('GRANT USAGE ON ALL SEQUENCES IN SCHEMA %I TO %1', current_schema()); "
        "REVOKE UPDATE, DELETE, TRUNCATE ON \"audit\" FROM %1; "
        "EXCEPTION WHEN insufficient_privilege THEN RAISE NOTICE 'role %1 not created: %', SQLERRM; "
        "END$$")
        .arg(kStationRole);

void removeSqliteFiles(const QString& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

// Creates the tables and runs `fill` in one transaction; an SQLite file is created for it and removed
// again when anything fails, so a failed set-up leaves nothing behind.
void buildNewDatabase(const QString& target, const std::function<void(QSqlDatabase&)>& fill) {
    const ConnectionTarget where = parseConnectionTarget(target);
    const bool sqlite = where.engine == ConnectionTarget::Engine::Sqlite;
    if (sqlite) {
        QFile file(where.filePath);
        if (QFileInfo::exists(where.filePath))
            throw DatabaseError(QStringLiteral("'%1' already exists; it is left untouched").arg(where.filePath));
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw DatabaseError(QStringLiteral("Cannot create '%1': %2").arg(where.filePath, file.errorString()));
    }
    TADOConnection connection(sqlite ? QStringLiteral("Data Source=\"%1\";").arg(where.filePath) : target);
    try {
        connection.Open();
        {
            QSqlDatabase db = connection.database();
            if (!sqlite)
                refuseExistingTables(db);
            exec(db, sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
            try {
                for (const QString& statement :
                     schema::createStatements(sqlite ? schema::Dialect::Sqlite : schema::Dialect::Postgres))
                    exec(db, statement);
                if (!sqlite)
                    exec(db, kStationRoleStatement);
                fill(db);
                exec(db, QStringLiteral("COMMIT"));
            } catch (...) {
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                throw;
            }
        }
        connection.Close();
    } catch (...) {
        connection.Close();
        if (sqlite)
            removeSqliteFiles(where.filePath);
        throw;
    }
}

QStringList columnNames(const schema::Table& table) {
    QStringList names;
    for (const schema::Column& column : table.columns)
        names << column.name;
    return names;
}

QVariant typedValue(const MdbReader::Field& field, const schema::Column& column, const QString& where) {
    const auto fail = [&](const char* what) {
        return DatabaseError(QStringLiteral("%1, column %2: '%3' is not %4")
                                 .arg(where, column.name, field.text, QLatin1StringView(what)));
    };
    switch (column.kind) {
    case ColumnKind::Text:
        return field.text; // mdbtools prints a null text like an empty one
    case ColumnKind::Number: {
        if (field.isNull())
            return QVariant(QMetaType::fromType<double>());
        if (const auto number = parseDecimal(field.text))
            return *number;
        throw fail("a number");
    }
    case ColumnKind::YesNo: {
        const QString t = field.text.trimmed().toUpper();
        if (t.isEmpty() || t == u"0" || t == u"FALSE")
            return false;
        if (t == u"1" || t == u"-1" || t == u"TRUE")
            return true;
        throw fail("yes or no");
    }
    case ColumnKind::DateTime: {
        if (field.isNull())
            return QVariant(QMetaType::fromType<QString>());
        if (!parseStoredTime(field.text))
            throw fail("a date and time");
        return field.text;
    }
    }
    return {};
}

// The columns without which a row of the station's tables means nothing; an empty one in the file is
// damage, not data.
bool required(const QString& table, const QString& column) {
    static const QStringList columns{u"XH.型号"_s,         u"weight.型号"_s, u"weight.重量"_s,
                                     u"weight.检定结果"_s, u"weight.时间"_s, u"users.用户名称"_s};
    return columns.contains(table + u'.' + column);
}

DatabaseError damaged(const QString& mdbTable, const QString& what) {
    return DatabaseError(u"The Access file is damaged: table %1 %2; nothing was imported"_s.arg(mdbTable, what));
}

int importTable(QSqlDatabase& db, const MdbReader& reader, const QString& mdbTable, const schema::Table& table) {
    const MdbReader::Table source = reader.readTable(mdbTable);
    // mdb-export skips rows it cannot read and still succeeds: the file's own count tells.
    const int stated = reader.rowCount(mdbTable);
    if (stated != static_cast<int>(source.rows.size()))
        throw damaged(mdbTable,
                      u"holds %1 rows by its own count, %2 could be read"_s.arg(stated).arg(source.rows.size()));
    std::vector<int> sourceIndex; // per schema column, -1 when the file lacks it
    for (const schema::Column& column : table.columns) {
        qsizetype found = -1;
        for (qsizetype i = 0; i < source.columns.size(); ++i)
            if (source.columns[i].compare(column.name, Qt::CaseInsensitive) == 0)
                found = i;
        if (found < 0 && column.kind != ColumnKind::YesNo)
            throw DatabaseError(
                QStringLiteral("The table %1 of the Access file has no column %2").arg(mdbTable, column.name));
        sourceIndex.push_back(static_cast<int>(found));
    }
    RowWriter writer(db, table.name, columnNames(table));
    int count = 0;
    for (const auto& row : source.rows) {
        ++count;
        const QString where = QStringLiteral("Table %1, row %2").arg(mdbTable).arg(count);
        QVariantList values;
        for (size_t c = 0; c < table.columns.size(); ++c) {
            const MdbReader::Field missing{};
            const MdbReader::Field& field = sourceIndex[c] >= 0 ? row[sourceIndex[c]] : missing;
            if (required(table.name, table.columns[c].name) && field.text.trimmed().isEmpty())
                throw damaged(mdbTable, u"row %1 has no %2"_s.arg(count).arg(table.columns[c].name));
            values << typedValue(field, table.columns[c], where);
        }
        writer.write(values);
    }
    return count;
}

} // namespace

void initDatabase(const QString& target, bool demo) {
    buildNewDatabase(target, [demo](QSqlDatabase& db) {
        const schema::Table& users = *schema::findTable(QStringLiteral("users"));
        QVariantList admin{QStringLiteral("admin"), schema::kInitialPassword};
        while (admin.size() < static_cast<qsizetype>(users.columns.size()))
            admin << true;
        RowWriter(db, users.name, columnNames(users)).write(admin);
        if (!demo)
            return;
        // Prepackages weighed in kg: the lower limit at the nominal less the tolerable negative error T
        // (1.5 % from 1 to 10 kg, 150 g from 10 to 15 kg, 1 % from 15 to 50 kg), rounded up to the gram;
        // the upper limit at the nominal plus 2 T, the giveaway the filler allows.
        RowWriter models(db, QStringLiteral("XH"), columnNames(*schema::findTable(QStringLiteral("XH"))));
        models.write({QStringLiteral("大米-5kg"), 5.0, 5.15, 4.925});    // T 75 g
        models.write({QStringLiteral("面粉-10kg"), 10.0, 10.3, 9.85});   // T 150 g
        models.write({QStringLiteral("大米-25kg"), 25.0, 25.5, 24.75});  // T 250 g
        models.write({QStringLiteral("白糖-1kg"), 1.0, 1.03, 0.985});    // T 15 g
        models.write({QStringLiteral("面粉-2.5kg"), 2.5, 2.575, 2.463}); // T 37.5 g
    });
}

void ensureGuards(TADOConnection& connection) {
    connection.Open();
    QSqlDatabase db = connection.database();
    const schema::Dialect dialect = connection.dialect();
    if (!db.tables().contains(u"audit"_s, Qt::CaseInsensitive))
        for (const QString& statement : schema::auditStatements(dialect))
            exec(db, statement);
    if (dialect == schema::Dialect::Postgres) {
        QSqlQuery query(db);
        if (!query.exec(u"select 1 from pg_trigger where tgname = 'users_guard'"_s))
            throw DatabaseError(query.lastError().text());
        if (query.next())
            return;
    }
    for (const QString& statement : schema::userGuardStatements(dialect))
        exec(db, statement);
}

ImportCounts importMdb(const QString& mdbFile, const QString& target) {
    const MdbReader reader(mdbFile);
    const QStringList present = reader.tableNames();
    const auto mdbName = [&](const QString& name) {
        for (const QString& table : present)
            if (table.compare(name, Qt::CaseInsensitive) == 0)
                return table;
        throw DatabaseError(QStringLiteral("The Access file '%1' has no table %2").arg(mdbFile, name));
    };
    const QString xh = mdbName(QStringLiteral("XH"));
    const QString weight = mdbName(QStringLiteral("weight"));
    const QString users = mdbName(QStringLiteral("users"));
    ImportCounts counts;
    buildNewDatabase(target, [&](QSqlDatabase& db) {
        counts.models = importTable(db, reader, xh, *schema::findTable(QStringLiteral("XH")));
        counts.records = importTable(db, reader, weight, *schema::findTable(QStringLiteral("weight")));
        counts.users = importTable(db, reader, users, *schema::findTable(QStringLiteral("users")));
    });
    return counts;
}

} // namespace kelvora::database_setup
