#pragma once

#include <vector>

#include <QString>
#include <QStringList>

namespace kelvora {

class TADOConnection;
struct ReportRange;

/// The legal counter of one station (LegalCounter): its figure at the end of a range, and how many of
/// its events fell within the range.
struct StationLegalCount {
    QString station;
    int counter = 0;
    int inRange = 0;
};

/// Whether the records a report shows can be trusted: the links of the range's rows of `weight`
/// (ChainVerifier), and each station's counter of legally relevant settings.
struct ReportIntegrity {
    qlonglong chainBreaks = 0; ///< rows of the range whose link does not verify
    std::vector<StationLegalCount> legalCounts;

    bool holds() const { return chainBreaks == 0; }
    /// The red warning, worded as the record query window words it; empty when the links hold.
    QString warningText() const;
    /// "法定相关设置事件计数器：线1 12（本时段 1 次）；线2 …", or that no station was found.
    QString countersText() const;
};

/// Verifies the range's rows of `weight` (any model) and reads the legal counter of each station of the
/// range; `legalKeys` names the legally relevant settings as "[section] key". Throws DatabaseError.
ReportIntegrity loadIntegrity(TADOConnection& connection, const ReportRange& range, const QStringList& legalKeys);

} // namespace kelvora
