#include "quality/window/StatisticsWindow.h"

#include "ui/WindowHandler.h"

#include <QCursor>
#include <QGridLayout>
#include <QHeaderView>
#include <QToolTip>
#include <QVBoxLayout>

namespace kelvora {

static_assert(static_cast<std::size_t>(StatisticsWindow::kChartSubgroups) <= BatchQuality::kChartKept,
              "the charts show kept subgroups only");

namespace {

const QColor kLimitColor(200, 30, 30);
const QColor kNominalColor(30, 110, 30);
const QColor kTuColor(220, 130, 0);
const QColor kCentreColor(40, 80, 200);

QString number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString index(const std::optional<double>& value) {
    return value ? number(*value, 2) : QStringLiteral("—");
}

void setMark(QLabel* label, const QString& caption, std::optional<bool> passes) {
    const QString colour =
        !passes ? QStringLiteral("gray") : (*passes ? QStringLiteral("#00a000") : QStringLiteral("red"));
    label->setText(QStringLiteral("<span style=\"color:%1\">●</span> %2").arg(colour, caption));
    label->setProperty("passes", passes ? QVariant(*passes) : QVariant());
}

} // namespace

StatisticsWindow::StatisticsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("统计分析"));
    m_drawTimer.setSingleShot(true);
    m_drawTimer.setInterval(100);
    connectHandler(&m_drawTimer, &QTimer::timeout, this, [this] { flushCharts(); });
    buildLayout();
    reset(m_other, {}, QualitySettings{});
    startBatch({}, QualitySettings{});
}

StatisticsWindow::~StatisticsWindow() = default;

void StatisticsWindow::buildLayout() {
    m_modelLabel = new QLabel(this);
    m_figures = new QTableWidget(0, 2, this);
    m_figures->setObjectName(QStringLiteral("figuresTable"));
    m_figures->setHorizontalHeaderLabels({QStringLiteral("项目"), QStringLiteral("数值")});
    m_figures->verticalHeader()->hide();
    m_figures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_figures->horizontalHeader()->setStretchLastSection(true);
    const char* names[] = {"meanRuleMark", "tu1RuleMark", "tu2RuleMark"};
    auto* left = new QVBoxLayout;
    left->addWidget(m_modelLabel);
    left->addWidget(m_figures, 3);
    for (int i = 0; i < 3; ++i) {
        m_rules[i] = new QLabel(this);
        m_rules[i]->setObjectName(QString::fromLatin1(names[i]));
        left->addWidget(m_rules[i]);
    }
    m_verdict = new QLabel(this);
    m_verdict->setObjectName(QStringLiteral("batchVerdict"));
    left->addWidget(m_verdict);
    m_readiness = new QLabel(this);
    m_readiness->setObjectName(QStringLiteral("inspectionReadiness"));
    m_readiness->setWordWrap(true);
    left->addWidget(m_readiness);
    m_freeze = new QPushButton(QStringLiteral("冻结基准"), this);
    m_freeze->setObjectName(QStringLiteral("freezeBaseline"));
    left->addWidget(m_freeze);
    connectHandler(m_freeze, &QPushButton::clicked, this, [this] { freezeBaseline(); });
    left->addWidget(new QLabel(QStringLiteral("报警"), this));
    m_alertList = new QListWidget(this);
    m_alertList->setObjectName(QStringLiteral("alertList"));
    m_alertList->setUniformItemSizes(true); // a new line costs the same with a thousand listed
    left->addWidget(m_alertList, 1);
    left->addWidget(buildLotsTable(), 1);

    m_trend = new ControlChartView(QStringLiteral("趋势图"), kTrendProducts, this);
    m_means = new ControlChartView(QStringLiteral("均值图 X̄"), kChartSubgroups, this);
    m_deviations = new ControlChartView(QStringLiteral("标准差图 s"), kChartSubgroups, this);
    m_histogram = new HistogramView(this);
    m_trend->setObjectName(QStringLiteral("trendChart"));
    m_means->setObjectName(QStringLiteral("meanChart"));
    m_deviations->setObjectName(QStringLiteral("sdChart"));
    m_histogram->setObjectName(QStringLiteral("histogramChart"));
    connectHandler(m_means, &ControlChartView::markHovered, this, [this](double x, const QPointF&) {
        QToolTip::showText(QCursor::pos(), rulesAt(static_cast<std::size_t>(x)), this);
    });
    auto* charts = new QGridLayout;
    charts->addWidget(m_trend, 0, 0);
    charts->addWidget(m_histogram, 0, 1);
    charts->addWidget(m_means, 1, 0);
    charts->addWidget(m_deviations, 1, 1);
    auto* body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addLayout(charts, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buildSourceBar());
    layout->addLayout(body, 1);
    resize(1280, 720); // fits a 1366×768 screen
}

