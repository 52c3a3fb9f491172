#pragma once

#include <vector>

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>

namespace kelvora {

class TADOQuery;

/// A read-only grid over a query's result (the data source between a query and a grid). It follows the
/// query: each new result, or closing it, resets the grid.
class QueryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// A column the owning window defines; `decimals` >= 0 formats numbers with that many decimals.
    struct ColumnDefinition {
        QString field;
        QString title;
        int decimals = -1;
    };

    /// Without definitions every column of the result is shown under its own name.
    explicit QueryTableModel(TADOQuery& query, std::vector<ColumnDefinition> columns = {}, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void reload();

    QPointer<TADOQuery> m_query;
    std::vector<ColumnDefinition> m_definitions;
    std::vector<ColumnDefinition> m_columns; // the defined columns present in the result
    std::vector<int> m_sourceColumns;
    int m_rows = 0;
};

} // namespace kelvora
