// Renders the operator's manual from Markdown into the help PDF, with the Chinese font embedded.
#include "ui/FontMapping.h"

#include <cstdio>

#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: kelvora-helppdf MANUAL.md OUTPUT.pdf\n", stderr);
        return 2;
    }
    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kelvora-helppdf: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    kelvora::FontMapping::install();
    QTextDocument document;
    QFont font(u"宋体"_s);
    font.setPointSize(11);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(source.readAll()));

    QPdfWriter writer(args[2]);
    writer.setTitle(u"Kelvora 操作手册"_s);
    writer.setCreator(u"Kelvora"_s);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                     QPageLayout::Millimeter));
    document.print(&writer);
    return QFile::exists(args[2]) ? 0 : 1;
}
