#pragma once

#include "quality/report/ShiftReport.h"

#include <QDateTime>
#include <QString>

namespace kelvora {

class AuditTrail;

/// An electronic signature on a shift report: who signed, what the signature means (审核 reviewed or
/// 批准 approved) and when. The signer's password is checked before one is made (SignatureCheck).
struct ReportSignature {
    QString signer;
    QString meaning;
    QDateTime time;
};

/// The SHA-256 of a file's bytes in lower-case hexadecimal. Throws std::runtime_error when the file
/// cannot be read.
QString fileSha256(const QString& path);

/// Writes the report to `path` with the signature in its signature lines, then records the signature in
/// `trail` (event 签名, the signer as operator, object the file and the range, new value the meaning,
/// note the PDF's SHA-256, so that the record names this very document). When the record fails the
/// signed file is removed: no signed report goes without its record. Needs a QGuiApplication. Throws
/// std::runtime_error (also DatabaseError).
void writeSignedReport(const ShiftReport& report, const QString& path, const ReportSignature& signature,
                       AuditTrail& trail);

} // namespace kelvora