void StatisticsWindow::reset(Figures& figures, const QString& model, const QualitySettings& settings) {
    figures.batch = std::make_unique<BatchQuality>(settings);
    figures.period.clear();
    figures.model = model;
    figures.recent.clear();
    figures.first.clear();
    figures.last.clear();
    figures.disturbances = 0;
}

void StatisticsWindow::addDisturbance() {
    ++m_live.disturbances;
    if (m_shown == &m_live)
        refreshFigures();
}

bool StatisticsWindow::count(Figures& figures, const WeighingRecord& record) {
    if (!figures.batch->add(record))
        return false;
    figures.recent.push_back(record.weight);
    if (figures.recent.size() > kTrendProducts)
        figures.recent.pop_front();
    if (figures.first.empty())
        figures.first = record.time;
    figures.last = record.time;
    return true;
}

void StatisticsWindow::showFigures(Figures& figures) {
    m_shown = &figures;
    m_modelLabel->setText(QStringLiteral("型号：%1").arg(figures.model));
    setReferenceLines();
    redrawCharts();
    refreshFigures();
}

void StatisticsWindow::startBatch(const QString& model, const QualitySettings& settings) {
    reset(m_live, model, settings);
    m_alerts = QualityAlerts(m_alerts.rejectRun());
    if (const int listed = m_modelBox->findText(model); listed >= 0)
        m_modelBox->setCurrentIndex(listed); // a range is most often wanted of the model being weighed
    if (m_source == Source::Batch)
        showFigures(m_live);
}

bool StatisticsWindow::addRecord(const WeighingRecord& record) {
    // A lot ends with its shift (or hour): the row of the next one starts a new live lot.
    const QString period = lotPeriod(QString::fromStdString(record.time), m_lotRules);
    if (!m_live.period.isEmpty() && period != m_live.period && parseVerdict(record.verdict))
        startBatch(m_live.model, m_live.batch->settings());
    Figures& shown = *m_shown;
    const std::size_t before = shown.batch->chart().subgroups();
    const bool frozen = shown.batch->chart().limits().has_value();
    if (!count(m_live, record))
        return false;
    m_live.period = period;
    const auto verdict = parseVerdict(record.verdict);
    for (const QualityAlert& alert : m_alerts.check(*m_live.batch, record.weight, *verdict, record.time)) {
        listAlert(QString::fromStdString(alert.time), QString::fromStdString(alert.text));
        emit alertRaised(QString::fromStdString(alert.text));
    }
    const bool follows =
        m_source == Source::Batch ||
        (m_source == Source::Shift && QString::fromStdString(record.model) == m_other.model && count(m_other, record));
    if (!follows)
        return true;
    if (!frozen && shown.batch->chart().limits()) {
        setReferenceLines(); // the baseline froze: every point so far was checked
        redrawCharts();
    } else {
        appendToCharts(record.weight, before);
    }
    refreshFigures();
    return true;
}

std::size_t StatisticsWindow::loadRecords(const std::vector<WeighingRecord>& records) {
    std::size_t counted = 0;
    for (const WeighingRecord& record : records)
        counted += count(*m_shown, record) ? 1 : 0;
    showFigures(*m_shown);
    return counted;
}

bool StatisticsWindow::freezeBaseline() {
    if (!m_shown->batch->chart().freeze())
        return false;
    setReferenceLines();
    redrawCharts();
    refreshFigures();
    return true;
}

