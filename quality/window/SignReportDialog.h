#pragma once

#include <functional>
#include <memory>

#include <QDialog>
#include <QString>
#include <QStringList>

namespace Ui {
class SignReportDialog;
}

namespace kelvora {

/// The dialog "签名报表" that 签名报表 of the statistics window opens: the signer ("SignerName", one of
/// the station's users, the operator logged in preselected), the signer's password entered again
/// ("SignerPassword") and the meaning ("SignatureMeaning": 审核 or 批准). "SignButton" hands the three
/// to the signing function; the dialog closes accepted when it returns, and stays open with the
/// password cleared when it throws (the error box says why). "CancelButton" closes it without a
/// signature.
class SignReportDialog : public QDialog {
    Q_OBJECT
public:
    /// Signs with (signer, password, meaning) and returns the signed file's path; throws when refused.
    using Sign = std::function<QString(const QString& signer, const QString& password, const QString& meaning)>;

    SignReportDialog(const QString& rangeText, const QStringList& signers, const QString& current, Sign sign,
                     QWidget* parent = nullptr);
    ~SignReportDialog() override;

    /// The signed report, once the dialog closed accepted.
    const QString& path() const { return m_path; }

private:
    std::unique_ptr<Ui::SignReportDialog> m_ui;
    Sign m_sign;
    QString m_path;
};

} // namespace kelvora
