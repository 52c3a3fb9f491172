#include "quality/report/ReportPdf.h"

#include "quality/report/ReportCharts.h"

#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

#include <QFileInfo>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace kelvora {

namespace {

using Pairs = std::vector<std::pair<QString, QString>>;

const QString kFontFile = QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc");

void requireFont() {
    if (QFontDatabase::families().contains(kReportFontFamily))
        return;
    if (QFontDatabase::addApplicationFont(kFontFile) < 0 || !QFontDatabase::families().contains(kReportFontFamily))
        throw std::runtime_error("the font WenQuanYi Zen Hei is not installed (Debian package fonts-wqy-zenhei)");
}

QString weightText(double value) {
    return QString::number(value, 'f', 3);
}

QString indexText(const std::optional<double>& value) {
    return value ? QString::number(*value, 'f', 2) : QStringLiteral("—");
}

QString verdictText(bool passes) {
    return passes ? QStringLiteral("合格") : QStringLiteral("不合格");
}

// Lays text out down a page.
class PageWriter {
public:
    PageWriter(QPainter& painter, double width) : m_painter(painter), m_width(width) {}

    /// A paragraph, wrapped within the page's width (a long line never runs past the margin).
    void text(const QString& text, double points, bool bold = false, const QColor& colour = Qt::black) {
        setFont(points, bold);
        const double line = m_painter.fontMetrics().height();
        const QRectF bounds =
            m_painter.boundingRect(QRectF(0, m_y, m_width, line * 50), Qt::AlignLeft | Qt::TextWordWrap, text);
        m_painter.setPen(colour);
        m_painter.drawText(QRectF(0, m_y, m_width, bounds.height()), Qt::AlignLeft | Qt::TextWordWrap, text);
        m_y += bounds.height() + line * 0.25;
    }

    /// Label and value pairs in `columns` columns, row by row; the label takes `labelShare` of a column.
    void pairs(const Pairs& items, int columns, double labelShare = 0.4) {
        m_labelShare = labelShare;
        setFont(9.5, false);
        const double height = m_painter.fontMetrics().height() * 1.3;
        const double cell = m_width / columns;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const double x = cell * static_cast<double>(i % columns);
            const double y = m_y + height * static_cast<double>(i / columns);
            m_painter.setPen(QColor(90, 90, 90));
            const QRectF labelCell(x, y, cell * m_labelShare * 0.97, height);
            fit(items[i].first, labelCell.width());
            m_painter.drawText(labelCell, Qt::AlignLeft | Qt::AlignVCenter, items[i].first);
            setFont(9.5, false);
            m_painter.setPen(Qt::black);
            // A value wider than its cell (a time) is set smaller rather than past the cell or the margin.
            const QRectF valueCell(x + cell * m_labelShare, y, cell * (0.95 - m_labelShare), height);
            fit(items[i].second, valueCell.width());
            m_painter.drawText(valueCell, Qt::AlignLeft | Qt::AlignVCenter, items[i].second);
            setFont(9.5, false);
        }
        m_y += height * static_cast<double>((items.size() + columns - 1) / columns) + height * 0.4;
    }

    /// The next `height` of the page for a chart, drawn in the small type.
    QRectF take(double height) {
        setFont(8, false);
        const QRectF area(0, m_y, m_width, height);
        m_y += height + m_painter.fontMetrics().height() * 0.8;
        return area;
    }

    /// A table row: cells in columns of the given shares of the width, set smaller where too wide.
    void row(const QStringList& cells, const std::vector<double>& shares, bool bold = false) {
        setFont(9, bold);
        const double height = m_painter.fontMetrics().height() * 1.3;
        double x = 0.0;
        m_painter.setPen(Qt::black);
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const double width = m_width * shares[static_cast<std::size_t>(i)];
            const double wide = m_painter.fontMetrics().horizontalAdvance(cells[i]);
            if (wide > width * 0.96)
                setFont(9 * width * 0.96 / wide, bold);
            m_painter.drawText(QRectF(x, m_y, width, height), Qt::AlignLeft | Qt::AlignVCenter, cells[i]);
            setFont(9, bold);
            x += width;
        }
        m_y += height;
    }

    void gap(double lines) { m_y += m_painter.fontMetrics().height() * lines; }
    double y() const { return m_y; }
    void setY(double y) { m_y = y; }

private:
    // The 9.5-point type made smaller where the text is wider than `width`.
    void fit(const QString& text, double width) {
        const double wide = m_painter.fontMetrics().horizontalAdvance(text);
        if (wide > width)
            setFont(9.5 * width / wide, false);
    }

    void setFont(double points, bool bold) {
        QFont font(kReportFontFamily);
        font.setPointSizeF(points);
        font.setBold(bold);
        m_painter.setFont(font);
    }

    QPainter& m_painter;
    double m_width;
    double m_y = 0.0;
    double m_labelShare = 0.4;
};

