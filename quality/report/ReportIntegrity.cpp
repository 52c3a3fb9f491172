#include "quality/report/ReportIntegrity.h"

#include "data/ChainVerifier.h"
#include "data/LegalCounter.h"
#include "quality/report/ShiftReport.h"

using namespace Qt::StringLiterals;

namespace kelvora {

QString ReportIntegrity::warningText() const {
    if (holds())
        return {};
    return u"警告：本时间范围内有 %1 处记录未通过防篡改校验（记录被修改、删除或插入），"
           u"请用 kelvora-tool db verify 查看。"_s.arg(chainBreaks);
}

QString ReportIntegrity::countersText() const {
    if (legalCounts.empty())
        return u"法定相关设置事件计数器：无站点记录"_s;
    QStringList parts;
    for (const StationLegalCount& count : legalCounts)
        parts << u"%1 %2（本时段 %3 次）"_s.arg(count.station).arg(count.counter).arg(count.inRange);
    return u"法定相关设置事件计数器："_s + parts.join(u"；"_s);
}

ReportIntegrity loadIntegrity(TADOConnection& connection, const ReportRange& range, const QStringList& legalKeys) {
    ReportIntegrity integrity;
    ChainVerifier::Report chain;
    ChainVerifier(connection).verifyTable(u"weight"_s, ChainVerifier::weightFields(), range.from, range.to, chain);
    integrity.chainBreaks = static_cast<qlonglong>(chain.breaks.size());
    for (const QString& station : LegalCounter::stations(connection, range.from, range.to))
        integrity.legalCounts.push_back({station,
                                         LegalCounter::count(connection, station, legalKeys, std::nullopt, range.to),
                                         LegalCounter::count(connection, station, legalKeys, range.from, range.to)});
    return integrity;
}

} // namespace kelvora
