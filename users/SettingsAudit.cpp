#include "users/SettingsAudit.h"

#include "app/config/OptionKeys.h"
#include "app/config/ProfileFile.h"
#include "data/AuditTrail.h"
#include "data/DatabaseError.h"
#include "data/LegalCounter.h"

#include <QFile>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

QString keyName(const OptionKey& key) {
    return u"[%1] %2"_s.arg(QString::fromUtf8(key.section.data(), static_cast<qsizetype>(key.section.size())),
                            QString::fromUtf8(key.name.data(), static_cast<qsizetype>(key.name.size())));
}

QString shown(const std::optional<QString>& value) {
    return value ? *value : u"(无)"_s;
}

SettingsAudit::Values readSnapshot(const QString& path, bool& present) {
    SettingsAudit::Values values;
    QFile file(path);
    present = file.open(QIODevice::ReadOnly);
    if (!present)
        return values;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        const qsizetype equals = text.indexOf(u'=', text.indexOf(u']'));
        if (equals > 0)
            values[text.left(equals)] = text.mid(equals + 1);
    }
    return values;
}

} // namespace

SettingsAudit::Values SettingsAudit::read(const std::string& iniPath) {
    const ProfileFile ini(iniPath);
    Values values;
    for (const OptionKey* key : allOptionKeys()) {
        if (key == &option::ProductCount || key == &option::CurrentLot)
            continue; // written by the station while weighing; the lot is on record with each Start
        auto text = ini.readText(std::string(key->section), std::string(key->name));
        if (key == &option::MqttPassword && text && !text->empty())
            text = "******"; // the broker's password never goes into the trail in clear
        values[keyName(*key)] = text ? std::optional<QString>(QString::fromStdString(*text)) : std::nullopt;
    }
    return values;
}

int SettingsAudit::recordChanges(const Values& before, const Values& after, const QString& event, AuditTrail& trail) {
    static const QStringList batchKeys{keyName(option::BatchCount), keyName(option::BatchReminder)};
    std::vector<AuditTrail::Event> events;
    for (const auto& [key, value] : after) {
        const auto old = before.find(key);
        const std::optional<QString> oldValue = old == before.end() ? std::nullopt : old->second;
        if (oldValue == value)
            continue;
        events.push_back(
            {batchKeys.contains(key) ? audit_event::kBatch : event, key, shown(oldValue), shown(value), {}});
    }
    // One save is one transaction: its keys are on record together or not at all.
    if (!events.empty())
        trail.record(events);
    return static_cast<int>(events.size());
}

int SettingsAudit::recordOutsideChanges(const std::string& iniPath, AuditTrail& trail) {
    bool present = false;
    const Values recorded = readSnapshot(snapshotPath(iniPath), present);
    const int rows = present ? recordChanges(recorded, read(iniPath), audit_event::kSettingOutside, trail) : 0;
    remember(iniPath);
    return rows;
}

void SettingsAudit::remember(const std::string& iniPath) {
    QByteArray text;
    for (const auto& [key, value] : read(iniPath))
        if (value)
            text += (key + u'=' + *value + u'\n').toUtf8();
    QSaveFile file(snapshotPath(iniPath));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw DatabaseError(u"无法写入 %1: %2"_s.arg(file.fileName(), file.errorString()));
}

QString SettingsAudit::snapshotPath(const std::string& iniPath) {
    return QString::fromStdString(iniPath) + u".audit"_s;
}

int SettingsAudit::legalCounter(AuditTrail& trail) {
    return LegalCounter::count(trail.connection(), trail.station(), legalKeys());
}

bool SettingsAudit::legallyRelevant(const QString& key) {
    return legalKeys().contains(key);
}

const QStringList& SettingsAudit::legalKeys() {
    using namespace option;
    static const QStringList keys{keyName(ProductThreshold), keyName(Algorithm1),   keyName(Algorithm2),
                                  keyName(Algorithm3),       keyName(SamplingMode), keyName(MinimumReadings),
                                  keyName(Indicator1),       keyName(Indicator2),   keyName(Decoding),
                                  keyName(IndicatorModel),   keyName(PollRate)};
    return keys;
}

} // namespace kelvora
