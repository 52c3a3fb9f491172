#pragma once

#include "data/Schema.h"
#include "data/TField.h"
#include "data/TParameters.h"
#include "data/TStrings.h"

#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace kelvora {

class TADOConnection;

/// A reusable statement on a connection (`ADOQuery1`). The statement is written in the station's dialect
/// (see translateStatement) as the lines of `SQL`. A result is fetched whole, so `RecordCount` is exact,
/// and stays until `Close` or the next statement.
class TADOQuery : public QObject {
    Q_OBJECT
public:
    explicit TADOQuery(TADOConnection& connection, QObject* parent = nullptr);

    TStrings SQL;
    TParameters Parameters{SQL};

    /// Sends a statement that returns rows and stands on the first row; opens a closed connection first.
    /// Throws DatabaseError (the engine's message) and leaves the query closed.
    void Open();
    /// Sends a statement that returns no rows; opens a closed connection first. Throws DatabaseError.
    void ExecSQL();
    /// Drops the current result; nothing when there is none.
    void Close();
    bool Active() const { return m_active; }
    /// Abandons an edit of the current row; this query edits no rows, so there is never one to abandon.
    void Cancel() {}

    /// The exact number of rows of the result. Throws DatabaseError when closed.
    int RecordCount() const;
    void First();
    void Next();
    /// True once the walk passed the last row, and at once for an empty result.
    bool Eof() const;
    /// A column of the current row. Throws DatabaseError "Field '%s' not found".
    TField FieldByName(const QString& name) const;

    /// The result as a grid sees it.
    const QStringList& fieldNames() const { return m_fieldNames; }
    TField field(int row, int column) const;
    /// Rows changed (opened, closed, re-run).
    Q_SIGNAL void resultChanged();

private:
    void requireActive() const;
    int run(bool wantRows);
    int send(bool wantRows);

    TADOConnection& m_connection;
    bool m_active = false;
    QStringList m_fieldNames;
    std::vector<schema::ColumnKind> m_kinds;
    std::vector<std::vector<QVariant>> m_rows;
    int m_current = 0;
};

} // namespace kelvora
