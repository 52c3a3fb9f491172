#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

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

    /// Rows handed at a time from the thread that reads them (the connection's) to the one that checks them.
    static constexpr std::size_t kRowsPerBatch = 2048;

    explicit ChainVerifier(TADOConnection& connection, std::size_t rowsPerBatch = kRowsPerBatch)
        : m_connection(connection), m_rowsPerBatch(rowsPerBatch > 0 ? rowsPerBatch : 1) {}

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
    TADOConnection& m_connection;
    std::size_t m_rowsPerBatch;
};

} // namespace kelvora
