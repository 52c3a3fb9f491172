#include "tools/ReportCommand.h"

#include "data/DatabaseError.h"
#include "data/JournalBacklog.h"
#include "data/TADOConnection.h"
#include "quality/report/ShiftReport.h"
#include "tools/CommandArguments.h"
#include "tools/ReportSigning.h"
#include "users/SettingsAudit.h"
#ifdef KELVORA_REPORT_PDF
#include "data/AuditTrail.h"
#include "quality/report/ReportPdf.h"
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#ifdef KELVORA_REPORT_PDF
#include <QGuiApplication>
#endif

namespace kelvora {

namespace {

const char* const kUsage =
    "usage: kelvora-tool report --db TARGET --from \"YYYY-MM-DD HH:MM:SS\" --to \"YYYY-MM-DD HH:MM:SS\"\n"
    "                           [--model M] [--pdf FILE] [--csv FILE] [--unit kg|g] [--regime china|eu|oiml]\n"
    "                           [--json] [--lots] [--lot-split shift|hour] [--shifts HH:MM,HH:MM,...]\n"
    "                           [--sign USER --meaning 审核|批准|reviewed|approved] [--ini FILE]\n";

int usage(const std::string& problem) {
    std::fprintf(stderr, "kelvora-tool report: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

QDateTime timeOption(const CommandArguments& arguments, const std::string& name) {
    const std::string text = arguments.text(name, "");
    const QDateTime time = reportTime(QString::fromStdString(text));
    // The round trip refuses what the parser would quietly take (single digits, a sign).
    if (!time.isValid() || reportTimeText(time).toStdString() != text)
        throw std::invalid_argument("--" + name + " needs a local time \"YYYY-MM-DD HH:MM:SS\", not '" + text + "'");
    return time;
}

// The application object the engines' plugins (and the PDF's fonts) need; a PDF needs the GUI one, on
// the offscreen platform so that no display is required.
std::unique_ptr<QCoreApplication> makeApplication(bool pdf) {
    if (QCoreApplication::instance())
        return nullptr;
    static int argc = 3;
    static char name[] = "kelvora-tool", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
#ifdef KELVORA_REPORT_PDF
    if (pdf)
        return std::make_unique<QGuiApplication>(argc, argv);
#endif
    (void)pdf;
    argc = 1;
    return std::make_unique<QCoreApplication>(argc, argv);
}

// "HH:MM,HH:MM,…" as minutes after midnight, sorted.
std::vector<int> shiftStarts(const std::string& text) {
    std::vector<int> starts;
    for (const QString& part : QString::fromStdString(text).split(u',')) {
        const QTime time = QTime::fromString(part.trimmed(), QStringLiteral("HH:mm"));
        if (!time.isValid())
            throw std::invalid_argument("--shifts needs times \"HH:MM,HH:MM,...\", not '" + text + "'");
        starts.push_back(time.hour() * 60 + time.minute());
    }
    std::sort(starts.begin(), starts.end());
    return starts;
}

QJsonValue orNull(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

// The fields a model and a lot share: the rules, the figures and the inspection readiness.
QJsonObject judgement(const QString& model, Regime regime, double nominal, const RunningStatistics& weights,
                      std::int64_t shipped, const std::optional<AverageQuantityCheck>& quantity,
                      const std::optional<LotReadiness>& readiness, WeightUnit unit) {
    const double toGrams = gramsPer(unit);
    QJsonObject object{{QStringLiteral("model"), model},
                       {QStringLiteral("regime"), QString::fromStdString(regimeKey(regime))},
                       {QStringLiteral("nominal_g"), nominal * toGrams},
                       {QStringLiteral("count"), static_cast<qint64>(weights.count())},
                       {QStringLiteral("shipped"), static_cast<qint64>(shipped)},
                       {QStringLiteral("mean_g"), weights.mean() * toGrams},
                       {QStringLiteral("sd_g"), weights.standardDeviation() * toGrams}};
    if (!quantity) {
        object.insert(QStringLiteral("verdict"), QStringLiteral("不适用"));
        object.insert(QStringLiteral("reason"), QString::fromStdString(notCoveredReason(regime, nominal * toGrams)));
        return object;
    }
    const QuantityLimits& l = quantity->limits();
    object.insert(QStringLiteral("t_g"), l.tne);
    object.insert(QStringLiteral("tu1_g"), l.tu1);
    object.insert(QStringLiteral("tu2_g"), l.tu2);
    object.insert(QStringLiteral("short_t"), static_cast<qint64>(quantity->belowTu1()));
    object.insert(QStringLiteral("short_2t"), static_cast<qint64>(quantity->zoneCount(QuantityZone::BelowTu2)));
    object.insert(QStringLiteral("verdict"), quantity->passes() ? QStringLiteral("合格") : QStringLiteral("不合格"));
    object.insert(QStringLiteral("pass_probability"),
                  orNull(readiness ? std::optional(readiness->passProbability) : std::nullopt));
    object.insert(QStringLiteral("min_target_g"),
                  orNull(readiness ? std::optional(readiness->minTargetMean) : std::nullopt));
    object.insert(QStringLiteral("saving_g_per_pack"),
                  orNull(readiness ? std::optional(readiness->savingPerPack) : std::nullopt));
    return object;
}

// Whether the range's rows verify, and each station's legal counter.
void addIntegrity(QJsonObject& object, const std::optional<ReportIntegrity>& integrity) {
    if (!integrity)
        return;
    object.insert(QStringLiteral("chain_breaks"), integrity->chainBreaks);
    QJsonObject counters;
    for (const StationLegalCount& count : integrity->legalCounts)
        counters.insert(count.station, count.counter);
    object.insert(QStringLiteral("legal_counters"), counters);
}

void printJson(const ShiftReport& report, Regime regime, bool lots) {
    for (const ModelReport& m : report.models) {
        std::int64_t shipped = 0;
        for (const LotReport& lot : report.lots)
            if (lot.model.compare(m.model, Qt::CaseInsensitive) == 0)
                shipped += lot.normal;
        // The range's figures come from the engine's aggregates, not from a running set.
        QJsonObject object = judgement(m.model, regime, m.settings.nominal, RunningStatistics{}, shipped, m.quantity,
                                       m.readiness, m.settings.unit);
        const double toGrams = gramsPer(m.settings.unit);
        object.insert(QStringLiteral("count"), static_cast<qint64>(m.count));
        object.insert(QStringLiteral("mean_g"), m.mean * toGrams);
        object.insert(QStringLiteral("sd_g"), m.sd * toGrams);
        object.insert(QStringLiteral("limits_recorded"), m.limits == LimitsSource::Records);
        if (m.limits == LimitsSource::Changed)
            object.insert(QStringLiteral("reason"), QStringLiteral("限值在时段内有变化，按批判定"));
        else if (!m.inCatalogue)
            object.insert(QStringLiteral("reason"), QStringLiteral("型号不在产品目录中"));
        addIntegrity(object, report.integrity);
        std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    }
    if (!lots)
        return;
    for (const LotReport& lot : report.lots) {
        QJsonObject object = judgement(lot.model, regime, lot.settings.nominal, lot.weights, lot.normal, lot.quantity,
                                       lot.readiness, lot.settings.unit);
        object.insert(QStringLiteral("lot"), lot.period);
        object.insert(QStringLiteral("lot_number"), lot.lotNumber);
        object.insert(QStringLiteral("station"), lot.station);
        object.insert(QStringLiteral("first"), lot.firstTime);
        object.insert(QStringLiteral("last"), lot.lastTime);
        object.insert(QStringLiteral("limits_recorded"), lot.limitsRecorded);
        if (!lot.inCatalogue)
            object.insert(QStringLiteral("reason"), QStringLiteral("型号不在产品目录中"));
        std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    }
}

void printReadiness(const std::optional<LotReadiness>& r) {
    if (!r)
        return;
    std::printf("    official check: passes with %.1f %%, lowest target mean %.1f g (%+.1f g a pack)\n",
                r->passProbability * 100.0, r->minTargetMean, r->savingPerPack);
}

void printLots(const ShiftReport& report) {
    std::printf("  %zu lot(s)\n", report.lots.size());
    for (const LotReport& lot : report.lots) {
        std::printf("  lot %s %s%s%s: %lld products, %lld shipped, %s\n", lot.model.toUtf8().constData(),
                    qPrintable(lot.period), lot.lotNumber.isEmpty() ? "" : " 批号 ", lot.lotNumber.toUtf8().constData(),
                    static_cast<long long>(lot.weights.count()), static_cast<long long>(lot.normal),
                    lot.verdictText().toUtf8().constData());
        printReadiness(lot.readiness);
    }
}

void printSummary(const ShiftReport& report) {
    std::printf("Kelvora report %s to %s: %zu model(s)\n", qPrintable(reportTimeText(report.range.from)),
                qPrintable(reportTimeText(report.range.to)), report.models.size());
    if (report.integrity)
        std::printf("  %s\n", report.integrity->countersText().toUtf8().constData());
    for (const ModelReport& m : report.models) {
        std::printf("  %s: %lld products (超高 %lld, 正常 %lld, 超低 %lld), mean %.3f, sd %.4f, min %.3f, max %.3f\n",
                    m.model.toUtf8().constData(), static_cast<long long>(m.count), static_cast<long long>(m.over),
                    static_cast<long long>(m.normal), static_cast<long long>(m.under), m.mean, m.sd, m.minimum,
                    m.maximum);
        std::printf("    limits: %s\n", m.limits == LimitsSource::Records   ? "as the rows recorded them"
                                        : m.limits == LimitsSource::Changed ? "changed within the range, judged per lot"
                                                                            : "the catalogue's (rows without limits)");
        if (!m.quantity) {
            std::printf("    average-quantity rules: not applicable\n");
            continue;
        }
        const AverageQuantityCheck& q = *m.quantity;
        std::printf("    average-quantity rules: TU1 %.1f g, TU2 %.1f g, mean %s, below TU1 %lld (%s), below TU2 %lld "
                    "(%s): %s\n",
                    q.limits().tu1, q.limits().tu2, q.meanRule() ? "ok" : "FAIL", static_cast<long long>(q.belowTu1()),
                    q.tu1Rule() ? "ok" : "FAIL", static_cast<long long>(q.zoneCount(QuantityZone::BelowTu2)),
                    q.tu2Rule() ? "ok" : "FAIL", q.passes() ? "passes" : "fails");
        printReadiness(m.readiness);
    }
}

#ifdef KELVORA_REPORT_PDF
// The PDF signed by a signer whose password was checked, said on `out`.
void signPdf(const ShiftReport& report, const std::string& pdf, const SignatureRequest& signature, AuditTrail& trail,
             std::FILE* out) {
    writeSignedReport(report, QString::fromStdString(pdf),
                      {signature.signer, signature.meaning, QDateTime::currentDateTime()}, trail);
    std::fprintf(out, "  signed by %s (%s)\n", signature.signer.toUtf8().constData(),
                 signature.meaning.toUtf8().constData());
}
#endif

// The flags without a value, taken out of the arguments CommandArguments reads.
bool takeFlag(std::vector<char*>& arguments, const char* flag) {
    const auto found =
        std::find_if(arguments.begin(), arguments.end(), [&](const char* a) { return std::strcmp(a, flag) == 0; });
    if (found == arguments.end())
        return false;
    arguments.erase(found);
    return true;
}

} // namespace

int runReportCommand(int argc, char** argv) {
    ReportRange range;
    QualitySettings settings;
    LotRules lotRules;
    lotRules.shiftStarts = {0, 8 * 60, 16 * 60};
    std::string target, pdf, csv, ini;
    std::optional<SignatureRequest> signature;
    std::vector<char*> rest(argv, argv + argc);
    const bool json = takeFlag(rest, "--json");
    const bool lots = takeFlag(rest, "--lots");
    try {
        const CommandArguments arguments(static_cast<int>(rest.size()), rest.data(),
                                         {"db", "from", "to", "model", "pdf", "csv", "unit", "regime", "lot-split",
                                          "shifts", "sign", "meaning", "ini"});
        for (const char* required : {"db", "from", "to"})
            if (!arguments.has(required))
                return usage(std::string("--") + required + " is required");
        target = arguments.text("db", "");
        range.from = timeOption(arguments, "from");
        range.to = timeOption(arguments, "to");
        if (range.from > range.to)
            return usage("--from is later than --to");
        if (arguments.has("model"))
            range.model = QString::fromStdString(arguments.text("model", ""));
        const std::string unit = arguments.text("unit", "kg");
        if (unit != "kg" && unit != "g")
            return usage("--unit is kg or g, not '" + unit + "'");
        settings.unit = unit == "kg" ? WeightUnit::Kilogram : WeightUnit::Gram;
        const std::string regime = arguments.text("regime", "china");
        const auto parsed = parseRegime(regime);
        if (!parsed || regime == "中国" || regime == "欧盟")
            return usage("--regime is china, eu or oiml, not '" + regime + "'");
        settings.regime = *parsed;
        const std::string split = arguments.text("lot-split", "shift");
        if (split != "shift" && split != "hour")
            return usage("--lot-split is shift or hour, not '" + split + "'");
        lotRules.split = split == "hour" ? LotRules::Split::Hour : LotRules::Split::Shift;
        if (arguments.has("shifts"))
            lotRules.shiftStarts = shiftStarts(arguments.text("shifts", ""));
        pdf = arguments.text("pdf", "");
        csv = arguments.text("csv", "");
        signature = signatureRequest(arguments);
        ini = arguments.text("ini", "");
        if (arguments.has("ini") && !QFileInfo(QString::fromStdString(ini)).isFile())
            return usage("--ini names no file: '" + ini + "'"); // never a weaker check by a typing error
    } catch (const std::invalid_argument& error) {
        return usage(error.what());
    }
#ifndef KELVORA_REPORT_PDF
    if (!pdf.empty())
        return usage("this build has no PDF output (built without KELVORA_GUI)");
#endif
    const auto application = makeApplication(!pdf.empty());
    const QString password = signature ? readPassword() : QString();
    try {
        TADOConnection connection(QString::fromStdString(target));
        ShiftReport report = loadShiftReport(connection, range, settings, 500, lotRules);
        report.integrity = loadIntegrity(connection, range, SettingsAudit::legalKeys());
        if (!report.integrity->holds())
            std::fprintf(stderr, "report: %s\n", report.integrity->warningText().toUtf8().constData());
        if (const std::int64_t waiting = journalBacklog(connection); waiting > 0)
            std::fprintf(stderr,
                         "report: %lld records still wait in the station's journal and are not in this report\n",
                         static_cast<long long>(waiting));
        if (json) {
            printJson(report, settings.regime, lots);
        } else {
            printSummary(report);
            if (lots)
                printLots(report);
        }
#ifdef KELVORA_REPORT_PDF
        if (signature) {
            const auto trail = verifiedSigner(connection, QString::fromStdString(target), *signature, password, ini);
            signPdf(report, pdf, *signature, *trail, json ? stderr : stdout);
        } else if (!pdf.empty()) {
            writeReportPdf(report, QString::fromStdString(pdf));
        }
#endif
        if (!csv.empty()) {
            const auto rows = writeRecordsCsv(connection, range, QString::fromStdString(csv));
            std::fprintf(json ? stderr : stdout, "  %lld records written to %s\n", static_cast<long long>(rows),
                         csv.c_str());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kelvora-tool report: %s\n", error.what());
        return 1;
    }
    return 0;
}

} // namespace kelvora
