#pragma once

#include <QString>

namespace kelvora {

/// A station folder: Option.ini, database.mdb, Backup/, 帮助文件.pdf and unsaved-records.csv side by side.
class StationFolder {
public:
    /// Makes dir (and its parents) a station folder: the database as `db init` makes it (with demo, its
    /// demo models), an Option.ini in UTF-8 with the defaults (ComName set to portName when given), an
    /// empty Backup/ and a copy of helpFile when it is given. Refuses, with std::runtime_error, a folder
    /// that already holds a database or an Option.ini; throws DatabaseError when the database cannot be
    /// made.
    static void initialize(const QString& dir, bool demo, const QString& portName, const QString& helpFile);

    /// Option.ini's default text.
    static QByteArray defaultOptionIni(const QString& portName);

    /// Where the help PDF is found beside a program: <program dir>/../share/kelvora/帮助文件.pdf.
    static QString installedHelpFile(const QString& programDir);
};

} // namespace kelvora
