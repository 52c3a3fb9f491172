// The statistics window's sources (the live batch, a range, the current shift), its alerts, its report
// and the report signed, and whether the rows shown can be trusted.
#include "data/AuditTrail.h"
#include "data/DatabaseError.h"
#include "data/JournalBacklog.h"
#include "quality/report/ReportPdf.h"
#include "quality/window/SignReportDialog.h"
#include "quality/window/StatisticsWindow.h"
#include "ui/MessageBox.h"
#include "ui/WindowHandler.h"

#include <algorithm>
#include <stdexcept>

#include <QDir>
#include <QHBoxLayout>
#include <QSqlError>
#include <QSqlQuery>

namespace kelvora {

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QDateTime localTime(const QDate& date, const QTime& time) {
    return reportTime(date.toString(QStringLiteral("yyyy-MM-dd")) + u' ' + time.toString(QStringLiteral("HH:mm:ss")));
}

// The station's users, who may sign.
QStringList signerNames(TADOConnection& connection) {
    QSqlQuery query(connection.database());
    if (!query.exec(QStringLiteral("select \"用户名称\" from \"users\" order by \"id\"")))
        throw DatabaseError(query.lastError().text());
    QStringList names;
    while (query.next())
        names << query.value(0).toString();
    return names;
}

// A range of the database is judged by the limits its rows hold, by the catalogue's for rows without them.
QualitySettings rangeSettings(TADOConnection& connection, const ReportRange& range, const QString& model,
                              const QualitySettings& defaults, LimitsSource& source) {
    const auto catalogue = catalogueSettings(connection, model, defaults);
    QualitySettings settings = catalogue.value_or(defaults);
    source = modelLimits(connection, range, model, catalogue, settings);
    if (!catalogue && source != LimitsSource::Records)
        throw std::runtime_error("型号“" + model.toStdString() + "”不在产品目录中");
    return settings;
}

void notice(QWidget* parent, const QString& text) {
    MessageBox::Request request;
    request.title = QStringLiteral("提示");
    request.text = text;
    request.icon = QMessageBox::Information;
    MessageBox::show(parent, request);
}

} // namespace

QLayout* StatisticsWindow::buildSourceBar() {
    m_sourceBox = new QComboBox(this);
    m_sourceBox->setObjectName(QStringLiteral("sourceBox"));
    m_sourceBox->addItems({QStringLiteral("当前批次"), QStringLiteral("时间段"), QStringLiteral("当前班次")});
    m_modelBox = new QComboBox(this);
    m_modelBox->setObjectName(QStringLiteral("modelBox"));
    m_modelBox->setMinimumContentsLength(12);
    const QDateTime now = QDateTime::currentDateTime();
    m_fromDate = new QDateEdit(now.date(), this);
    m_fromTime = new QTimeEdit(QTime(0, 0), this);
    m_toDate = new QDateEdit(now.date(), this);
    m_toTime = new QTimeEdit(QTime(23, 59, 59), this);
    const char* names[] = {"fromDate", "fromTime", "toDate", "toTime"};
    QDateTimeEdit* pickers[] = {m_fromDate, m_fromTime, m_toDate, m_toTime};
    for (int i = 0; i < 4; ++i) {
        pickers[i]->setObjectName(QString::fromLatin1(names[i]));
        pickers[i]->setDisplayFormat(i % 2 == 0 ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("HH:mm:ss"));
    }
    auto* show = new QPushButton(QStringLiteral("显示"), this);
    show->setObjectName(QStringLiteral("showButton"));
    auto* report = new QPushButton(QStringLiteral("报表"), this);
    report->setObjectName(QStringLiteral("reportButton"));
    connectHandler(m_sourceBox, &QComboBox::activated, this,
                   [this](int index) { showSource(static_cast<Source>(index)); });
    connectHandler(show, &QPushButton::clicked, this,
                   [this] { showSource(static_cast<Source>(m_sourceBox->currentIndex())); });
    connectHandler(report, &QPushButton::clicked, this, [this] {
        notice(this, QStringLiteral("报表已保存：%1").arg(QDir::toNativeSeparators(writeReport())));
    });
    m_signReport = new QPushButton(QStringLiteral("签名报表"), this);
    m_signReport->setObjectName(QStringLiteral("signReportButton"));
    m_signReport->hide();
    connectHandler(m_signReport, &QPushButton::clicked, this, [this] { signReport(); });
    auto* bar = new QHBoxLayout;
    bar->addWidget(m_sourceBox);
    bar->addWidget(new QLabel(QStringLiteral("型号"), this));
    bar->addWidget(m_modelBox);
    bar->addWidget(m_fromDate);
    bar->addWidget(m_fromTime);
    bar->addWidget(new QLabel(QStringLiteral("至"), this));
    bar->addWidget(m_toDate);
    bar->addWidget(m_toTime);
    bar->addWidget(show);
    bar->addStretch(1);
    bar->addWidget(report);
    bar->addWidget(m_signReport);
    m_chainWarning = new QLabel(this);
    m_chainWarning->setObjectName(QStringLiteral("ChainWarning"));
    m_chainWarning->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    m_chainWarning->setWordWrap(true);
    m_chainWarning->hide();
    m_legalCounter = new QLabel(this);
    m_legalCounter->setObjectName(QStringLiteral("LegalCounter"));
    m_legalCounter->hide();
    auto* top = new QVBoxLayout;
    top->addLayout(bar);
    top->addWidget(m_chainWarning);
    top->addWidget(m_legalCounter);
    return top;
}

