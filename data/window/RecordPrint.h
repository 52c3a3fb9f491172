#pragma once

#include <QString>

class QPagedPaintDevice;

namespace kelvora {

class TADOQuery;

/// The record query window's printout: every row of the query's result in a table on landscape A4, each
/// page headed by the station, the time range, the condition and the count, and numbered.
class RecordPrint {
public:
    struct Heading {
        QString station;
        QString range;     ///< "2024-07-01 08:00:00 至 2024-07-15 18:30:00"
        QString condition; ///< "检定结果 = 超高", or empty for none
    };

    /// Sets `device` to landscape A4 and paints the pages on it. Returns the number of pages (at least one,
    /// a page saying there is no record for an empty result). Throws DatabaseError when the query is closed.
    static int paint(QPagedPaintDevice& device, const TADOQuery& query, const Heading& heading,
                     const QString& title = QStringLiteral("称重记录"));
};

} // namespace kelvora
