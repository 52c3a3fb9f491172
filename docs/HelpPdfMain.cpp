// kelvora-helppdf [--contents] OUTPUT.pdf INPUT.md... : the operator's manual from its Markdown chapters,
// with --contents a table of contents after its title.
#include "docs/HelpPdfWriter.h"

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace {

/// The chapters in the order given, each a UTF-8 file, joined by blank lines.
QString readChapters(const QStringList& paths) {
    QString markdown;
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            throw kelvora::HelpPdfError("cannot read " + path.toStdString() + ": " + file.errorString().toStdString());
        }
        markdown += QString::fromUtf8(file.readAll()) + u"\n\n"_s;
    }
    return markdown;
}

} // namespace

int main(int argc, char** argv) {
    // A batch program: it draws into a file, never onto a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool contents = !args.isEmpty() && args.first() == u"--contents"_s;
    if (contents)
        args.removeFirst();
    if (args.size() < 2) {
        std::fputs("usage: kelvora-helppdf [--contents] OUTPUT.pdf INPUT.md...\n", stderr);
        return 2;
    }
    const QString output = args.takeFirst();
    try {
        const QString markdown = readChapters(args);
        if (!QDir().mkpath(QFileInfo(output).absolutePath())) {
            throw kelvora::HelpPdfError("cannot create the folder of " + output.toStdString());
        }
        kelvora::HelpPdfWriter writer(u"Kelvora 称重工作站 操作手册"_s);
        writer.setContents(contents);
        const int pages = writer.write(markdown, output);
        std::printf("%s: %d pages\n", qPrintable(QDir::toNativeSeparators(output)), pages);
    } catch (const kelvora::HelpPdfError& e) {
        std::fprintf(stderr, "kelvora-helppdf: %s\n", e.what());
        return 1;
    }
    return 0;
}
