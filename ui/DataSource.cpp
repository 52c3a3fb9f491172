#include "ui/DataSource.h"

#include "data/DatabaseError.h"
#include "data/TADOQuery.h"
#include "ui/WindowHandler.h"

namespace kelvora {

DataSource::DataSource(TADOQuery& query, std::vector<QueryTableModel::ColumnDefinition> columns, QObject* parent)
    : QObject(parent), m_query(query), m_model(query, std::move(columns)) {
    // A cell the table refuses is reported like any other failure of a view's operation.
    m_model.setErrorHandler([](const QString& message) { runWindowHandler([&] { throw DatabaseError(message); }); });
    connect(&m_model, &QAbstractItemModel::modelReset, this, &DataSource::changed);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, &DataSource::changed);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &DataSource::changed);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &DataSource::changed);
}

bool DataSource::run(const std::function<void()>& operation) {
    const bool done = runWindowHandler(operation);
    emit changed();
    return done;
}

} // namespace kelvora
