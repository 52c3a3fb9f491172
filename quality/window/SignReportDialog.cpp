#include "quality/window/SignReportDialog.h"

#include "ui/WindowHandler.h"
#include "ui_SignReportDialog.h"

namespace kelvora {

SignReportDialog::SignReportDialog(const QString& rangeText, const QStringList& signers, const QString& current,
                                   Sign sign, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SignReportDialog>()), m_sign(std::move(sign)) {
    m_ui->setupUi(this);
    m_ui->rangeLabel->setText(rangeText);
    m_ui->SignerName->addItems(signers);
    m_ui->SignerName->setCurrentIndex(signers.indexOf(current));
    m_ui->SignerName->setCurrentText(current);
    m_ui->SignerPassword->setFocus();
    connectHandler(m_ui->SignButton, &QPushButton::clicked, this, [this] {
        // The password goes from the field before the attempt: a refused one is typed again.
        const QString password = m_ui->SignerPassword->text();
        m_ui->SignerPassword->clear();
        m_path = m_sign(m_ui->SignerName->currentText().trimmed(), password, m_ui->SignatureMeaning->currentText());
        accept();
    });
    connectHandler(m_ui->CancelButton, &QPushButton::clicked, this, [this] { reject(); });
}

SignReportDialog::~SignReportDialog() = default;

} // namespace kelvora
