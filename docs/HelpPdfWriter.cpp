#include "docs/HelpPdfWriter.h"

#include <cmath>
#include <utility>
#include <vector>

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

/// The table of contents: the headings it lists, as cursors that follow the edits before them, and the
/// table whose second column shows their pages.
struct Contents {
    QTextTable* table = nullptr;
    std::vector<QTextCursor> headings;
};

/// The level-1 and level-2 headings after the first heading (the title).
std::vector<QTextCursor> headingsAfterTitle(QTextDocument& doc) {
    std::vector<QTextCursor> headings;
    bool title = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level == 0 || level > 2 || std::exchange(title, false))
            continue;
        headings.emplace_back(block);
    }
    return headings;
}

/// Inserts "目录" and its table after the title; the text after them begins on a new page. The pages
/// are filled in by numberContents.
Contents insertContents(QTextDocument& doc) {
    Contents contents{nullptr, headingsAfterTitle(doc)};
    if (contents.headings.empty())
        return contents;
    QTextCursor cursor(doc.begin());
    while (cursor.block().blockFormat().headingLevel() == 0)
        cursor.movePosition(QTextCursor::NextBlock);
    cursor.movePosition(QTextCursor::EndOfBlock);
    QTextBlockFormat caption;
    caption.setTopMargin(18);
    caption.setBottomMargin(8);
    QTextCharFormat captionText;
    captionText.setFontPointSize(kTextPointSize * 1.5);
    captionText.setFontWeight(QFont::Bold);
    captionText.setForeground(QColor(0x14, 0x3C, 0x78));
    cursor.insertBlock(caption, captionText);
    cursor.insertText(u"目录"_s, captionText);

    QTextTableFormat format;
    format.setBorder(0);
    format.setCellPadding(1);
    format.setCellSpacing(0);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setColumnWidthConstraints(
        {QTextLength(QTextLength::PercentageLength, 90), QTextLength(QTextLength::PercentageLength, 10)});
    contents.table = cursor.insertTable(static_cast<int>(contents.headings.size()), 2, format);
    for (int row = 0; row < contents.table->rows(); ++row) {
        const QTextBlock heading = contents.headings[static_cast<std::size_t>(row)].block();
        const bool chapter = heading.blockFormat().headingLevel() == 1;
        QTextCursor title = contents.table->cellAt(row, 0).firstCursorPosition();
        QTextBlockFormat indent;
        indent.setLeftMargin(chapter ? 0 : 18);
        indent.setTopMargin(chapter ? 6 : 0);
        title.setBlockFormat(indent);
        QTextCharFormat text;
        text.setFontWeight(chapter ? QFont::Bold : QFont::Normal);
        title.insertText(heading.text(), text);
        QTextCursor page = contents.table->cellAt(row, 1).firstCursorPosition();
        QTextBlockFormat right = indent;
        right.setLeftMargin(0);
        right.setAlignment(Qt::AlignRight);
        page.setBlockFormat(right);
    }
    QTextCursor after = contents.table->lastCursorPosition();
    after.movePosition(QTextCursor::NextBlock);
    QTextBlockFormat newPage = after.blockFormat();
    newPage.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    after.setBlockFormat(newPage);
    return contents;
}

/// Writes each heading's page into the contents; false when every page was right already. Needs the
/// page size set.
bool numberContents(QTextDocument& doc, const Contents& contents) {
    const qreal pageHeight = doc.pageSize().height();
    bool changed = false;
    for (int row = 0; row < contents.table->rows(); ++row) {
        const QTextBlock heading = contents.headings[static_cast<std::size_t>(row)].block();
        const int page = static_cast<int>(doc.documentLayout()->blockBoundingRect(heading).top() / pageHeight) + 1;
        const QTextTableCell cell = contents.table->cellAt(row, 1);
        QTextCursor cursor = cell.firstCursorPosition();
        cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
        if (cursor.selectedText() != QString::number(page)) {
            cursor.insertText(QString::number(page));
            changed = true;
        }
    }
    return changed;
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
    const Contents contents = m_contents ? insertContents(doc) : Contents{};
    // The pages the contents name may move a heading; then its page is written anew.
    for (int pass = 0; pass < 4; ++pass) {
        keepHeadingsWithText(doc, QFontMetricsF(doc.defaultFont(), &writer).height());
        if (contents.table == nullptr || !numberContents(doc, contents))
            break;
    }
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
