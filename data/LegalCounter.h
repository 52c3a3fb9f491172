#pragma once

#include <optional>

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kelvora {

class TADOConnection;

/// The event counter of legally relevant settings, read from the audit trail: a station's rows of
/// `audit` that changed a model's limits (型号添加, 型号修改, 型号删除) or one of the settings that govern
/// the verdict (设置修改 or 设置文件外部修改 of a key the caller names as "[section] key"). The count only
/// grows: a figure that differs from the one noted at the last verification shows a change since.
class LegalCounter {
public:
    /// The station's count over rows with 时间 in [from, until] (either end open when not given); 0 when
    /// the database has no `audit`. Throws DatabaseError.
    static int count(TADOConnection& connection, const QString& station, const QStringList& keys,
                     const std::optional<QDateTime>& from = std::nullopt,
                     const std::optional<QDateTime>& until = std::nullopt);

    /// The stations (站点) of the rows of `weight` with 时间 in [from, to], by name; where the table has
    /// no such column or no row names one, the stations of `audit`. Throws DatabaseError.
    static QStringList stations(TADOConnection& connection, const QDateTime& from, const QDateTime& to);
};

} // namespace kelvora
