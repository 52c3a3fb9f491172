// The main window's run commands (Start, Continue, Stop, Zero), the lot number the run's rows carry and
// the run's events in the audit trail.
#include "app/Unit1.h"
#include "app/config/StationConfig.h"
#include "ui_Unit1.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kelvora {

void TForm1::BtnClearClick(const QObject* sender) {
    if (!m_statistics.startAllowed()) // [统计] 开班检查: the shift's check comes first
        return;
    usePortChosenSince();
    takeLot();
    m_runAudit.batchValues(m_ui->LabeledEdit1->text(), m_ui->LabeledEdit2->text());
    const bool wasRunning = m_ui->BtnSetTabs->isEnabled();
    try {
        m_core.BtnClearClick(sender->objectName().toStdString());
    } catch (const std::exception& error) {
        // The run's buttons are set before the port is opened: a failure now is the port's.
        if (m_ui->BtnSetTabs->isEnabled())
            m_runAudit.portFailed(QString::fromStdString(Comm1.CommName()), QString::fromUtf8(error.what()));
        throw;
    }
    if (!m_ui->BtnSetTabs->isEnabled() || wasRunning)
        return;
    // The run started: a new batch for the statistics, and the model and limits it judges by on record.
    m_statistics.batchStarted();
    m_runAudit.started(sender == m_ui->BtnWordWrap, {modelName(), m_ui->Et1->text(), m_ui->Et2->text(),
                                                     m_ui->Et3->text(), QString::fromStdString(m_runtime.lot())});
}

void TForm1::usePortChosenSince() {
    // Only the port: the rest of the settings window takes effect at the next start.
    const std::string configured = StationConfig::portName(iniPath().toStdString());
    if (configured != m_loadedPort && Comm1.ComHandle() == 0) {
        m_loadedPort = configured;
        Comm1.setCommName(configured);
    }
}

void TForm1::BtnSetTabsClick() {
    m_core.BtnSetTabsClick();
    m_runAudit.stopped(modelName(), m_core.state().ProductCount);
}

void TForm1::BtnBulletsClick() {
    m_core.BtnBulletsClick();
}

void TForm1::Comm1RequestHangup() {
    try {
        m_core.PortFailed();
    } catch (const std::exception& error) {
        m_runAudit.portFailed(QString::fromStdString(Comm1.CommName()), QString::fromUtf8(error.what()));
        throw;
    }
}

void TForm1::createLotField(const QString& lot) {
    auto* layout = qobject_cast<QGridLayout*>(m_ui->LabeledEdit1->parentWidget()->layout());
    auto* label = new QLabel(u"批号"_s, m_ui->LabeledEdit1->parentWidget());
    label->setObjectName(u"EditLotLabel"_s);
    label->setStyleSheet(m_ui->LabeledEdit1Label->styleSheet());
    m_lotEdit = new QLineEdit(lot, m_ui->LabeledEdit1->parentWidget());
    m_lotEdit->setObjectName(u"EditLot"_s);
    m_lotEdit->setStyleSheet(m_ui->LabeledEdit1->styleSheet());
    m_lotEdit->setMaxLength(50);
    m_lotEdit->setToolTip(u"本批产品的批号（可不填）；按“开始”或“继续”时生效"_s);
    layout->addWidget(label, 0, 1);
    layout->addWidget(m_lotEdit, 1, 1);
    m_lot = lot;
}

void TForm1::takeLot() {
    if (!m_lotEdit)
        return;
    const QString lot = trimmed(m_lotEdit->text());
    m_lotEdit->setText(lot);
    m_runtime.setLot(lot.toStdString());
    if (lot != m_lot) { // remembered for the next start
        StationConfig::saveLot(iniPath().toStdString(), lot.toStdString());
        m_lot = lot;
    }
}

} // namespace kelvora
