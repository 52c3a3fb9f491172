#include "DataTestSupport.h"

#include "data/DatabaseSetup.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace kelvora::test {

namespace {

const QString kServerBinary = QStringLiteral("/usr/lib/postgresql/15/bin/postgres");
const QString kSocketDir = QStringLiteral(KELVORA_PG_DIR "/sock");
constexpr int kPort = 5499;

QString newPostgresDatabase() {
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("t%1_%2").arg(::getpid()).arg(++counter);
    const QString connection = QStringLiteral("admin-") + name;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(kSocketDir);
        db.setPort(kPort);
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open())
            throw std::runtime_error("the test PostgreSQL server is not running: " +
                                     db.lastError().text().toStdString());
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("CREATE DATABASE %1").arg(name)))
            throw std::runtime_error(query.lastError().text().toStdString());
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return QStringLiteral("Provider=PostgreSQL;Host=%1;Port=%2;Database=%3;User ID=postgres;Password=;")
        .arg(kSocketDir)
        .arg(kPort)
        .arg(name);
}

} // namespace

std::optional<TestDatabase> TestDatabase::create(Engine engine, bool init, bool demo) {
    TestDatabase database;
    database.m_engine = engine;
    database.m_dir = std::make_shared<QTemporaryDir>();
    if (engine == Engine::Postgres) {
        if (!QFileInfo::exists(kServerBinary))
            return std::nullopt;
        database.m_target = newPostgresDatabase();
    } else {
        database.m_target = database.m_dir->filePath(QStringLiteral("database.mdb"));
    }
    if (init)
        database_setup::initDatabase(database.m_target, demo);
    return database;
}

QString TestDatabase::connectionString() const {
    return m_engine == Engine::Sqlite ? QStringLiteral("Data Source=%1;").arg(m_target) : m_target;
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
    if (const char* previous = std::getenv("TZ"))
        m_previous = previous;
    ::setenv("TZ", zone, 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (m_previous)
        ::setenv("TZ", m_previous->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

const char* engineName(Engine engine) {
    return engine == Engine::Sqlite ? "Sqlite" : "Postgres";
}

QString jetTestFile() {
    return QDir(qEnvironmentVariable("KELVORA_SOURCE_DIR"))
        .filePath(QStringLiteral("tests/data/testdata/station-jet4.mdb"));
}

} // namespace kelvora::test
