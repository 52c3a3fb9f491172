// The statistics window's sources (the live batch, a range, the current shift), its alerts and its
// report.
#include "data/JournalBacklog.h"
#include "quality/report/ReportPdf.h"
#include "quality/window/StatisticsWindow.h"
#include "ui/MessageBox.h"
#include "ui/WindowHandler.h"

#include <algorithm>
#include <stdexcept>

#include <QDir>
#include <QHBoxLayout>

namespace kelvora {

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QDateTime localTime(const QDate& date, const QTime& time) {
    return reportTime(date.toString(QStringLiteral("yyyy-MM-dd")) + u' ' + time.toString(QStringLiteral("HH:mm:ss")));
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
        const QString path = writeReport();
        MessageBox::Request request;
        request.title = QStringLiteral("提示");
        request.text = QStringLiteral("报表已保存：%1").arg(QDir::toNativeSeparators(path));
        request.icon = QMessageBox::Information;
        MessageBox::show(this, request);
    });
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
    return bar;
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
    const auto settings =
        live ? std::optional(m_live.batch->settings()) : catalogueSettings(database(), model, m_defaults);
    if (!settings)
        throw std::runtime_error("型号“" + model.toStdString() + "”不在产品目录中");
    const std::vector<WeighingRecord> records = kelvora::loadRecords(database(), range);
    reset(m_other, model, *settings);
    m_otherRange = range;
    for (const WeighingRecord& record : records)
        count(m_other, record);
    showFigures(m_other);
    // Rows still in the station's journal are not in the database's figures yet: said beside the model.
    if (const QString notice = journalBacklogNotice(journalBacklog(database())); !notice.isEmpty())
        m_modelLabel->setText(m_modelLabel->text() + QStringLiteral("　") + notice);
    // The current shift's lots are every model's; a range's those of its model.
    ReportRange lots = range;
    if (shift)
        lots.model.reset();
    QualitySettings judged = m_defaults;
    judged.regime = settings->regime;
    showLots(loadLots(database(), lots, judged, m_lotRules));
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

QString StatisticsWindow::writeReport() {
    const ReportRange range = shownRange();
    const ShiftReport report = loadShiftReport(database(), range, m_defaults);
    if (report.models.empty())
        throw std::runtime_error("所选时间段内没有记录，无法生成报表");
    const QString name = QStringLiteral("报表%1.pdf").arg(QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"));
    const QString path = QDir(m_reportFolder.isEmpty() ? QDir::currentPath() : m_reportFolder).absoluteFilePath(name);
    writeReportPdf(report, path);
    return path;
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
