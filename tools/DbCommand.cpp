#include "tools/DbCommand.h"

#include "data/ChainVerifier.h"
#include "data/ConnectionTarget.h"
#include "data/DatabaseError.h"
#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kelvora {

namespace {

int usage() {
    std::fputs("usage: kelvora-tool db init [--demo] TARGET\n"
               "       kelvora-tool db import-mdb FILE TARGET\n"
               "       kelvora-tool db verify TARGET [--from \"YYYY-MM-DD HH:MM:SS\"] [--to ...]\n"
               "TARGET: an SQLite file (created; must not exist) or a connection string\n"
               "        \"Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=...\"\n",
               stderr);
    return 2;
}

std::optional<QDateTime> timeOption(QStringList& args, const QString& name, bool& bad) {
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return std::nullopt;
    const QString text = at + 1 < args.size() ? args[at + 1] : QString();
    args.remove(at, std::min<qsizetype>(2, args.size() - at));
    for (const QString& format : {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd")}) {
        const QDateTime time = QDateTime::fromString(text, format);
        if (time.isValid())
            return format.size() == 10 && name == QStringLiteral("--to") ? time.addDays(1).addSecs(-1) : time;
    }
    bad = true;
    return std::nullopt;
}

// Prints each broken link; 0 when every chain holds, 1 otherwise.
int verify(QStringList args) {
    bool bad = false;
    const auto from = timeOption(args, QStringLiteral("--from"), bad);
    const auto to = timeOption(args, QStringLiteral("--to"), bad);
    if (bad || args.size() != 1 || args.front().startsWith(QStringLiteral("--")))
        return usage();
    const QString target = args.front();
    const ConnectionTarget where = parseConnectionTarget(target);
    TADOConnection connection(where.engine == ConnectionTarget::Engine::Sqlite
                                  ? QStringLiteral("Data Source=\"%1\";").arg(where.filePath)
                                  : target);
    const ChainVerifier::Report report = ChainVerifier(connection).verify(from, to);
    for (const ChainVerifier::Break& broken : report.breaks)
        std::printf("%s: station %s, id %lld, 序号 %s: %s\n", qPrintable(broken.table), qPrintable(broken.station),
                    broken.id, qPrintable(QString::number(broken.number, 'g', 15)), qPrintable(broken.explanation));
    std::printf("%lld rows checked, %lld rows without a link skipped, %zu broken links\n", report.checked,
                report.withoutLink, report.breaks.size());
    return report.holds() ? 0 : 1;
}

} // namespace

int runDbCommand(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    try {
        if (command == QStringLiteral("init")) {
            const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
            if (args.size() != 1 || args.front().startsWith(QStringLiteral("--")))
                return usage();
            database_setup::initDatabase(args.front(), demo);
            std::printf(
                "Created the tables XH, weight, users and audit%s in %s\n", demo ? " with demo models" : "",
                qPrintable(args.front().contains(u'=') ? QStringLiteral("the PostgreSQL database") : args.front()));
            return 0;
        }
        if (command == QStringLiteral("import-mdb")) {
            if (args.size() != 2)
                return usage();
            const auto counts = database_setup::importMdb(args[0], args[1]);
            std::printf("Imported %d models, %d records and %d users\n", counts.models, counts.records, counts.users);
            return 0;
        }
        if (command == QStringLiteral("verify"))
            return verify(args);
    } catch (const DatabaseError& e) {
        std::fprintf(stderr, "kelvora-tool db %s: %s\n", qPrintable(command), e.what());
        return 1;
    }
    return usage();
}

} // namespace kelvora