// The first page also says whether the range's rows verify (in red when not) and the legal counters.
void header(PageWriter& page, const ShiftReport& report, const QString& model, bool first = false) {
    page.text(QStringLiteral("称重统计报表"), 18, true);
    page.text(QStringLiteral("时段：%1 至 %2　　生成时间：%3")
                  .arg(reportTimeText(report.range.from), reportTimeText(report.range.to), reportTimeText(report.made)),
              9.5);
    if (first && report.integrity) {
        if (!report.integrity->holds())
            page.text(report.integrity->warningText(), 10.5, true, Qt::red);
        page.text(report.integrity->countersText(), 9.5);
    }
    if (!model.isEmpty())
        page.text(QStringLiteral("型号：%1　　重量单位：%2")
                      .arg(model, report.unit == WeightUnit::Kilogram ? QStringLiteral("kg") : QStringLiteral("g")),
                  12, true);
    page.gap(0.3);
}

Pairs figures(const ModelReport& m) {
    Pairs items{{QStringLiteral("产品数"), QString::number(m.count)},
                {QStringLiteral("平均值"), weightText(m.mean)},
                {QStringLiteral("标准差"), QString::number(m.sd, 'f', 4)},
                {QStringLiteral("最小值"), weightText(m.minimum)},
                {QStringLiteral("最大值"), weightText(m.maximum)},
                {QStringLiteral("总重"), weightText(m.sum)},
                {QStringLiteral("超高"), QString::number(m.over)},
                {QStringLiteral("正常"), QString::number(m.normal)},
                {QStringLiteral("超低"), QString::number(m.under)},
                {QStringLiteral("速度（个/分钟）"), QString::number(m.perMinute, 'f', 1)},
                {QStringLiteral("首件时间"), m.firstTime},
                {QStringLiteral("末件时间"), m.lastTime}};
    if (m.inCatalogue || m.limits == LimitsSource::Changed)
        items.push_back({QStringLiteral("限值来源"), limitsSourceText(m.limits)});
    if (!m.inCatalogue)
        return items;
    const QualitySettings& s = m.settings;
    items.insert(items.end(), {{QStringLiteral("标准值"), weightText(s.nominal)},
                               {QStringLiteral("上限值"), weightText(s.upper)},
                               {QStringLiteral("下限值"), weightText(s.lower)},
                               {QStringLiteral("让量"), weightText(m.mean - s.nominal)},
                               {QStringLiteral("让量（%）"),
                                s.nominal != 0.0 ? QString::number((m.mean - s.nominal) / s.nominal * 100.0, 'f', 2)
                                                 : QStringLiteral("—")},
                               {QStringLiteral("σ（能力指数用）"), QString::number(m.sigma, 'f', 4)},
                               {QStringLiteral("Cp"), indexText(m.capability.cp)},
                               {QStringLiteral("Cpk"), indexText(m.capability.cpk)},
                               {QStringLiteral("CPL"), indexText(m.capability.cpl)},
                               {QStringLiteral("CPL（TU1）"), indexText(m.cplTu1)}});
    return items;
}

QString percentText(double share) {
    return QString::number(share * 100.0, 'f', 1) + u'%';
}

// Would the range's packs that left the line pass an official check?
void readiness(PageWriter& page, const std::optional<LotReadiness>& r) {
    if (!r)
        return;
    const double saving = r->savingPerPack;
    page.pairs(
        {{QStringLiteral("官方抽检通过概率"), percentText(r->passProbability)},
         {QStringLiteral("均值检验通过概率"),
          r->plan.meanTest ? percentText(r->meanTestProbability) : QStringLiteral("无均值检验")},
         {QStringLiteral("抽样件数"), QString::number(r->plan.first + r->plan.second)},
         {QStringLiteral("最低目标均值（99%）"), QString::number(r->minTargetMean, 'f', 1) + QStringLiteral(" g")},
         {saving >= 0.0 ? QStringLiteral("每包可少给") : QStringLiteral("每包须多给"),
          QString::number(std::abs(saving), 'f', 1) + QStringLiteral(" g")},
         {QStringLiteral("每千包"), QString::number(std::abs(saving), 'f', 2) + QStringLiteral(" kg")}},
        3, 0.55);
}

