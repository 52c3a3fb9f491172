#include "quality/window/CheckDialog.h"

#include "ui/WindowHandler.h"
#include "ui_CheckDialog.h"

#include <stdexcept>

#include <QHeaderView>

namespace kelvora {

namespace {

const QString kPerformance = QStringLiteral("性能检查");
const QString kChallenge = QStringLiteral("剔除检查");

QString number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString verdictText(Verdict verdict) {
    return verdict == Verdict::Over ? QStringLiteral("超高")
                                    : (verdict == Verdict::Under ? QStringLiteral("超低") : QStringLiteral("正常"));
}

} // namespace

CheckDialog::CheckDialog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CheckDialog>()) {
    m_ui->setupUi(this);
    m_ui->readingsTable->setHorizontalHeaderLabels(
        {QStringLiteral("序号"), QStringLiteral("读数"), QStringLiteral("判定")});
    m_ui->readingsTable->verticalHeader()->hide();
    m_ui->readingsTable->horizontalHeader()->setStretchLastSection(true);
    m_ui->readingsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ui->cancelButton->setEnabled(false);
    m_alarmWait.setSingleShot(true);
    m_alarmWait.setInterval(3000);
    connectHandler(&m_alarmWait, &QTimer::timeout, this, [this] {
        if (m_running && m_challenge)
            finishChallenge();
    });
    connectHandler(m_ui->kindBox, &QComboBox::activated, this, [this] { showInstruction(); });
    connectHandler(m_ui->startButton, &QPushButton::clicked, this, [this] { start(); });
    connectHandler(m_ui->cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
    connectHandler(m_ui->closeButton, &QPushButton::clicked, this, [this] { close(); });
    showInstruction();
}

CheckDialog::~CheckDialog() = default;

void CheckDialog::setStation(TADOConnection* connection, const QString& model, const QualitySettings& settings,
                             const QString& operatorName, const QString& shift) {
    m_connection = connection;
    m_model = model;
    m_settings = settings;
    m_operator = operatorName;
    m_shift = shift;
    if (!m_running)
        showInstruction();
}

void CheckDialog::showInstruction() {
    const bool challenge = m_ui->kindBox->currentIndex() == 1;
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_ui->referenceEdit, m_ui->passesBox, m_ui->classBox, m_ui->fifthBox})
        w->setEnabled(!challenge && !m_running);
    if (!challenge) {
        m_ui->instructionLabel->setText(QStringLiteral("型号：%1。输入砝码或标准包的质量，按“开始”后让它通过秤台%2次。")
                                            .arg(m_model)
                                            .arg(m_ui->passesBox->value()));
        return;
    }
    const double toGrams = gramsPer(m_settings.unit);
    QStringList lines;
    for (const ChallengePack& pack : challengePacks(m_settings))
        lines << QStringLiteral("%1：%2 g（应判为%3）")
                     .arg(QString::fromStdString(pack.caption), number(pack.weight * toGrams, 1),
                          verdictText(pack.expected));
    m_ui->instructionLabel->setText(
        lines.isEmpty()
            ? QStringLiteral("型号：%1。%2")
                  .arg(m_model,
                       QString::fromStdString(notCoveredReason(m_settings.regime, m_settings.nominal * toGrams)))
            : QStringLiteral("型号：%1。按“开始”后依次通过以下测试包：\n").arg(m_model) + lines.join(u'\n'));
}

void CheckDialog::start() {
    const bool challenge = m_ui->kindBox->currentIndex() == 1;
    m_alarmWait.stop();
    m_readings.clear();
    m_challenge.reset();
    m_watch = AlarmFrameWatch();
    if (challenge) {
        auto packs = challengePacks(m_settings);
        if (packs.empty())
            throw std::runtime_error(
                notCoveredReason(m_settings.regime, m_settings.nominal * gramsPer(m_settings.unit)) +
                "，无法做剔除检查");
        m_challenge.emplace(std::move(packs));
    } else {
        bool ok = false;
        m_reference = m_ui->referenceEdit->text().trimmed().toDouble(&ok);
        if (!ok || !(m_reference > 0.0))
            throw std::runtime_error("砝码质量必须是大于0的数（克）");
        m_criteria = CheckCriteria{};
        const QString chosen = m_ui->classBox->currentText().trimmed();
        if (chosen != QStringLiteral("不按等级")) {
            m_criteria.accuracy = parseAccuracyClass(chosen.toStdString());
            if (!m_criteria.accuracy)
                throw std::runtime_error("准确度等级“" + chosen.toStdString() + "”无效，应如XIII(1)");
        }
        m_criteria.intervalGrams = m_settings.division * gramsPer(m_settings.unit);
        if (m_ui->fifthBox->isChecked()) {
            const auto limits = quantityLimits(m_settings.regime, m_reference);
            if (!limits)
                throw std::runtime_error(notCoveredReason(m_settings.regime, m_reference) + "，无法按T/5判定");
            m_criteria.tGrams = limits->tne;
        }
        if (!m_criteria.accuracy && !m_criteria.tGrams)
            throw std::runtime_error("请选择准确度等级或T/5规则");
    }
    m_ui->readingsTable->setRowCount(0);
    m_ui->resultLabel->clear();
    m_running = true;
    m_ui->startButton->setEnabled(false);
    m_ui->cancelButton->setEnabled(true);
    m_ui->kindBox->setEnabled(false);
    showInstruction();
}

