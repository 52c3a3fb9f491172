#include "data/ConnectionTarget.h"

#include "data/DatabaseError.h"

#include <mutex>

#include <QDir>
#include <QFileInfo>
#include <QMap>

namespace kelvora {

namespace {

// Splits `Key=Value;Key="Value";...` into a map with lower-cased keys.
QMap<QString, QString> splitPairs(const QString& text) {
    QMap<QString, QString> pairs;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype eq = text.indexOf(u'=', i);
        if (eq < 0) {
            if (!text.mid(i).trimmed().isEmpty())
                throw DatabaseError(QStringLiteral("Malformed connection string: '%1' has no value").arg(text.mid(i)));
            break;
        }
        const QString key = text.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        while (i < text.size() && text[i] == u' ')
            ++i;
        QString value;
        if (i < text.size() && text[i] == u'"') {
            const qsizetype close = text.indexOf(u'"', i + 1);
            if (close < 0)
                throw DatabaseError(QStringLiteral("Malformed connection string: unterminated quote"));
            value = text.mid(i + 1, close - i - 1);
            i = close + 1;
            const qsizetype semi = text.indexOf(u';', i);
            i = semi < 0 ? text.size() : semi + 1;
        } else {
            const qsizetype semi = text.indexOf(u';', i);
            const qsizetype end = semi < 0 ? text.size() : semi;
            value = text.mid(i, end - i).trimmed();
            i = end + 1;
        }
        if (key.isEmpty())
            throw DatabaseError(QStringLiteral("Malformed connection string: empty key"));
        pairs.insert(key, value);
    }
    return pairs;
}

int toInt(const QString& text, const char* what) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        throw DatabaseError(
            QStringLiteral("Malformed connection string: %1 '%2' is not a number").arg(QLatin1StringView(what), text));
    return value;
}

} // namespace

QString ConnectionTarget::describe() const {
    if (engine == Engine::Sqlite)
        return filePath;
    return QStringLiteral("PostgreSQL database '%1' on %2:%3").arg(database, host).arg(port);
}

QString ConnectionTarget::companionDirectory() const {
    if (engine == Engine::Sqlite)
        return QFileInfo(filePath).absolutePath();
    return QDir::currentPath();
}

QString resolveCaseBlind(const QString& path) {
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    const QStringList parts = absolute.split(u'/', Qt::SkipEmptyParts);
    QString resolved = QStringLiteral("/");
    for (const QString& part : parts) {
        QDir dir(resolved);
        QString next = dir.filePath(part);
        if (!QFileInfo::exists(next)) {
            const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
            QStringList matches;
            for (const QString& entry : entries)
                if (entry.compare(part, Qt::CaseInsensitive) == 0)
                    matches << entry;
            if (matches.size() == 1)
                next = dir.filePath(matches.front());
        }
        resolved = next;
    }
    return resolved;
}

ConnectionTarget parseConnectionTarget(const QString& text) {
    ConnectionTarget target;
    if (!text.contains(u'=')) {
        if (text.trimmed().isEmpty())
            throw DatabaseError(QStringLiteral("No database given"));
        target.filePath = resolveCaseBlind(text.trimmed());
        return target;
    }
    const QMap<QString, QString> pairs = splitPairs(text);
    if (pairs.contains(QStringLiteral("busy timeout")))
        target.busyTimeoutMs = toInt(pairs.value(QStringLiteral("busy timeout")), "Busy Timeout");
    const QString provider = pairs.value(QStringLiteral("provider")).toLower();
    if (provider == QStringLiteral("postgresql") || provider == QStringLiteral("postgres")) {
        target.engine = ConnectionTarget::Engine::Postgres;
        target.host = pairs.value(QStringLiteral("host"), QStringLiteral("localhost"));
        if (pairs.contains(QStringLiteral("port")))
            target.port = toInt(pairs.value(QStringLiteral("port")), "Port");
        target.database = pairs.value(QStringLiteral("database"));
        target.user = pairs.value(QStringLiteral("user id"), pairs.value(QStringLiteral("user")));
        target.password = pairs.value(QStringLiteral("password"));
        if (target.database.isEmpty())
            throw DatabaseError(QStringLiteral("Malformed connection string: no Database given"));
        return target;
    }
    const QString source = pairs.value(QStringLiteral("data source"));
    if (source.isEmpty())
        throw DatabaseError(QStringLiteral("Malformed connection string: no Data Source given"));
    target.filePath = resolveCaseBlind(source);
    return target;
}

QString mainConnectionString(const std::optional<QString>& configured) {
    if (!configured || configured->trimmed().isEmpty())
        return QStringLiteral("Data Source=\"%1\";").arg(resolveCaseBlind(QStringLiteral("database.mdb")));
    const ConnectionTarget target = parseConnectionTarget(configured->trimmed());
    if (target.engine == ConnectionTarget::Engine::Postgres)
        return configured->trimmed();
    return QStringLiteral("Data Source=\"%1\";Busy Timeout=%2").arg(target.filePath).arg(target.busyTimeoutMs);
}

namespace {
std::mutex g_mainMutex;
std::optional<QString> g_main;
} // namespace

QString mainDatabase() {
    std::lock_guard lock(g_mainMutex);
    if (!g_main)
        g_main = mainConnectionString(std::nullopt);
    return *g_main;
}

void setMainDatabase(const QString& connectionString) {
    std::lock_guard lock(g_mainMutex);
    g_main = connectionString;
}

} // namespace kelvora