void StatisticsWindow::setReferenceLines() {
    const QualitySettings& s = m_shown->batch->settings();
    std::vector<ControlChartView::Line> lines;
    if (s.upper > s.lower)
        lines.push_back({s.upper, QStringLiteral("上限"), kLimitColor});
    lines.push_back({s.lower, QStringLiteral("下限"), kLimitColor});
    lines.push_back({s.nominal, QStringLiteral("Qn"), kNominalColor});
    if (const auto& q = m_shown->batch->quantity()) {
        const double toUnit = 1.0 / gramsPer(s.unit);
        lines.push_back({q->limits().tu1 * toUnit, QStringLiteral("TU1"), kTuColor});
        lines.push_back({q->limits().tu2 * toUnit, QStringLiteral("TU2"), kTuColor});
    }
    m_trend->setLines(lines);
    std::vector<HistogramView::Marker> markers;
    for (const auto& line : lines)
        markers.push_back({line.value, line.label, line.color});
    m_histogram->setMarkers(markers);
    if (const auto& limits = m_shown->batch->chart().limits()) {
        m_means->setLines({{limits->upper, QStringLiteral("UCL"), kLimitColor},
                           {limits->centre, QStringLiteral("X̿"), kCentreColor},
                           {limits->lower, QStringLiteral("LCL"), kLimitColor}});
        m_deviations->setLines({{limits->sUpper, QStringLiteral("UCL"), kLimitColor},
                                {limits->sBar, QStringLiteral("s̄"), kCentreColor},
                                {limits->sLower, QStringLiteral("LCL"), kLimitColor}});
    } else {
        m_means->setLines({});
        m_deviations->setLines({});
    }
}

void StatisticsWindow::appendToCharts(double weight, std::size_t subgroupsBefore) {
    m_trend->append(static_cast<double>(m_shown->batch->statistics().count()), weight, false);
    const XbarSChart& chart = m_shown->batch->chart();
    if (chart.subgroups() > subgroupsBefore) {
        const ChartPoint& point = chart.points().back();
        const double x = static_cast<double>(chart.subgroups() - 1);
        m_means->append(x, point.mean, !point.broken.empty());
        m_deviations->append(x, point.sd, point.sBeyond);
    }
    if (!m_drawTimer.isActive())
        m_drawTimer.start();
}

void StatisticsWindow::flushCharts() {
    m_drawTimer.stop();
    m_trend->flush();
    m_means->flush();
    m_deviations->flush();
    m_histogram->show(m_shown->batch->histogram());
    refreshReadiness();
}

void StatisticsWindow::redrawCharts() {
    m_drawTimer.stop();
    QList<QPointF> trend;
    const std::int64_t first =
        m_shown->batch->statistics().count() - static_cast<std::int64_t>(m_shown->recent.size()) + 1;
    for (std::size_t i = 0; i < m_shown->recent.size(); ++i)
        trend << QPointF(static_cast<double>(first + static_cast<std::int64_t>(i)), m_shown->recent[i]);
    m_trend->setValues(trend, {});
    const XbarSChart& chart = m_shown->batch->chart();
    const auto& points = chart.points();
    QList<QPointF> means, meanMarks, sds, sdMarks;
    for (std::size_t i = points.size() > kChartSubgroups ? points.size() - kChartSubgroups : 0; i < points.size();
         ++i) {
        const double x = static_cast<double>(chart.firstKept() + i);
        means << QPointF(x, points[i].mean);
        sds << QPointF(x, points[i].sd);
        if (!points[i].broken.empty())
            meanMarks << QPointF(x, points[i].mean);
        if (points[i].sBeyond)
            sdMarks << QPointF(x, points[i].sd);
    }
    m_means->setValues(means, meanMarks);
    m_deviations->setValues(sds, sdMarks);
    m_histogram->show(m_shown->batch->histogram());
    refreshReadiness();
}