void CheckDialog::cancel() {
    m_alarmWait.stop();
    m_running = false;
    m_ui->startButton->setEnabled(true);
    m_ui->cancelButton->setEnabled(false);
    m_ui->kindBox->setEnabled(true);
    m_ui->resultLabel->setText(QStringLiteral("检查已取消，未保存"));
    showInstruction();
}

void CheckDialog::addRecord(const WeighingRecord& record) {
    const auto verdict = parseVerdict(record.verdict);
    if (!m_running || !verdict)
        return;
    const int row = m_ui->readingsTable->rowCount();
    m_ui->readingsTable->insertRow(row);
    const double grams = record.weight * gramsPer(m_settings.unit);
    const QString cells[] = {QString::number(row + 1), number(grams, 1) + QStringLiteral(" g"), verdictText(*verdict)};
    for (int column = 0; column < 3; ++column)
        m_ui->readingsTable->setItem(row, column, new QTableWidgetItem(cells[column]));
    m_lastTime = QString::fromStdString(record.time);
    if (m_challenge) {
        m_challenge->addVerdict(*verdict);
        // The last reject's alarm frame follows its verdict after the alarm delay: wait for it.
        if (m_challenge->complete())
            *verdict == Verdict::Normal ? finishChallenge() : m_alarmWait.start();
        return;
    }
    m_readings.push_back(grams);
    if (static_cast<int>(m_readings.size()) >= m_ui->passesBox->value())
        finishPerformance();
}

void CheckDialog::addOutput(const std::uint8_t* data, std::size_t length) {
    if (!m_running || !m_challenge)
        return;
    for (int alarms = m_watch.add(data, length); alarms > 0; --alarms)
        m_challenge->addAlarmFrame();
    if (m_challenge->complete() && m_challenge->alarmed().back())
        finishChallenge();
}

void CheckDialog::finishPerformance() {
    const PerformanceResult result = judgePerformance(m_readings, m_reference, m_criteria);
    QString summary = QStringLiteral("砝码%1 g，%2次：平均误差%3 g，标准差%4 g，最大误差%5 g")
                          .arg(number(m_reference, 1))
                          .arg(m_readings.size())
                          .arg(number(result.meanError, 2), number(result.sd, 3), number(result.largestError, 2));
    if (m_criteria.accuracy)
        summary += QStringLiteral("；%1：平均误差限±%2 g，标准差限%3 g")
                       .arg(QString::fromStdString(accuracyClassText(*m_criteria.accuracy)),
                            number(*result.meanErrorLimit, 2), number(*result.sdLimit, 3));
    if (result.errorLimit)
        summary += QStringLiteral("；T/5 = %1 g").arg(number(*result.errorLimit, 2));
    for (const std::string& failure : result.failures)
        summary += QStringLiteral("；") + QString::fromStdString(failure);
    QStringList readings;
    for (double reading : m_readings)
        readings << number(reading, 1);
    summary += QStringLiteral("；读数：") + readings.join(u',');
    store(kPerformance, result.passed, summary);
}

void CheckDialog::finishChallenge() {
    QStringList parts;
    for (std::size_t i = 0; i < m_challenge->packs().size(); ++i)
        parts << QStringLiteral("%1判为%2%3")
                     .arg(QString::fromStdString(m_challenge->packs()[i].caption),
                          verdictText(m_challenge->verdicts()[i]),
                          m_challenge->alarmed()[i] ? QStringLiteral("，已报警") : QString());
    for (const std::string& failure : m_challenge->failures())
        parts << QString::fromStdString(failure);
    store(kChallenge, m_challenge->passed(), parts.join(QStringLiteral("；")));
}

void CheckDialog::store(const QString& kind, bool passed, const QString& summary) {
    m_alarmWait.stop();
    m_running = false;
    m_ui->startButton->setEnabled(true);
    m_ui->cancelButton->setEnabled(false);
    m_ui->kindBox->setEnabled(true);
    m_last = CheckRecord{kind, m_lastTime, m_operator, m_model, m_shift, passed, summary};
    QString text =
        QStringLiteral("%1%2：%3").arg(kind, passed ? QStringLiteral("合格") : QStringLiteral("不合格"), summary);
    if (m_connection) {
        storeCheck(*m_connection, *m_last);
        text += QStringLiteral("（已保存）");
    }
    m_ui->resultLabel->setText(text);
    m_ui->resultLabel->setStyleSheet(passed ? QStringLiteral("color:#008000") : QStringLiteral("color:red"));
    showInstruction();
}

} // namespace kelvora
