#include "tests/support/TestPaths.h"

#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace Qt::StringLiterals;

struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

ProcessResult run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        return {};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString withoutBlanks(QString text) {
    return text.remove(QRegularExpression(u"\\s+"_s));
}

/// The text pdftotext reads out of a PDF; fails the test when poppler-utils is missing.
QString pdfText(const QString& pdf) {
    const ProcessResult text = run(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s});
    EXPECT_EQ(text.exitCode, 0) << "pdftotext (poppler-utils) failed on " << pdf.toStdString() << ": "
                                << text.err.toStdString();
    return text.out;
}

QString pdfFonts(const QString& pdf) {
    const ProcessResult fonts = run(u"pdffonts"_s, {pdf});
    EXPECT_EQ(fonts.exitCode, 0) << fonts.err.toStdString();
    return fonts.out;
}

void expectEveryFontEmbedded(const QString& fonts) {
    // pdffonts: two header lines, then one line per font with the "emb" column as the fourth from the end.
    const QStringList lines = fonts.split(u'\n', Qt::SkipEmptyParts).mid(2);
    EXPECT_FALSE(lines.isEmpty());
    for (const QString& line : lines) {
        const QStringList columns = line.split(u' ', Qt::SkipEmptyParts);
        ASSERT_GE(columns.size(), 6) << line.toStdString();
        EXPECT_EQ(columns[columns.size() - 5], u"yes"_s) << "not embedded: " << line.toStdString();
    }
}

QString helpPdf() {
    return QString::fromStdString(test::binDir()) + u"/../share/kelvora/帮助文件.pdf"_s;
}

QString renderer() {
    return QString::fromStdString(test::binDir()) + u"/kelvora-helppdf"_s;
}