void StatisticsWindow::setSignatureCheck(PasswordCheck check) {
    m_signatureCheck = std::move(check);
    m_signReport->setVisible(static_cast<bool>(m_signatureCheck));
}

QString StatisticsWindow::chainWarning() const {
    return m_chainWarning->isHidden() ? QString() : m_chainWarning->text();
}

QString StatisticsWindow::legalCounterText() const {
    return m_legalCounter->isHidden() ? QString() : m_legalCounter->text();
}

// The range's rows verified and its stations' legal counters, beside the figures.
void StatisticsWindow::showIntegrity(const ReportRange& range) {
    const ReportIntegrity integrity = loadIntegrity(database(), range, m_legalKeys);
    m_chainWarning->setText(integrity.warningText());
    m_chainWarning->setVisible(!integrity.holds());
    m_legalCounter->setText(integrity.countersText());
    m_legalCounter->show();
}

void StatisticsWindow::setStation(TADOConnection* connection, const QualitySettings& defaults,
                                  const QString& reportFolder, const std::vector<int>& shiftStarts, int rejectRun) {
    BatchQuality check(defaults); // refuses what the charts cannot take
    if (shiftStarts.empty())
        throw std::invalid_argument("a day needs at least one shift start");
    m_alerts = QualityAlerts(rejectRun);
    m_connection = connection;
    m_defaults = defaults;
    m_reportFolder = reportFolder;
    m_shiftStarts = shiftStarts;
    std::sort(m_shiftStarts.begin(), m_shiftStarts.end());
    m_lotRules.shiftStarts = m_shiftStarts;
    if (connection != nullptr) {
        const QString chosen = m_modelBox->currentText();
        m_modelBox->clear();
        m_modelBox->addItems(catalogueModels(*connection));
        m_modelBox->setCurrentIndex(std::max(0, m_modelBox->findText(chosen)));
    }
}

TADOConnection& StatisticsWindow::database() const {
    if (m_connection == nullptr)
        throw std::runtime_error("统计分析没有数据库连接");
    if (m_flush)
        m_flush();
    return *m_connection;
}

void StatisticsWindow::showSource(Source source) {
    try {
        if (source == Source::Batch) {
            showFigures(m_live);
            m_chainWarning->hide(); // the live batch is counted as it is weighed, not read back
            m_legalCounter->hide();
        } else {
            loadRange(source == Source::Range ? chosenRange() : currentShift(), source == Source::Shift);
        }
    } catch (...) {
        m_sourceBox->setCurrentIndex(static_cast<int>(m_source)); // the box names what is still shown
        throw;
    }
    m_source = source;
    m_sourceBox->setCurrentIndex(static_cast<int>(source));
}

void StatisticsWindow::loadRange(const ReportRange& range, bool shift) {
    const QString model = range.model.value_or(QString());
    if (model.isEmpty())
        throw std::runtime_error("请选择型号");
    // The shift of the model being weighed is judged as the live batch is, by the limits in force.
    const bool live = shift && model == m_live.model;
    LimitsSource source = LimitsSource::Catalogue;
    const QualitySettings settings =
        live ? m_live.batch->settings() : rangeSettings(database(), range, model, m_defaults, source);
    const std::vector<WeighingRecord> records = kelvora::loadRecords(database(), range);
    reset(m_other, model, settings);
    m_otherRange = range;
    for (const WeighingRecord& record : records)
        count(m_other, record);
    showFigures(m_other);
    if (source == LimitsSource::Changed)
        m_modelLabel->setText(m_modelLabel->text() + QStringLiteral("　限值有变化：净含量按批判定（见批次表）"));
    // Rows still in the station's journal are not in the database's figures yet: said beside the model.
    if (const QString notice = journalBacklogNotice(journalBacklog(database())); !notice.isEmpty())
        m_modelLabel->setText(m_modelLabel->text() + QStringLiteral("　") + notice);
    // The current shift's lots are every model's; a range's those of its model.
    ReportRange lots = range;
    if (shift)
        lots.model.reset();
    QualitySettings judged = m_defaults;
    judged.regime = settings.regime;
    showLots(loadLots(database(), lots, judged, m_lotRules));
    showIntegrity(range);
}

