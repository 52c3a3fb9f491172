#pragma once

#include <vector>

#include <QString>
#include <QStringList>

namespace kelvora {

/// Reads the tables of an Access (Jet 3/4) file through Debian's mdbtools programs, run as separate
/// processes. Dates come out as "YYYY-MM-DD HH:MM:SS".
class MdbReader {
public:
    /// One field as mdb-export wrote it: quoted fields are text (an empty text and a null text look the
    /// same), an empty unquoted field is null.
    struct Field {
        QString text;
        bool quoted = false;
        bool isNull() const { return !quoted && text.isEmpty(); }
    };
    struct Table {
        QStringList columns;
        std::vector<std::vector<Field>> rows;
    };

    /// Throws DatabaseError when the file cannot be read.
    explicit MdbReader(QString file);

    QStringList tableNames() const;
    Table readTable(const QString& name) const;
    /// The number of rows the file states for the table (mdb-count). Throws DatabaseError when the file
    /// cannot tell, as for a damaged table definition.
    int rowCount(const QString& name) const;

    /// Splits mdb-export's CSV (quoted fields may hold doubled quotes and line breaks).
    static Table parseCsv(const QString& csv);

private:
    QString run(const QString& program, const QStringList& arguments) const;

    QString m_file;
};

} // namespace kelvora
