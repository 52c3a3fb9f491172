#include "tools/DbCommand.h"

#include "data/DatabaseError.h"
#include "data/DatabaseSetup.h"

#include <cstdio>

#include <QString>
#include <QStringList>

namespace kelvora {

namespace {

int usage() {
    std::fputs("usage: kelvora-tool db init [--demo] TARGET\n"
               "       kelvora-tool db import-mdb FILE TARGET\n"
               "TARGET: an SQLite file (created; must not exist) or a connection string\n"
               "        \"Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=...\"\n",
               stderr);
    return 2;
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
                "Created the tables XH, weight and users%s in %s\n", demo ? " with demo models" : "",
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
    } catch (const DatabaseError& e) {
        std::fprintf(stderr, "kelvora-tool db %s: %s\n", qPrintable(command), e.what());
        return 1;
    }
    return usage();
}

} // namespace kelvora
