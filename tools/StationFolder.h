#pragma once

#include <QString>

namespace kelvora {

/// A station folder: Option.ini, database.mdb, Backup/, 帮助文件.pdf and unsaved-records.csv side by side.
class StationFolder {
public:
    /// The product threshold ([下限值] Value) of a demo station: well below the lower limit of every demo
    /// model, so that even a badly underfilled pack of the lightest is seen.
    static constexpr double kDemoProductThreshold = 0.2;

    /// Makes dir (and its parents) a station folder: the database as `db init` makes it (with demo, its
    /// demo models), an Option.ini in UTF-8 with the defaults (ComName set to portName when given; with
    /// demo, the product threshold kDemoProductThreshold and no personal accounts, [安全] 账户=0), an empty
    /// Backup/ and a copy of helpFile when it is given. Refuses, with std::runtime_error, a folder that
    /// already holds a database or an Option.ini; throws DatabaseError when the database cannot be made.
    static void initialize(const QString& dir, bool demo, const QString& portName, const QString& helpFile);

    /// Option.ini's text for a new station: the stable capture ([算法] 取样=稳定, 最少读数=3), the alarm
    /// after three readings' time without data ([仪表] 无数据报警=3), the threshold 10.000 (with demo,
    /// kDemoProductThreshold) and the other settings' defaults.
    static QByteArray defaultOptionIni(const QString& portName, bool demo = false);

    /// Where the help PDF is found beside a program: <program dir>/../share/kelvora/帮助文件.pdf.
    static QString installedHelpFile(const QString& programDir);
};

} // namespace kelvora