void quantityRules(PageWriter& page, const ModelReport& m) {
    page.text(QStringLiteral("净含量规则（%1）").arg(QString::fromStdString(regimeName(m.settings.regime))), 12, true);
    if (m.limits == LimitsSource::Changed) {
        page.text(QStringLiteral("本时段内该型号的记录在不同的限值下称重，不能作为一个整体判定：净含量规则按批判定，"
                                 "见批次表"),
                  9.5);
        return;
    }
    if (!m.inCatalogue) {
        page.text(QStringLiteral("型号不在型号表中：无标准值，规则无法判定"), 9.5);
        return;
    }
    if (!m.quantity) {
        page.text(QString::fromStdString(
                      notCoveredReason(m.settings.regime, m.settings.nominal * gramsPer(m.settings.unit))) +
                      QStringLiteral("，净含量规则不适用"),
                  9.5);
        return;
    }
    const AverageQuantityCheck& q = *m.quantity;
    const QuantityLimits& l = q.limits();
    const auto grams = [](double value) -> QString { return QString::number(value, 'f', 1) + QStringLiteral(" g"); };
    page.pairs({{QStringLiteral("标称量 Qn"), grams(l.nominal)},
                {QStringLiteral("允许短缺量 T"), grams(l.tne)},
                {QStringLiteral("TU1"), grams(l.tu1)},
                {QStringLiteral("TU2"), grams(l.tu2)},
                {QStringLiteral("不低于Qn"), QString::number(q.zoneCount(QuantityZone::AtLeastNominal))},
                {QStringLiteral("TU1至Qn"), QString::number(q.zoneCount(QuantityZone::AboveTu1))},
                {QStringLiteral("TU2至TU1"), QString::number(q.zoneCount(QuantityZone::AboveTu2))},
                {QStringLiteral("低于TU2"), QString::number(q.zoneCount(QuantityZone::BelowTu2))}},
               4);
    page.pairs(
        {{QStringLiteral("规则一：平均值不低于标称量"),
          QStringLiteral("%1（平均 %2 g）").arg(verdictText(q.meanRule()), QString::number(q.mean(), 'f', 2))},
         {QStringLiteral("规则二：低于TU1的不超过2.5%"),
          QStringLiteral("%1（%2%）").arg(verdictText(q.tu1Rule()), QString::number(q.belowTu1Percent(), 'f', 2))},
         {QStringLiteral("规则三：没有低于TU2的"), verdictText(q.tu2Rule())},
         {QStringLiteral("批判定（出线产品）"), verdictText(q.passes())}},
        1, 0.3);
    readiness(page, m.readiness);
}

// The run rules broken on the X̄ chart, with how often, and the s chart's points beyond its limits.
QString brokenRules(const ModelReport& m) {
    if (!m.chart.limits())
        return QStringLiteral("控制图：子组不足，未建立基准");
    std::vector<std::pair<ChartRule, int>> counts;
    int sBeyond = 0;
    for (const ChartPoint& point : m.chart.points()) {
        sBeyond += point.sBeyond ? 1 : 0;
        for (ChartRule rule : point.broken) {
            auto found = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == rule; });
            if (found == counts.end())
                counts.emplace_back(rule, 1);
            else
                ++found->second;
        }
    }
    QStringList parts;
    for (const auto& [rule, count] : counts)
        parts << QStringLiteral("%1 %2次").arg(QString::fromStdString(ruleCaption(rule))).arg(count);
    if (sBeyond)
        parts << QStringLiteral("标准差超出控制限 %1次").arg(sBeyond);
    const QString rules =
        m.chart.ruleSet() == RuleSet::WesternElectric ? QStringLiteral("西方电气规则") : QStringLiteral("Nelson规则");
    return QStringLiteral("判异（%1，基准 %2 组）：%3")
        .arg(rules)
        .arg(m.chart.limits()->baselineSubgroups)
        .arg(parts.isEmpty() ? QStringLiteral("无") : parts.join(QStringLiteral("；")));
}

void signatures(PageWriter& page, double bottom, const std::optional<ReportSignature>& signature) {
    page.setY(bottom);
    if (!signature) {
        page.text(QStringLiteral("操作员签字：________________　　质检员签字：________________　　日期：____________"),
                  10.5);
        return;
    }
    page.text(QStringLiteral("操作员签字：________________　　电子签名：%1（%2）　　签名时间：%3")
                  .arg(signature->signer, signature->meaning, reportTimeText(signature->time)),
              10.5);
}

