#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

namespace kelvora {

/// One row as ChainVerifier checks it: its identifier, its 链 and the linked fields as read.
struct LinkedRow {
    /// One linked field: a null, a number, or text as stored (UTF-8).
    struct Value {
        enum class Kind { Null, Number, Text };
        Kind kind = Kind::Null;
        double number = 0;
        std::string text;
    };

    qlonglong id = 0;
    bool linked = false; ///< whether the row has 链; a row without one (stored before the chain) has nothing else
    std::string link;
    std::string station;       ///< 站点, UTF-8
    double number = 0;         ///< 序号
    std::vector<Value> values; ///< the linked fields in their order
};

/// Reads the rows of a select of id, 链 and the linked fields (站点 and 序号 first) one at a time into a
/// LinkedRow whose storage is reused, so ten million rows need no allocation each. SQLite is read through its
/// own interface (no QVariant per value); other engines through Qt, with the column `timeColumn` as the
/// server's text. Throws DatabaseError with the engine's message.
///
/// Belongs to the thread that owns the connection.
class LinkedRowReader {
public:
    /// `sql` with its `bindings` (text or numbers) on the connection `db`.
    LinkedRowReader(QSqlDatabase& db, bool postgres, const QString& sql, int timeColumn,
                    const QVariantList& bindings = {});
    /// On a read-only connection of its own to the SQLite file `file`, for a thread of its own.
    LinkedRowReader(const QByteArray& file, const QString& sql, const QVariantList& bindings);
    ~LinkedRowReader();
    LinkedRowReader(const LinkedRowReader&) = delete;
    LinkedRowReader& operator=(const LinkedRowReader&) = delete;

    /// The next row into `row`; false after the last.
    bool next(LinkedRow& row);

private:
    void prepare(::sqlite3* handle, const QString& sql, const QVariantList& bindings);
    bool nextSqlite(LinkedRow& row);
    bool nextQuery(LinkedRow& row);

    std::optional<QSqlQuery> m_query; ///< through Qt: the rows of any engine but SQLite
    bool m_postgres;
    int m_timeColumn;
    sqlite3_stmt* m_statement = nullptr;
    ::sqlite3* m_own = nullptr; ///< the connection of its own, when it has one
};

} // namespace kelvora
