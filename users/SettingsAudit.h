#pragma once

#include <map>
#include <optional>
#include <string>

#include <QString>
#include <QStringList>

namespace kelvora {

class AuditTrail;

/// Option.ini as the audit trail sees it: every key of the option table (allOptionKeys()) but the
/// product counter and the lot number the station writes itself while weighing, by "[section] key".
class SettingsAudit {
public:
    /// Text of each key as the file holds it; nullopt for a key the file lacks.
    using Values = std::map<QString, std::optional<QString>>;

    static Values read(const std::string& iniPath);

    /// Records one row per key whose text differs, in key order: `event`, object "[section] key", the old
    /// and the new text (a missing key as "(无)"); the batch keys [Word] Num and TX_Num as 批次修改.
    /// Returns the number of rows. Throws DatabaseError.
    static int recordChanges(const Values& before, const Values& after, const QString& event, AuditTrail& trail);

    /// At the station's start: the file against the state the station last recorded (kept in
    /// snapshotPath()), each difference recorded as 设置文件外部修改 (or 批次修改), then the snapshot
    /// renewed. A station without a snapshot records none and makes one. Returns the number of rows.
    static int recordOutsideChanges(const std::string& iniPath, AuditTrail& trail);
    /// After the program wrote the file itself: the snapshot renewed, so the change is not taken for one
    /// made outside. Throws DatabaseError when the snapshot cannot be written.
    static void remember(const std::string& iniPath);

    /// "Option.ini.audit" beside the file: one line "[section] key=text" per key present, UTF-8.
    static QString snapshotPath(const std::string& iniPath);

    /// The event counter of legally relevant settings: the rows of the station's trail that changed a
    /// model's limits (型号添加, 型号修改, 型号删除) or a key that legallyRelevant() names. Zero is not one.
    /// Throws DatabaseError.
    static int legalCounter(AuditTrail& trail);

    /// Whether a key governs the verdict (limits are in the catalogue): the product threshold, the
    /// capture, the indicator's type and decoding.
    static bool legallyRelevant(const QString& key);
    /// Those keys, as "[section] key" (for LegalCounter).
    static const QStringList& legalKeys();
};

} // namespace kelvora
