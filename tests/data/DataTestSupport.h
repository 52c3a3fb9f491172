#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QString>
#include <QTemporaryDir>

namespace kelvora::test {

enum class Engine { Sqlite, Postgres };

/// A new, empty database for one test: an SQLite file in a temporary folder, or a new database on the
/// private PostgreSQL server of the test run. Tables are created by `kelvora-tool db init` when `init`.
class TestDatabase {
public:
    /// nullopt only when PostgreSQL is asked for and its server binaries are not installed; a server that
    /// should run but cannot be reached throws std::runtime_error.
    static std::optional<TestDatabase> create(Engine engine, bool init = true, bool demo = false);

    /// A file path (SQLite) or a connection string (PostgreSQL).
    const QString& target() const { return m_target; }
    /// The connection string for TADOConnection.
    QString connectionString() const;
    Engine engine() const { return m_engine; }
    QString folder() const { return m_dir->path(); }

private:
    Engine m_engine = Engine::Sqlite;
    QString m_target;
    std::shared_ptr<QTemporaryDir> m_dir;
};

const char* engineName(Engine engine);

/// Sets the process's local time zone (TZ, then tzset) for the life of the object; the previous one comes
/// back afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> m_previous;
};
/// The Access file the repository ships for the importer's tests.
QString jetTestFile();

} // namespace kelvora::test
