#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>

namespace kelvora {

class TADOQuery;

/// A grid over a query's result (the data source between a query and a grid). It follows the query:
/// only a new result and closing it reset the grid; a changed, written or dropped row gives dataChanged
/// for that row, an inserted or removed row the rows-inserted or rows-removed signals, so a view keeps
/// its current cell and selection. When the query can modify its rows and the grid is not read-only, a
/// cell changed in the grid is written to the table at once; a failure goes to the error handler and
/// leaves the row in editing (the navigator's Cancel drops it).
class QueryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// A column the owning window defines; `decimals` >= 0 formats numbers with that many decimals, and a
    /// `dateTimeFormat` (QDateTime's format syntax) formats dates and times.
    struct ColumnDefinition {
        QString field;
        QString title;
        int decimals = -1;
        QString dateTimeFormat = {};
    };

    /// Without definitions every column of the result is shown under its own name.
    explicit QueryTableModel(TADOQuery& query, std::vector<ColumnDefinition> columns = {}, QObject* parent = nullptr);

    using ErrorHandler = std::function<void(const QString& message)>;
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    void setErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    /// The query's current row moved (see TADOQuery::currentRowChanged), for a view to follow it.
    Q_SIGNAL void currentRowChanged(int row);

private:
    void reload();
    void followQuery(TADOQuery& query);

    QPointer<TADOQuery> m_query;
    std::vector<ColumnDefinition> m_definitions;
    std::vector<ColumnDefinition> m_columns; // the defined columns present in the result
    std::vector<int> m_sourceColumns;
    int m_rows = 0;
    bool m_readOnly = false;
    ErrorHandler m_onError;
};

} // namespace kelvora
