#include "quality/report/ReportSignature.h"

#include "data/AuditTrail.h"
#include "quality/report/ReportPdf.h"

#include <stdexcept>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

// The trail's operator is the signer for the one row, whoever is logged in at the station.
class OperatorFor {
public:
    OperatorFor(AuditTrail& trail, const QString& name) : m_trail(trail), m_before(trail.operatorName()) {
        trail.setOperator(name);
    }
    ~OperatorFor() { m_trail.setOperator(m_before); }
    OperatorFor(const OperatorFor&) = delete;
    OperatorFor& operator=(const OperatorFor&) = delete;

private:
    AuditTrail& m_trail;
    QString m_before;
};

} // namespace

QString fileSha256(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        throw std::runtime_error("cannot read " + path.toStdString());
    return QString::fromLatin1(hash.result().toHex());
}

void writeSignedReport(const ShiftReport& report, const QString& path, const ReportSignature& signature,
                       AuditTrail& trail) {
    writeReportPdf(report, path, signature);
    try {
        const QString object = u"报表 %1（%2 至 %3）"_s.arg(
            QFileInfo(path).fileName(), reportTimeText(report.range.from), reportTimeText(report.range.to));
        const QString note = u"SHA-256 %1，签名时间 %2"_s.arg(fileSha256(path), reportTimeText(signature.time));
        OperatorFor signer(trail, signature.signer);
        trail.record(audit_event::kSignature, object, {}, signature.meaning, note);
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

} // namespace kelvora
