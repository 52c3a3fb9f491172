#pragma once

#include <optional>
#include <vector>

#include <QString>

namespace kelvora {

class TADOConnection;
struct ReportRange;

/// One stored check of the line's checkweigher: a performance check with a test weight (性能检查) or a
/// challenge test with packs at the limits (剔除检查).
struct CheckRecord {
    QString kind; ///< "性能检查" or "剔除检查"
    QString time; ///< "YYYY-MM-DD HH:MM:SS"
    QString operatorName;
    QString model;
    QString shift; ///< the start of the shift it belongs to, "YYYY-MM-DD HH:MM"
    bool passed = false;
    QString summary; ///< the figures and the readings, for the record
};

/// The table `checks` of the station's database (schema::checksTable()): `db init` makes it, and a
/// database made before it gains it when a check is first stored. Throws DatabaseError.
void ensureChecksTable(TADOConnection& connection);
/// Stores a check (creating the table where needed). Throws DatabaseError.
void storeCheck(TADOConnection& connection, const CheckRecord& check);
/// The checks from the range's start to its end, oldest first; none where the table does not exist.
/// Throws DatabaseError.
std::vector<CheckRecord> loadChecks(TADOConnection& connection, const ReportRange& range);
/// Whether a passing check of `kind` belongs to the shift that started at `shift` ("YYYY-MM-DD HH:MM").
/// Throws DatabaseError.
bool passingCheckOfShift(TADOConnection& connection, const QString& kind, const QString& shift);

} // namespace kelvora