void StatisticsWindow::refreshFigures() {
    const BatchStatistics& st = m_shown->batch->statistics();
    const RunningStatistics& w = st.weights();
    const QualitySettings& s = m_shown->batch->settings();
    const Capability c = m_shown->batch->capability();
    const auto& q = m_shown->batch->quantity();
    const QString none = QStringLiteral("不适用");
    const QString rows[][2] = {
        {QStringLiteral("产品数"), QString::number(st.count())},
        {QStringLiteral("平均值"), number(w.mean(), 3)},
        {QStringLiteral("标准差"), number(w.standardDeviation(), 4)},
        {QStringLiteral("最小值"), number(w.minimum(), 3)},
        {QStringLiteral("最大值"), number(w.maximum(), 3)},
        {QStringLiteral("总重"), number(w.sum(), 3)},
        {QStringLiteral("让量"), number(st.giveaway(s.nominal), 3)},
        {QStringLiteral("让量（%）"), number(st.giveawayPercent(s.nominal), 2)},
        {QStringLiteral("速度（最近1分钟）"), QString::number(st.perMinuteLastMinute())},
        {QStringLiteral("速度（全批，个/分钟）"), number(st.perMinuteBatch(), 1)},
        {QStringLiteral("超高"), QString::number(st.over())},
        {QStringLiteral("正常"), QString::number(st.normal())},
        {QStringLiteral("超低"), QString::number(st.under())},
        {QStringLiteral("干扰"), m_shown == &m_live ? QString::number(m_live.disturbances) : none},
        {QStringLiteral("Cp"), index(c.cp)},
        {QStringLiteral("Cpk"), index(c.cpk)},
        {QStringLiteral("CPL"), index(c.cpl)},
        {QStringLiteral("CPL（TU1）"), index(m_shown->batch->cplTu1())},
        {QStringLiteral("法规"), QString::fromStdString(regimeName(s.regime))},
        {QStringLiteral("标称量 Qn（g）"), q ? number(q->limits().nominal, 1) : none},
        {QStringLiteral("允许短缺量 T（g）"), q ? number(q->limits().tne, 1) : none},
        {QStringLiteral("TU1（g）"), q ? number(q->limits().tu1, 1) : none},
        {QStringLiteral("TU2（g）"), q ? number(q->limits().tu2, 1) : none},
        {QStringLiteral("低于TU1"),
         q ? QStringLiteral("%1（%2%）").arg(q->belowTu1()).arg(number(q->belowTu1Percent(), 2)) : none},
        {QStringLiteral("低于TU2"), q ? QString::number(q->zoneCount(QuantityZone::BelowTu2)) : none},
    };
    const int count = static_cast<int>(std::size(rows));
    if (m_figures->rowCount() != count) {
        m_figures->setRowCount(count);
        for (int r = 0; r < count; ++r)
            for (int col = 0; col < 2; ++col)
                m_figures->setItem(r, col, new QTableWidgetItem);
        for (int r = 0; r < count; ++r)
            m_figures->item(r, 0)->setText(rows[r][0]);
        m_figures->resizeColumnToContents(0); // the names never change
    }
    for (int r = 0; r < count; ++r)
        for (int col = 0; col < 2; ++col)
            if (m_figures->item(r, col)->text() != rows[r][col])
                m_figures->item(r, col)->setText(rows[r][col]);
    refreshRules();
}

void StatisticsWindow::refreshRules() {
    const auto& q = m_shown->batch->quantity();
    const bool weighed = q && q->count() > 0;
    setMark(m_rules[0], QStringLiteral("平均值不低于标称量"), weighed ? std::optional(q->meanRule()) : std::nullopt);
    setMark(m_rules[1], QStringLiteral("低于TU1的不超过2.5%"), weighed ? std::optional(q->tu1Rule()) : std::nullopt);
    setMark(m_rules[2], QStringLiteral("没有低于TU2的"), weighed ? std::optional(q->tu2Rule()) : std::nullopt);
    const QualitySettings& s = m_shown->batch->settings();
    const QString reason = QString::fromStdString(notCoveredReason(s.regime, s.nominal * gramsPer(s.unit)));
    m_verdict->setText(!q         ? QStringLiteral("批判定：不适用（%1）").arg(reason)
                       : !weighed ? QStringLiteral("批判定：—")
                                  : (q->passes() ? QStringLiteral("批判定：合格") : QStringLiteral("批判定：不合格")));
}

QString StatisticsWindow::figuresText() const {
    QString text;
    for (int r = 0; r < m_figures->rowCount(); ++r)
        text += m_figures->item(r, 0)->text() + u'\t' + m_figures->item(r, 1)->text() + u'\n';
    return text;
}

QString StatisticsWindow::rulesAt(std::size_t subgroup) const {
    const ChartPoint* point = m_shown->batch->chart().point(subgroup);
    if (!point)
        return {};
    QStringList names;
    for (ChartRule rule : point->broken)
        names << QString::fromStdString(ruleCaption(rule));
    return names.join(QStringLiteral("；"));
}

} // namespace kelvora