void modelPages(QPdfWriter& writer, QPainter& painter, const ShiftReport& report, const ModelReport& m,
                const QRectF& paper, const std::optional<ReportSignature>& signature, bool first) {
    PageWriter page(painter, paper.width());
    header(page, report, m.model, first);
    page.text(QStringLiteral("统计数据"), 12, true);
    page.pairs(figures(m), 3);
    quantityRules(page, m);
    page.gap(0.5);
    report_charts::drawTrend(painter, page.take(paper.height() - page.y() - paper.height() * 0.03), m);

    writer.newPage();
    page.setY(0);
    header(page, report, m.model);
    report_charts::drawMeans(painter, page.take(paper.height() * 0.2), m);
    report_charts::drawDeviations(painter, page.take(paper.height() * 0.15), m);
    page.text(brokenRules(m), 9);
    page.gap(0.3);
    report_charts::drawHistogram(painter, page.take(paper.height() * 0.22), m);
    QStringList operators;
    for (const auto& [name, count] : m.operators)
        operators << QStringLiteral("%1（%2件）").arg(name.isEmpty() ? QStringLiteral("（无）") : name).arg(count);
    page.text(QStringLiteral("操作员：") + operators.join(QStringLiteral("，")), 10);
    signatures(page, paper.height() * 0.95, signature);
}

// The lots of the range with their verdicts and readiness, then the checks of the checkweigher; a new
// page whenever one is full.
void lotsAndChecks(QPdfWriter& writer, QPainter& painter, const ShiftReport& report, const QRectF& paper,
                   const std::optional<ReportSignature>& signature) {
    PageWriter page(painter, paper.width());
    const auto fresh = [&] {
        if (page.y() < paper.height() * 0.9)
            return;
        writer.newPage();
        page.setY(0);
        header(page, report, {});
    };
    header(page, report, {});
    page.text(QStringLiteral("批次（%1批）").arg(report.lots.size()), 12, true);
    const std::vector<double> lotShares{0.14, 0.18, 0.11, 0.08, 0.08, 0.09, 0.06, 0.13, 0.13};
    page.row({QStringLiteral("型号"), QStringLiteral("批（班次/批号）"), QStringLiteral("站点"), QStringLiteral("件数"),
              QStringLiteral("出线"), QStringLiteral("判定"), QStringLiteral("限值"), QStringLiteral("抽检通过"),
              QStringLiteral("最低目标")},
             lotShares, true);
    for (const LotReport& lot : report.lots) {
        fresh();
        page.row({lot.model, lot.lotNumber.isEmpty() ? lot.period : lot.period + u' ' + lot.lotNumber, lot.station,
                  QString::number(lot.weights.count()), QString::number(lot.normal), lot.verdictText(),
                  !lot.inCatalogue     ? QStringLiteral("—")
                  : lot.limitsRecorded ? QStringLiteral("记录")
                                       : QStringLiteral("目录"),
                  lot.readiness ? percentText(lot.readiness->passProbability) : QStringLiteral("—"),
                  lot.readiness ? QString::number(lot.readiness->minTargetMean, 'f', 1) + QStringLiteral(" g")
                                : QStringLiteral("—")},
                 lotShares);
    }
    page.gap(0.8);
    fresh();
    page.text(QStringLiteral("日常检查（%1次）").arg(report.checks.size()), 12, true);
    if (report.checks.empty())
        page.text(QStringLiteral("所选时段内没有检查记录"), 9.5);
    for (const CheckRecord& check : report.checks) {
        fresh();
        page.text(QStringLiteral("%1　%2　%3　操作员：%4　型号：%5　%6")
                      .arg(check.time, check.kind, check.passed ? QStringLiteral("合格") : QStringLiteral("不合格"),
                           check.operatorName, check.model, check.summary),
                  9);
    }
    page.text(QStringLiteral("限值：“记录”为称重时记录的限值，“目录”为产品目录的限值（记录未保存限值）"), 8);
    signatures(page, paper.height() * 0.95, signature);
}

} // namespace

void writeReportPdf(const ShiftReport& report, const QString& path, const std::optional<ReportSignature>& signature) {
    requireFont();
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("称重统计报表 %1 至 %2")
                        .arg(reportTimeText(report.range.from), reportTimeText(report.range.to)));
    writer.setCreator(QStringLiteral("Kelvora"));
    QPainter painter;
    if (!painter.begin(&writer))
        throw std::runtime_error("cannot write the PDF file " + path.toStdString());
    const QRectF paper(QPointF(0, 0), writer.pageLayout().paintRectPixels(writer.resolution()).size());
    if (report.models.empty()) {
        PageWriter page(painter, paper.width());
        header(page, report, {}, true);
        page.text(QStringLiteral("所选时段内没有称重记录"), 12);
        signatures(page, paper.height() * 0.95, signature);
    }
    for (std::size_t i = 0; i < report.models.size(); ++i) {
        if (i > 0)
            writer.newPage();
        modelPages(writer, painter, report, report.models[i], paper, signature, i == 0);
    }
    if (!report.models.empty()) {
        writer.newPage();
        lotsAndChecks(writer, painter, report, paper, signature);
    }
    if (!painter.end() || QFileInfo(path).size() == 0)
        throw std::runtime_error("cannot write the PDF file " + path.toStdString());
}

} // namespace kelvora
