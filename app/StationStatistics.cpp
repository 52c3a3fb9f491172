#include "app/StationStatistics.h"

#include "app/Unit1.h"
#include "quality/window/StatisticsWindow.h"
#include "ui/WindowHandler.h"
#include "ui_Unit1.h"
#include "weighing/NumberText.h"

#include <QDir>

namespace kelvora {

namespace {

// A number edit's value; an edit that does not convert counts as 0, as the weighing itself would
// refuse it with its own message.
double editValue(const QLineEdit* edit) {
    try {
        return NumberText::toFloat(edit->text().toStdString());
    } catch (const std::exception&) {
        return 0.0;
    }
}

QualitySettings qualitySettings(const StatisticsSettings& s) {
    QualitySettings settings;
    settings.unit = s.grams ? WeightUnit::Gram : WeightUnit::Kilogram;
    settings.division = s.division;
    settings.subgroupSize = s.subgroupSize;
    settings.baselineSubgroups = s.baselineSubgroups;
    settings.rules = s.nelson ? RuleSet::Nelson : RuleSet::WesternElectric;
    return settings;
}

} // namespace

StationStatistics::StationStatistics(TForm1& form) : m_form(form) {}

StationStatistics::~StationStatistics() = default;

StatisticsWindow& StationStatistics::ensureWindow(const StatisticsSettings& settings) {
    if (!m_window) {
        // A window of the main window's: it closes with the station.
        m_window = std::make_unique<StatisticsWindow>(&m_form);
        QObject::connect(m_window.get(), &StatisticsWindow::alertRaised, &m_form,
                         [this](const QString& text) { showAlert(text); });
        m_window->setStation(m_form.ADO1.Connected() ? &m_form.ADO1 : nullptr, qualitySettings(settings),
                             QDir::currentPath(), settings.shiftStarts, settings.rejectRun);
    }
    return *m_window;
}

StatisticsSettings StationStatistics::loadSettings() const {
    return StationConfig::loadStatistics(m_form.iniPath().toStdString());
}

void StationStatistics::batchStarted() {
    const StatisticsSettings configured = loadSettings();
    StatisticsWindow& window = ensureWindow(configured);
    const Ui::TForm1& ui = m_form.ui();
    QualitySettings settings = qualitySettings(configured);
    settings.nominal = editValue(ui.Et1);
    settings.upper = editValue(ui.Et2);
    settings.lower = editValue(ui.Et3);
    window.startBatch(ui.ComboBox1->currentText().trimmed(), settings);
}

void StationStatistics::productRow(const WeighingRecord& row) {
    // The alert stays until the next good product, not the one that raised it.
    if (m_alerting && row.verdict == "正常")
        clearAlert();
    if (m_window)
        m_window->addRecord(row);
}

void StationStatistics::glitch() {
    if (m_window)
        m_window->addDisturbance();
}

void StationStatistics::open() {
    StatisticsWindow& window = m_window ? *m_window : ensureWindow(loadSettings());
    window.show();
    window.raise();
    window.activateWindow();
}

void StationStatistics::close() {
    if (m_window)
        m_window->close();
}

void StationStatistics::showAlert(const QString& text) {
    QLabel* marquee = m_form.ui().RzMarqueeStatus1;
    if (!m_alerting)
        m_caption = marquee->text();
    m_alerting = true;
    marquee->setText(text);
}

void StationStatistics::clearAlert() {
    QLabel* marquee = m_form.ui().RzMarqueeStatus1;
    marquee->setText(m_caption);
    m_alerting = false;
}

} // namespace kelvora
