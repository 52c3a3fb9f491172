#pragma once

#include "data/Schema.h"
#include "data/TField.h"
#include "data/TParameters.h"
#include "data/TStrings.h"

#include <optional>
#include <vector>

#include <QObject>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace kelvora {

class TADOConnection;

/// A reusable statement on a connection (`ADOQuery1`). The statement is written in the station's dialect
/// (see translateStatement) as the lines of `SQL`. A result is fetched whole, so `RecordCount` is exact,
/// and stays until `Close` or the next statement.
///
/// The rows of a select from one table that has the row identifier "id" can be edited, as a grid with a
/// navigator does: `Edit` or `Insert`, `SetFieldValue`, then `Post` to write the row or `Cancel` to drop
/// the change. A failed `Post` keeps the row in editing.
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
    enum class State { Inactive, Browse, Edit, Insert };
    State state() const;
    /// Whether the rows of the current result can be written back.
    bool CanModify() const { return m_active && m_table.has_value() && m_idColumn >= 0; }
    /// Starts editing the current row; nothing while an edit is in progress. Throws DatabaseError when the
    /// result cannot be modified or is empty.
    void Edit();
    /// Inserts an empty row before the current one (at the end after the last row) and starts editing it.
    void Insert();
    /// Sets a column of the row in editing; starts editing the current row first when browsing.
    void SetFieldValue(const QString& name, const QVariant& value);
    /// Writes the row in editing to its table (an inserted row is then read back, with the values the
    /// table gave it). Nothing when no edit is in progress. Throws DatabaseError; the edit stays.
    void Post();
    /// Deletes the current row from its table (dropping an edit in progress first).
    void Delete();
    /// Abandons an edit of the current row (an inserted row disappears); nothing when no edit is in
    /// progress, as after a statement sent with ExecSQL.
    void Cancel();

    /// The exact number of rows of the result. Throws DatabaseError when closed.
    int RecordCount() const;
    void First();
    void Next();
    /// True once the walk passed the last row, and at once for an empty result.
    bool Eof() const;
    /// A column of the current row. Throws DatabaseError "Field '%s' not found".
    TField FieldByName(const QString& name) const;

    /// The index of the current row (0-based; RecordCount() once past the last row).
    int RecNo() const { return m_current; }
    /// Moves to a row; an edit in progress on another row is posted first (Post's errors apply).
    void setRecNo(int row);

    /// The result as a grid sees it, the row in editing with its changed values.
    const QStringList& fieldNames() const { return m_fieldNames; }
    TField field(int row, int column) const;
    /// Signals for a grid and a navigator. A new result or none (Open, Close): everything may have
    /// changed, the current row is RecNo(). Only these two reset a grid; every other change is one row.
    Q_SIGNAL void resultChanged();
    /// The values of one row as field() shows them changed: a value set in editing, the row written
    /// (with what the table gave it) or its edit dropped.
    Q_SIGNAL void rowChanged(int row);
    /// A row is about to appear at `row` (Insert), and has appeared; the rows from `row` on move down.
    Q_SIGNAL void rowAboutToBeInserted(int row);
    Q_SIGNAL void rowInserted(int row);
    /// The row at `row` is about to go (Delete, or Cancel of an insert), and has gone.
    Q_SIGNAL void rowAboutToBeRemoved(int row);
    Q_SIGNAL void rowRemoved(int row);
    /// The current row became another row: moved to (RecNo, First, Next), inserted, or the next one
    /// after the current row went. `row` is RecNo() (RecordCount() when past the last row).
    Q_SIGNAL void currentRowChanged(int row);
    /// state() changed (browsing, editing, inserting, or the query opened or closed).
    Q_SIGNAL void stateChanged();

private:
    void requireActive() const;
    int run(bool wantRows);
    int send(bool wantRows);
    void requireModifiable() const;
    /// A column of the query's current row, read as the result's column `column` is kept.
    QVariant valueOf(const QSqlQuery& query, int column) const;
    int columnIndex(const QString& name) const;
    QSqlQuery prepared(const QString& sql);
    /// The columns changed in the row in editing, with their values as they are to be stored.
    void changedValues(QStringList& columns, QVariantList& values) const;
    void postUpdate();
    void postInsert();
    void setEditState(State state);
    void insertRow(int row, std::vector<QVariant> values);
    void removeRow(int row);

    TADOConnection& m_connection;
    bool m_active = false;
    QStringList m_fieldNames;
    std::vector<schema::ColumnKind> m_kinds;
    std::vector<std::vector<QVariant>> m_rows;
    int m_current = 0;
    std::optional<QString> m_table;
    int m_idColumn = -1;
    State m_editState = State::Browse;
    std::vector<QVariant> m_buffer; // the row in editing
    std::vector<bool> m_changed;    // per column: set since the edit began
};

} // namespace kelvora
