#include "tools/ReportCommand.h"

#include "data/DatabaseError.h"
#include "data/TADOConnection.h"
#include "quality/report/ShiftReport.h"
#include "tools/CommandArguments.h"
#ifdef KELVORA_REPORT_PDF
#include "quality/report/ReportPdf.h"
#endif

#include <cstdio>
#include <memory>
#include <stdexcept>

#include <QCoreApplication>
#ifdef KELVORA_REPORT_PDF
#include <QGuiApplication>
#endif

namespace kelvora {

namespace {

const char* const kUsage =
    "usage: kelvora-tool report --db TARGET --from \"YYYY-MM-DD HH:MM:SS\" --to \"YYYY-MM-DD HH:MM:SS\"\n"
    "                           [--model M] [--pdf FILE] [--csv FILE] [--unit kg|g]\n";

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

void printSummary(const ShiftReport& report) {
    std::printf("Kelvora report %s to %s: %zu model(s)\n", qPrintable(reportTimeText(report.range.from)),
                qPrintable(reportTimeText(report.range.to)), report.models.size());
    for (const ModelReport& m : report.models) {
        std::printf("  %s: %lld products (超高 %lld, 正常 %lld, 超低 %lld), mean %.3f, sd %.4f, min %.3f, max %.3f\n",
                    m.model.toUtf8().constData(), static_cast<long long>(m.count), static_cast<long long>(m.over),
                    static_cast<long long>(m.normal), static_cast<long long>(m.under), m.mean, m.sd, m.minimum,
                    m.maximum);
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
    }
}

} // namespace

int runReportCommand(int argc, char** argv) {
    ReportRange range;
    QualitySettings settings;
    std::string target, pdf, csv;
    try {
        const CommandArguments arguments(argc, argv, {"db", "from", "to", "model", "pdf", "csv", "unit"});
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
        pdf = arguments.text("pdf", "");
        csv = arguments.text("csv", "");
    } catch (const std::invalid_argument& error) {
        return usage(error.what());
    }
#ifndef KELVORA_REPORT_PDF
    if (!pdf.empty())
        return usage("this build has no PDF output (built without KELVORA_GUI)");
#endif
    const auto application = makeApplication(!pdf.empty());
    try {
        TADOConnection connection(QString::fromStdString(target));
        const ShiftReport report = loadShiftReport(connection, range, settings);
        printSummary(report);
#ifdef KELVORA_REPORT_PDF
        if (!pdf.empty())
            writeReportPdf(report, QString::fromStdString(pdf));
#endif
        if (!csv.empty()) {
            const auto rows = writeRecordsCsv(connection, range, QString::fromStdString(csv));
            std::printf("  %lld records written to %s\n", static_cast<long long>(rows), csv.c_str());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kelvora-tool report: %s\n", error.what());
        return 1;
    }
    return 0;
}

} // namespace kelvora
