#pragma once

#include "data/QueryTableModel.h"

#include <functional>
#include <vector>

#include <QObject>

namespace kelvora {

class TADOQuery;

/// Links a query to the grids and navigators that show and move it (a window's `DataSource1`): it owns
/// the grid model, runs every operation of a view on the query through the windows' error path, and
/// tells the views when the result, a row, the current row or the edit state may have changed.
class DataSource : public QObject {
    Q_OBJECT
public:
    DataSource(TADOQuery& query, std::vector<QueryTableModel::ColumnDefinition> columns, QObject* parent = nullptr);

    TADOQuery& query() const { return m_query; }
    QueryTableModel& model() { return m_model; }

    /// Runs `operation` on the query; what it throws goes to the standard error box. Afterwards the views
    /// follow the query (changed()). False when it threw.
    bool run(const std::function<void()>& operation);

    /// The result, a row, the current row or the edit state may have changed.
    Q_SIGNAL void changed();

private:
    TADOQuery& m_query;
    QueryTableModel m_model;
};

} // namespace kelvora
