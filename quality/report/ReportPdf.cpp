#include "quality/report/ReportPdf.h"

#include "quality/report/ReportCharts.h"

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

    void text(const QString& text, double points, bool bold = false) {
        setFont(points, bold);
        const double height = m_painter.fontMetrics().height();
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRectF(0, m_y, m_width, height), Qt::AlignLeft | Qt::AlignVCenter, text);
        m_y += height * 1.25;
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
            m_painter.drawText(QRectF(x, y, cell * m_labelShare, height), Qt::AlignLeft | Qt::AlignVCenter,
                               items[i].first);
            m_painter.setPen(Qt::black);
            m_painter.drawText(QRectF(x + cell * m_labelShare, y, cell * (0.95 - m_labelShare), height),
                               Qt::AlignLeft | Qt::AlignVCenter, items[i].second);
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

    void gap(double lines) { m_y += m_painter.fontMetrics().height() * lines; }
    double y() const { return m_y; }
    void setY(double y) { m_y = y; }

private:
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

void header(PageWriter& page, const ShiftReport& report, const QString& model) {
    page.text(QStringLiteral("称重统计报表"), 18, true);
    page.text(QStringLiteral("时段：%1 至 %2　　生成时间：%3")
                  .arg(reportTimeText(report.range.from), reportTimeText(report.range.to), reportTimeText(report.made)),
              9.5);
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

void quantityRules(PageWriter& page, const ModelReport& m) {
    page.text(QStringLiteral("定量包装平均数量规则"), 12, true);
    if (!m.inCatalogue) {
        page.text(QStringLiteral("型号不在型号表中：无标准值，规则无法判定"), 9.5);
        return;
    }
    if (!m.quantity) {
        page.text(QStringLiteral("标准值不在5 g至25 kg之间，定量包装规则不适用"), 9.5);
        return;
    }
    const AverageQuantityCheck& q = *m.quantity;
    const QuantityLimits& l = q.limits();
    const auto grams = [](double value) -> QString { return QString::number(value, 'f', 1) + QStringLiteral(" g"); };
    page.pairs({{QStringLiteral("标称量 Qn"), grams(l.nominal)},
                {QStringLiteral("允许短缺量 TNE"), grams(l.tne)},
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
         {QStringLiteral("批判定"), verdictText(q.passes())}},
        1, 0.3);
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
        m.chart.ruleSet() == RuleSet::WesternElectric ? QStringLiteral("西电规则") : QStringLiteral("Nelson规则");
    return QStringLiteral("判异（%1，基准 %2 组）：%3")
        .arg(rules)
        .arg(m.chart.limits()->baselineSubgroups)
        .arg(parts.isEmpty() ? QStringLiteral("无") : parts.join(QStringLiteral("；")));
}

void signatures(PageWriter& page, double bottom) {
    page.setY(bottom);
    page.text(QStringLiteral("操作员签字：________________　　质检员签字：________________　　日期：____________"),
              10.5);
}

void modelPages(QPdfWriter& writer, QPainter& painter, const ShiftReport& report, const ModelReport& m,
                const QRectF& paper) {
    PageWriter page(painter, paper.width());
    header(page, report, m.model);
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
    signatures(page, paper.height() * 0.95);
}

} // namespace

void writeReportPdf(const ShiftReport& report, const QString& path) {
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
        header(page, report, {});
        page.text(QStringLiteral("所选时段内没有称重记录"), 12);
        signatures(page, paper.height() * 0.95);
    }
    for (std::size_t i = 0; i < report.models.size(); ++i) {
        if (i > 0)
            writer.newPage();
        modelPages(writer, painter, report, report.models[i], paper);
    }
    if (!painter.end() || QFileInfo(path).size() == 0)
        throw std::runtime_error("cannot write the PDF file " + path.toStdString());
}

} // namespace kelvora
