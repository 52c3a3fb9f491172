#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace kelvora {

class TADOConnection;

/// Checks the RecordChain links of the tables `audit` and `weight` (when `weight` has the column 链): per
/// station (站点), rows in the order of 序号, each row's 链 against the link of the row before it and its
/// own fields. Rows without 链 (stored before the chain existed) are counted and skipped. A station's first
/// linked row starts a chain (previous link empty), as after 初始化.
class ChainVerifier {
public:
    struct Break {
        QString table;
        QString station;
        qlonglong id = 0;    ///< the row's identifier
        double number = 0;   ///< its 序号
        QString explanation; ///< in the words of the report, e.g. "edited", "inserted"
    };
    struct Report {
        qlonglong checked = 0;     ///< rows whose link was checked
        qlonglong withoutLink = 0; ///< rows without 链, skipped
        std::vector<Break> breaks;
        bool holds() const { return breaks.empty(); }
    };

    /// The fields each table's rows are linked with, in the order they are hashed.
    static const QStringList& weightFields();
    static const QStringList& auditFields();

    /// Where a station's rows pick up: the link and 序号 of the row before them (none: a chain's start).
    struct RowBefore {
        std::string link;
        std::optional<double> number;
    };

    /// Rows handed at a time from the thread that reads them to the one that checks them.
    static constexpr std::size_t kRowsPerBatch = 2048;
    /// From this many rows a table of an SQLite file is checked whole in two halves at once, each read and
    /// checked on threads of its own with a connection of its own.
    static constexpr qlonglong kSplitFrom = 100'000;

    explicit ChainVerifier(TADOConnection& connection, std::size_t rowsPerBatch = kRowsPerBatch,
                           qlonglong splitFrom = kSplitFrom)
        : m_connection(connection), m_rowsPerBatch(rowsPerBatch > 0 ? rowsPerBatch : 1), m_splitFrom(splitFrom) {}

    /// Checks both tables, limited to rows whose 时间 lies in [from, to] when given (the first row in the
    /// range is checked against the link of the row before it). The rows are read on the calling thread and
    /// checked on a second one meanwhile. Throws DatabaseError.
    Report verify(const std::optional<QDateTime>& from = std::nullopt,
                  const std::optional<QDateTime>& to = std::nullopt);
    /// One table; `weight` without 链 gives an empty report.
    void verifyTable(const QString& table, const QStringList& fields, const std::optional<QDateTime>& from,
                     const std::optional<QDateTime>& to, Report& report);

    /// The link of the station's last row of `weight`; empty when it has none or the table has no 链.
    static QString lastWeightLink(TADOConnection& connection, const QString& station);

private:
    /// The second half starts at the row (站点, 序号) = (station, number), going on from `previous`.
    struct Split {
        QString station;
        double number;
        std::optional<RowBefore> previous;
    };
    /// Where to halve the table: at its middle row, unless the station's row before it is broken.
    std::optional<Split> findSplit(QSqlDatabase& db, const QString& table, const QString& select) const;
    void verifyHalves(QSqlDatabase& db, const QString& table, const QString& select, const Split& split,
                      Report& report) const;

    TADOConnection& m_connection;
    std::size_t m_rowsPerBatch;
    qlonglong m_splitFrom;
};

} // namespace kelvora