void writeFile(const QString& path, const QString& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

TEST(HelpPdfTest, TheBuiltManualReadsBackWithEveryHeadingOfItsChapters) {
    ASSERT_TRUE(QFile::exists(helpPdf())) << helpPdf().toStdString();
    const QString text = withoutBlanks(pdfText(helpPdf()));
    ASSERT_FALSE(text.isEmpty());

    const QDir chapters(QString::fromStdString(test::sourceDir()) + u"/docs/manual"_s);
    const QStringList files = chapters.entryList({u"*.md"_s}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 10);
    int headings = 0;
    for (const QString& name : files) {
        QFile file(chapters.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        bool inCode = false;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            inCode ^= line.startsWith(u"```"_s);
            static const QRegularExpression heading(u"^#{1,3} (.+)$"_s);
            const auto match = heading.match(line);
            if (inCode || !match.hasMatch()) {
                continue;
            }
            ++headings;
            EXPECT_TRUE(text.contains(withoutBlanks(match.captured(1))))
                << name.toStdString() << ": " << line.toStdString();
        }
    }
    EXPECT_GE(headings, 40);
    // The texts an operator looks for by name.
    for (const char* expected : {"您确实要退出本系统吗？", "请选择型号或选择合法型号！", "/dev/serial/by-id/",
                                 "dialout", "Backup/DataBase24-07-15.mdb", "峰值取样", "稳定取样", "123456"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    }
}

TEST(HelpPdfTest, TheBuiltManualEmbedsItsFontsAndNumbersItsPages) {
    const QString fonts = pdfFonts(helpPdf());
    EXPECT_TRUE(fonts.contains(u"WenQuanYiZenHei"_s)) << fonts.toStdString();
    expectEveryFontEmbedded(fonts);

    const ProcessResult info = run(u"pdfinfo"_s, {helpPdf()});
    const auto pages = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(info.out);
    ASSERT_TRUE(pages.hasMatch()) << info.out.toStdString();
    const int count = pages.captured(1).toInt();
    EXPECT_GE(count, 12); // one chapter a page at least
    EXPECT_TRUE(info.out.contains(u"A4"_s) || info.out.contains(u"595."_s)) << info.out.toStdString();
    const QString text = withoutBlanks(pdfText(helpPdf()));
    EXPECT_TRUE(text.contains(u"第1页/共%1页"_s.arg(count)));
    EXPECT_TRUE(text.contains(u"第%1页/共%1页"_s.arg(count)));
}

/// The contents as pdftotext lays them out on the pages before the text starts: each line a heading and its
/// page number.
std::vector<std::pair<QString, int>> contentsOf(const QString& pdf) {
    const ProcessResult layout = run(u"pdftotext"_s, {u"-layout"_s, u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s});
    EXPECT_EQ(layout.exitCode, 0) << layout.err.toStdString();
    std::vector<std::pair<QString, int>> lines;
    static const QRegularExpression line(u"^(\\S.*?)\\s{2,}(\\d+)$"_s);
    for (const QString& page : layout.out.split(u'\f')) {
        if (!page.contains(u"目录"_s) && lines.empty())
            break;
        const qsizetype before = static_cast<qsizetype>(lines.size());
        for (const QString& text : page.split(u'\n')) {
            if (const auto match = line.match(text.trimmed()); match.hasMatch())
                lines.emplace_back(withoutBlanks(match.captured(1)), match.captured(2).toInt());
        }
        if (static_cast<qsizetype>(lines.size()) == before)
            break;
    }
    return lines;
}

/// Whether each line's heading stands on the page it names.
void expectContentsPointAtTheirPages(const QString& pdf, const std::vector<std::pair<QString, int>>& contents) {
    const QStringList pages = pdfText(pdf).split(u'\f');
    for (const auto& [heading, page] : contents) {
        ASSERT_LT(page - 1, pages.size()) << heading.toStdString();
        EXPECT_TRUE(withoutBlanks(pages[page - 1]).contains(heading))
            << heading.toStdString() << " not on page " << page;
    }
}

TEST(HelpPdfTest, TheBuiltManualListsItsChaptersAndSectionsWithTheirPages) {
    const std::vector<std::pair<QString, int>> contents = contentsOf(helpPdf());
    const QDir chapters(QString::fromStdString(test::sourceDir()) + u"/docs/manual"_s);
    QStringList headings;
    for (const QString& name : chapters.entryList({u"*.md"_s}, QDir::Files, QDir::Name)) {
        QFile file(chapters.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        bool inCode = false;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            inCode ^= line.startsWith(u"```"_s);
            if (!inCode && (line.startsWith(u"# "_s) || line.startsWith(u"## "_s)))
                headings << withoutBlanks(line.mid(line.indexOf(u' ') + 1));
        }
    }
    headings.removeFirst(); // the title
    QStringList listed;
    for (const auto& [heading, page] : contents)
        listed << heading;
    EXPECT_EQ(listed, headings);
    expectContentsPointAtTheirPages(helpPdf(), contents);
}

TEST(HelpPdfTest, ContentsAreOnlyMadeWhenAskedForAndFollowTheTitle) {
    const test::TempDir dir;
    const QString md = QString::fromStdString(dir.file("a.md"));
    writeFile(md,
              u"# 手册\n\n前言。\n\n## 一节\n\n正文。\n\n# 第二章\n\n## 第二节\n\n### 小节\n\n# 第三章\n\n完。\n"_s);
    const QString pdf = QString::fromStdString(dir.file("toc.pdf"));
    const ProcessResult rendered = run(renderer(), {u"--contents"_s, pdf, md});
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err.toStdString();
    const auto contents = contentsOf(pdf);
    const std::vector<std::pair<QString, int>> expected{
        {u"一节"_s, 2}, {u"第二章"_s, 3}, {u"第二节"_s, 3}, {u"第三章"_s, 4}};
    EXPECT_EQ(contents, expected);
    expectContentsPointAtTheirPages(pdf, contents);
    EXPECT_TRUE(pdfText(pdf).split(u'\f').value(1).contains(u"前言"_s)) << "the text after the title starts a page";

    const QString plain = QString::fromStdString(dir.file("plain.pdf"));
    ASSERT_EQ(run(renderer(), {plain, md}).exitCode, 0);
    EXPECT_FALSE(pdfText(plain).contains(u"目录"_s));
    EXPECT_TRUE(contentsOf(plain).empty());
}

TEST(HelpPdfTest, ChaptersStartOnTheirOwnPageAndCodeKeepsItsChineseInTheCodeFont) {
    const test::TempDir dir;
    const QString md = QString::fromStdString(dir.file("a.md"));
    writeFile(md, u"# 第一章\n\n正文。\n\n| 键 | 值 |\n|---|---|\n| 下限值 | 10.000 |\n\n"
                  u"# 第二章\n\n```\nkelvora --dir /home/czg/称重站\n```\n"_s);
    const QString pdf = QString::fromStdString(dir.file("out/手册.pdf"));
    const ProcessResult rendered = run(renderer(), {pdf, md});
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err.toStdString();

    const QString first = pdfText(pdf).split(u'\f').value(0);
    EXPECT_TRUE(first.contains(u"第一章"_s));
    EXPECT_TRUE(first.contains(u"下限值"_s));
    EXPECT_FALSE(first.contains(u"第二章"_s)) << "the second chapter must begin on page 2";
    const QString text = withoutBlanks(pdfText(pdf));
    EXPECT_TRUE(text.contains(u"kelvora--dir/home/czg/称重站"_s));
    EXPECT_TRUE(text.contains(u"第2页/共2页"_s));
    const QString fonts = pdfFonts(pdf);
    EXPECT_TRUE(fonts.contains(u"WenQuanYiZenHeiMono"_s)) << fonts.toStdString();
    expectEveryFontEmbedded(fonts);
}

TEST(HelpPdfTest, AMissingChapterFailsAndLeavesTheEarlierManualInPlace) {
    const test::TempDir dir;
    const QString pdf = QString::fromStdString(dir.file("帮助文件.pdf"));
    writeFile(pdf, u"earlier"_s);
    const ProcessResult rendered = run(renderer(), {pdf, QString::fromStdString(dir.file("missing.md"))});
    EXPECT_EQ(rendered.exitCode, 1);
    EXPECT_TRUE(rendered.err.contains(u"missing.md"_s)) << rendered.err.toStdString();
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "earlier");
    EXPECT_FALSE(QFile::exists(pdf + u".part"_s));

    EXPECT_EQ(run(renderer(), {pdf}).exitCode, 2);
    EXPECT_EQ(run(renderer(), {u"--contents"_s, pdf}).exitCode, 2);
}

} // namespace
} // namespace kelvora
