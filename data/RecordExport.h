#pragma once

#include <QString>
#include <QStringList>

namespace kelvora {

class TADOQuery;

/// A query's whole result as a file for a spreadsheet.
class RecordExport {
public:
    /// The result's columns as exported: every column but the row identifier "id", in the result's order.
    static QStringList columns(const TADOQuery& query);

    /// Writes every row of `query`'s result (not only the rows a grid shows) to `path` as CSV: UTF-8 with a
    /// byte-order mark (so a spreadsheet reads the Chinese text), CRLF line ends, a header line of the
    /// column names; a field with a comma, quote or line break is quoted, quotes doubled. Values as the
    /// grid's text: numbers in their shortest exact form, times "YYYY-MM-DD HH:MM:SS", yes/no "True"/"False",
    /// null empty. The file appears whole or not at all (written aside, then renamed over `path`).
    /// Returns the number of rows. Throws DatabaseError when the query is closed or the file cannot be
    /// written ("无法写入文件 …").
    static int writeCsv(const TADOQuery& query, const QString& path);
};

} // namespace kelvora
