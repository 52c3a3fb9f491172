#pragma once

#include "quality/report/ReportSignature.h"
#include "quality/report/ShiftReport.h"

#include <optional>

#include <QString>

namespace kelvora {

/// The family the report is set in; its glyphs are embedded in the PDF.
inline const QString kReportFontFamily = QStringLiteral("WenQuanYi Zen Hei");

/// Writes the shift report as an A4 PDF in Chinese: per model two pages with the figures, the
/// average-quantity rules and their verdicts, the trend chart, the X̄ and s charts with the broken run
/// rules, the histogram, the operators and lines for the signatures; the period and the time it was
/// made head every page. With the report's integrity the first page gives the legal counters and, in
/// red, the warning when the range's rows do not verify. A signature fills the signature lines with the
/// signer, the meaning and the time. Needs a QGuiApplication. Throws std::runtime_error when the font is
/// missing or the file cannot be written.
void writeReportPdf(const ShiftReport& report, const QString& path,
                    const std::optional<ReportSignature>& signature = std::nullopt);

} // namespace kelvora