ReportRange StatisticsWindow::chosenRange() const {
    ReportRange range;
    range.from = localTime(m_fromDate->date(), m_fromTime->time());
    range.to = localTime(m_toDate->date(), m_toTime->time());
    range.model = m_modelBox->currentText();
    if (range.from > range.to)
        throw std::runtime_error("时间段的开始晚于结束");
    return range;
}

ReportRange StatisticsWindow::currentShift() const {
    const QDateTime now = reportTime(QDateTime::currentDateTime().toString(kTimeFormat));
    const int minute = now.time().hour() * 60 + now.time().minute();
    // The latest start at or before now: today's, or yesterday's last one before the day's first start.
    const auto later = std::upper_bound(m_shiftStarts.begin(), m_shiftStarts.end(), minute);
    const bool yesterday = later == m_shiftStarts.begin();
    const int start = yesterday ? m_shiftStarts.back() : *(later - 1);
    ReportRange range;
    range.from = localTime(now.date().addDays(yesterday ? -1 : 0), QTime(start / 60, start % 60));
    range.to = now.addSecs(24 * 3600); // the shift goes on: rows weighed after loading follow live
    range.model = m_live.model.isEmpty() ? m_modelBox->currentText() : m_live.model;
    return range;
}

ReportRange StatisticsWindow::shownRange() const {
    if (m_source != Source::Batch) {
        ReportRange range = m_otherRange;
        if (m_source == Source::Shift) // up to now, or the newest row when the clock runs ahead (a script)
            range.to = std::max(reportTime(QDateTime::currentDateTime().toString(kTimeFormat)),
                                reportTime(QString::fromStdString(m_other.last)));
        return range;
    }
    if (m_live.batch->statistics().count() == 0)
        throw std::runtime_error("当前批次还没有记录，无法生成报表");
    ReportRange range;
    range.from = reportTime(QString::fromStdString(m_live.first));
    range.to = reportTime(QString::fromStdString(m_live.last));
    range.model = m_live.model;
    return range;
}

ShiftReport StatisticsWindow::shownReport(QString& path) {
    const ReportRange range = shownRange();
    ShiftReport report = loadShiftReport(database(), range, m_defaults);
    if (report.models.empty())
        throw std::runtime_error("所选时间段内没有记录，无法生成报表");
    report.integrity = loadIntegrity(database(), range, m_legalKeys);
    const QString name = QStringLiteral("报表%1.pdf").arg(QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"));
    path = QDir(m_reportFolder.isEmpty() ? QDir::currentPath() : m_reportFolder).absoluteFilePath(name);
    return report;
}

QString StatisticsWindow::writeReport() {
    QString path;
    writeReportPdf(shownReport(path), path);
    return path;
}

QString StatisticsWindow::writeSignedReport(const QString& signer, const QString& password, const QString& meaning) {
    AuditTrail* trail = AuditTrail::configured();
    if (!m_signatureCheck)
        throw std::runtime_error("本站未启用报表签名");
    if (trail == nullptr)
        throw std::runtime_error("本站没有审计追踪，不能签名报表");
    m_signatureCheck(signer, password);
    QString path;
    const ShiftReport report = shownReport(path);
    kelvora::writeSignedReport(report, path, {signer, meaning, QDateTime::currentDateTime()}, *trail);
    return path;
}

void StatisticsWindow::signReport() {
    const ReportRange range = shownRange(); // a live batch without records is refused before the dialog
    const AuditTrail* trail = AuditTrail::configured();
    SignReportDialog dialog(
        QStringLiteral("报表时段：%1 至 %2").arg(reportTimeText(range.from), reportTimeText(range.to)),
        signerNames(database()), trail ? trail->operatorName() : QString(),
        [this](const QString& signer, const QString& password, const QString& meaning) {
            return writeSignedReport(signer, password, meaning);
        },
        this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    notice(this, QStringLiteral("报表已签名并保存：%1").arg(QDir::toNativeSeparators(dialog.path())));
}

void StatisticsWindow::listAlert(const QString& time, const QString& text) {
    auto* item = new QListWidgetItem(time + QStringLiteral("  ") + text, m_alertList);
    item->setForeground(Qt::red);
    // A station that runs for months keeps the newest alerts, not all of them.
    while (m_alertList->count() > kAlertsKept)
        delete m_alertList->takeItem(0);
    m_alertList->scrollToBottom();
}

QStringList StatisticsWindow::alerts() const {
    QStringList texts;
    for (int i = 0; i < m_alertList->count(); ++i)
        texts << m_alertList->item(i)->text();
    return texts;
}

} // namespace kelvora
