#include "data/window/RecordPrint.h"

#include "data/RecordExport.h"
#include "data/TADOQuery.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

// The heading's lines of one page.
QStringList headingLines(const QString& title, const RecordPrint::Heading& heading, int count, int page, int pages) {
    return {u"%1　站点：%2"_s.arg(title, heading.station),
            u"时间：%1　条件：%2　共%3条记录　第%4页/共%5页"_s
                .arg(heading.range, heading.condition.isEmpty() ? u"无"_s : heading.condition)
                .arg(count)
                .arg(page)
                .arg(pages)};
}

} // namespace

int RecordPrint::paint(QPagedPaintDevice& device, const TADOQuery& query, const Heading& heading,
                       const QString& title) {
    const int count = query.RecordCount();
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                                     QPageLayout::Millimeter));
    QPainter painter(&device);
    QFont font(u"Noto Sans CJK SC"_s);
    font.setPointSizeF(9);
    painter.setFont(font);
    const QRect page = painter.viewport();
    const int line = painter.fontMetrics().height() * 13 / 10;
    const int tableTop = 3 * line;
    const int rowsPerPage = std::max(1, (page.height() - tableTop - line) / line);
    const int pages = std::max(1, (count + rowsPerPage - 1) / rowsPerPage);
    const QStringList names = RecordExport::columns(query);
    std::vector<int> indexes;
    for (const QString& name : names)
        indexes.push_back(static_cast<int>(query.fieldNames().indexOf(name)));
    // 时间 takes twice a column's width.
    const auto weight = [&](int c) { return names[c] == u"时间"_s ? 2 : 1; };
    int units = 0;
    for (int c = 0; c < names.size(); ++c)
        units += weight(c);
    const double unit = double(page.width()) / std::max(1, units);
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            device.newPage();
        const QStringList lines = headingLines(title, heading, count, p + 1, pages);
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(QRect(0, i * line, page.width(), line), Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
        const auto drawRow = [&](int y, const auto& text) {
            double x = 0;
            for (int c = 0; c < names.size(); ++c) {
                const QRectF cell(x + 2, y, unit * weight(c) - 4, line);
                painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, text(c));
                x += unit * weight(c);
            }
        };
        drawRow(tableTop, [&](int c) { return names[c]; });
        painter.drawLine(0, tableTop + line, page.width(), tableTop + line);
        const int first = p * rowsPerPage;
        for (int r = first; r < std::min(count, first + rowsPerPage); ++r)
            drawRow(tableTop + (r - first + 1) * line, [&](int c) { return query.field(r, indexes[c]).AsString(); });
        if (count == 0)
            painter.drawText(QRect(0, tableTop + line, page.width(), line), Qt::AlignLeft, u"没有记录。"_s);
    }
    return pages;
}

} // namespace kelvora
