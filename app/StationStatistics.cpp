#include "app/StationStatistics.h"

#include "app/Unit1.h"
#include "data/AuditTrail.h"
#include "quality/report/CheckStore.h"
#include "quality/window/CheckDialog.h"
#include "quality/window/StatisticsWindow.h"
#include "ui/MessageBox.h"
#include "ui/ToolButton.h"
#include "ui/WindowHandler.h"
#include "ui_Unit1.h"
#include "users/SettingsAudit.h"
#include "users/SignatureCheck.h"
#include "weighing/NumberText.h"

#include <QBoxLayout>
#include <QDir>
#include <QEvent>
#include <QScreen>

namespace kelvora {

namespace {

// How long a read of the statistics waits for the rows still on their way to the database.
constexpr int kFlushWaitMs = 2000;

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
    settings.regime = parseRegime(s.regime).value_or(Regime::China);
    return settings;
}

LotRules lotRules(const StatisticsSettings& s) {
    return {s.lotByHour ? LotRules::Split::Hour : LotRules::Split::Shift, s.shiftStarts};
}

// Shows or hides a widget with another one (a button governed by the same right).
class VisibleWith : public QObject {
public:
    VisibleWith(QWidget* leader, QWidget* follower) : QObject(follower), m_follower(follower) {
        leader->installEventFilter(this);
        follower->setVisible(leader->isVisibleTo(leader->parentWidget()));
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            m_follower->setVisible(event->type() == QEvent::ShowToParent);
        return false;
    }

private:
    QWidget* m_follower;
};

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
        m_window->setLotRules(lotRules(settings));
        m_window->setRecordsFlush([this] { m_form.runtime().flushRecords(kFlushWaitMs); });
        m_window->setLegalKeys(SettingsAudit::legalKeys());
        // A signer re-enters the password, checked as the login of this station checks it.
        if (StationConfig::loadAccounts(m_form.iniPath().toStdString()).reportSigning)
            m_window->setSignatureCheck([this](const QString& signer, const QString& password) {
                SignatureCheck(m_form.ADO1, StationConfig::loadAccounts(m_form.iniPath().toStdString()),
                               AuditTrail::configured())
                    .verify(signer, password);
            });
    }
    return *m_window;
}

QualitySettings StationStatistics::liveSettings(const StatisticsSettings& configured) const {
    const Ui::TForm1& ui = m_form.ui();
    QualitySettings settings = qualitySettings(configured);
    settings.nominal = editValue(ui.Et1);
    settings.upper = editValue(ui.Et2);
    settings.lower = editValue(ui.Et3);
    return settings;
}

QString StationStatistics::shiftNow(const StatisticsSettings& configured) const {
    LotRules rules = lotRules(configured);
    rules.split = LotRules::Split::Shift; // a shift's check, whatever the lots
    return lotPeriod(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), rules);
}

StatisticsSettings StationStatistics::loadSettings() const {
    return StationConfig::loadStatistics(m_form.iniPath().toStdString());
}

void StationStatistics::batchStarted() {
    const StatisticsSettings configured = loadSettings();
    StatisticsWindow& window = ensureWindow(configured);
    window.startBatch(m_form.ui().ComboBox1->currentText().trimmed(), liveSettings(configured));
}

void StationStatistics::productRow(const WeighingRecord& row) {
    // The alert stays until the next good product, not the one that raised it.
    if (m_alerting && row.verdict == "正常")
        clearAlert();
    if (m_window)
        m_window->addRecord(row);
    if (m_checks)
        m_checks->addRecord(row);
}

void StationStatistics::outputSent(const std::uint8_t* data, std::size_t length) {
    if (m_checks)
        m_checks->addOutput(data, length);
}

void StationStatistics::addCheckButton(QWidget* beside) {
    auto* layout = qobject_cast<QBoxLayout*>(beside->parentWidget()->layout());
    if (!layout)
        return;
    auto* button = new ToolButton(beside->parentWidget());
    button->setObjectName(QStringLiteral("BtnChecks"));
    button->setText(QStringLiteral("日常检查"));
    button->setGlyph(QStringLiteral(":/glyphs/glyphs/statistics.png"));
    layout->insertWidget(layout->indexOf(beside) + 1, button);
    new VisibleWith(beside, button); // the right 查询 governs both
    connectHandler(button, &QToolButton::clicked, button, [this] { openChecks(); });
}

void StationStatistics::openChecks() {
    const StatisticsSettings configured = loadSettings();
    if (!m_checks)
        m_checks = std::make_unique<CheckDialog>(&m_form);
    if (!m_checks->running())
        m_checks->setStation(m_form.ADO1.Connected() ? &m_form.ADO1 : nullptr,
                             m_form.ui().ComboBox1->currentText().trimmed(), liveSettings(configured),
                             m_form.ui().RzFieldStatus3->text().trimmed(), shiftNow(configured));
    m_checks->show();
    m_checks->raise();
    m_checks->activateWindow();
}

bool StationStatistics::startAllowed() {
    const StatisticsSettings configured = loadSettings();
    if (!configured.shiftCheck)
        return true;
    const QString shift = shiftNow(configured);
    if (m_form.ADO1.Connected() && passingCheckOfShift(m_form.ADO1, QStringLiteral("性能检查"), shift))
        return true;
    MessageBox::Request request;
    request.title = QStringLiteral("提示");
    request.text =
        QStringLiteral(
            "本班（%1开始）还没有合格的性能检查，不能开始称重。\n请先点击“日常检查”用砝码或标准包做性能检查。")
            .arg(shift.mid(11));
    request.icon = QMessageBox::Information;
    MessageBox::show(&m_form, request);
    return false;
}

void StationStatistics::glitch() {
    if (m_window)
        m_window->addDisturbance();
}

void StationStatistics::open() {
    StatisticsWindow& window = m_window ? *m_window : ensureWindow(loadSettings());
    // Beside the main window's lamps, never over them, and within the screen.
    const Ui::TForm1& ui = m_form.ui();
    if (QScreen* screen = m_form.screen()) {
        const QRect lamps = QRect(ui.Shape1->mapToGlobal(QPoint(0, 0)), ui.Shape1->size())
                                .united(QRect(ui.Shape2->mapToGlobal(QPoint(0, 0)), ui.Shape2->size()));
        window.setGeometry(StatisticsWindow::placeBeside(screen->availableGeometry(), lamps, QSize(1280, 720),
                                                         window.minimumSizeHint()));
    }
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
