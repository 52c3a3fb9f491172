#include "docs/HelpPdfWriter.h"

#include <cmath>

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace kelvora {

using namespace Qt::StringLiterals;

namespace {

constexpr qreal kTextPointSize = 11.0;
constexpr qreal kMarginMm = 20.0;

void requireFamily(const QString& family) {
    if (!QFontDatabase::families().contains(family)) {
        throw HelpPdfError("the font \"" + family.toStdString() +
                           "\" is not installed (Debian package fonts-wqy-zenhei); without it the Chinese text "
                           "would show as boxes");
    }
}

/// The Markdown importer sets code in the system's fixed font, which has no Chinese glyphs.
/// Code blocks also get a light background, so commands stand apart from the text.
void mapCodeFont(QTextDocument& doc) {
    const QString systemFixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().hasProperty(QTextFormat::BlockCodeFence)) {
            QTextBlockFormat format = block.blockFormat();
            format.setBackground(QColor(0xF0, 0xF0, 0xF0));
            format.setLeftMargin(8);
            QTextCursor(block).setBlockFormat(format);
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (!format.fontFixedPitch() && !format.fontFamilies().toStringList().contains(systemFixed)) {
                continue;
            }
            format.setFontFamilies({QString::fromLatin1(HelpPdfWriter::kCodeFamily)});
            QTextCursor cursor(&doc);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
}

void styleTables(QTextFrame* frame) {
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child)) {
            QTextTableFormat format = table->format();
            format.setBorder(1);
            format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            format.setBorderBrush(QColor(0x90, 0x90, 0x90));
            format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
            format.setBorderCollapse(true);
            format.setCellPadding(3);
            format.setCellSpacing(0);
            format.setHeaderRowCount(1);
            table->setFormat(format);
            for (int column = 0; column < table->columns(); ++column) {
                QTextTableCell cell = table->cellAt(0, column);
                QTextCharFormat cellFormat = cell.format();
                cellFormat.setBackground(QColor(0xE4, 0xEE, 0xF8));
                cell.setFormat(cellFormat);
            }
        }
        styleTables(child);
    }
}

/// Headings in dark blue with room above them; every chapter (level-1 heading) but the first begins on a
/// new page.
void styleHeadings(QTextDocument& doc) {
    bool first = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level == 0) {
            continue;
        }
        QTextBlockFormat format = block.blockFormat();
        format.setTopMargin(level == 1 ? 0 : 14);
        format.setBottomMargin(6);
        if (level == 1 && !first) {
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        }
        first = first && level != 1;
        QTextCursor cursor(block);
        cursor.setBlockFormat(format);
        cursor.select(QTextCursor::BlockUnderCursor);
        QTextCharFormat color;
        color.setForeground(QColor(0x14, 0x3C, 0x78));
        cursor.mergeCharFormat(color);
    }
}

/// The first heading below level 1 that stands in the last lines of a page, its text on the next one.
QTextBlock strandedHeading(QTextDocument& doc, qreal lineHeight) {
    const qreal pageHeight = doc.pageSize().height();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        if (format.headingLevel() < 2 || format.pageBreakPolicy() == QTextFormat::PageBreak_AlwaysBefore) {
            continue;
        }
        const QRectF rect = doc.documentLayout()->blockBoundingRect(block);
        if (std::fmod(rect.top(), pageHeight) + rect.height() + 3 * lineHeight > pageHeight) {
            return block;
        }
    }
    return {};
}

/// Moves each stranded heading to the next page, one at a time: every move shifts the pages after it.
/// Needs the page size set.
void keepHeadingsWithText(QTextDocument& doc, qreal lineHeight) {
    for (;;) {
        // A change relays out lazily from its block on; start each search from a whole new layout.
        doc.markContentsDirty(0, doc.characterCount());
        const QTextBlock block = strandedHeading(doc, lineHeight);
        if (!block.isValid()) {
            return;
        }
        QTextBlockFormat format = block.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        QTextCursor(block).setBlockFormat(format);
    }
}

} // namespace

int HelpPdfWriter::write(const QString& markdown, const QString& pdfPath) const {
    requireFamily(QString::fromLatin1(kTextFamily));
    requireFamily(QString::fromLatin1(kCodeFamily));

    // Written beside the target and renamed at the end, so a failed run never leaves a partial manual.
    const QString partPath = pdfPath + u".part"_s;
    int pageCount = 0;
    try {
        pageCount = render(markdown, partPath);
    } catch (...) {
        QFile::remove(partPath);
        throw;
    }
    QFile::remove(pdfPath);
    if (!QFile::rename(partPath, pdfPath)) {
        QFile::remove(partPath);
        throw HelpPdfError("cannot replace " + pdfPath.toStdString());
    }
    return pageCount;
}

int HelpPdfWriter::render(const QString& markdown, const QString& path) const {
    QPdfWriter writer(path);
    writer.setTitle(m_title);
    writer.setCreator(u"kelvora-helppdf"_s);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer)) {
        throw HelpPdfError("cannot write " + path.toStdString());
    }

    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setDefaultFont(QFont(QString::fromLatin1(kTextFamily), static_cast<int>(kTextPointSize)));
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    mapCodeFont(doc);
    styleTables(doc.rootFrame());
    styleHeadings(doc);

    // Header and footer take one line each inside the page's margins.
    QFont small(QString::fromLatin1(kTextFamily));
    small.setPointSizeF(kTextPointSize - 2);
    const QRectF page(QPointF(0, 0), QSizeF(writer.width(), writer.height()));
    const qreal line = QFontMetricsF(small, &writer).height();
    const QRectF body = page.adjusted(0, line * 2, 0, -line * 2);
    doc.setPageSize(body.size());
    keepHeadingsWithText(doc, QFontMetricsF(doc.defaultFont(), &writer).height());
    const int pageCount = doc.pageCount();

    for (int index = 0; index < pageCount; ++index) {
        if (index > 0 && !writer.newPage()) {
            throw HelpPdfError("cannot write " + path.toStdString());
        }
        painter.save();
        painter.translate(body.topLeft() - QPointF(0, index * body.height()));
        doc.drawContents(&painter, QRectF(0, index * body.height(), body.width(), body.height()));
        painter.restore();

        painter.setFont(small);
        painter.setPen(QColor(0x50, 0x50, 0x50));
        if (index > 0) {
            painter.drawText(QRectF(page.left(), page.top(), page.width(), line), Qt::AlignRight, m_title);
        }
        painter.drawText(QRectF(page.left(), page.bottom() - line, page.width(), line), Qt::AlignHCenter,
                         u"第 %1 页 / 共 %2 页"_s.arg(index + 1).arg(pageCount));
    }
    if (!painter.end()) {
        throw HelpPdfError("cannot write " + path.toStdString());
    }
    return pageCount;
}

} // namespace kelvora
