#pragma once

#include "data/QueryTableModel.h"

#include <vector>

#include <QPointer>
#include <QStringList>
#include <QTableView>

namespace kelvora {

class DataSource;

/// A data-aware grid (`DBGrid1`, `DBGridEh1`) on a window's DataSource: yes/no columns as check boxes,
/// the columns, titles, widths and formats its window defines, and its current row kept on the query's
/// current row. Moving to another row saves an edited row first; when that fails (the error is shown)
/// the grid stays on the row in editing. Read-only grids edit nothing.
class DataGrid : public QTableView {
    Q_OBJECT
public:
    struct Column {
        QueryTableModel::ColumnDefinition definition;
        int width = -1; ///< pixels; -1 the grid's default
    };

    explicit DataGrid(QWidget* parent = nullptr);

    /// The model's column definitions of `columns`, for the DataSource the grid will show.
    static std::vector<QueryTableModel::ColumnDefinition> definitions(const std::vector<Column>& columns);

    /// Shows `source`'s rows with `columns`; cells are edited into the current row's edit, which is
    /// written by the navigator's 更新 or when the grid moves to another row.
    void setDataSource(DataSource& source, std::vector<Column> columns);
    void setGridReadOnly(bool readOnly);

    /// The texts of one row as the grid shows them (a check box as "1" or "0").
    QStringList rowTexts(int row) const;
    /// Whether the grid has a row `row` and a column titled `title`.
    bool hasCell(int row, const QString& title) const;
    /// Sets the cell of `row` (from 0) in the column titled `title`; a check box takes "1" or "0". The
    /// error box shows what fails. False when there is no such cell or the value was refused.
    bool setCellText(int row, const QString& title, const QString& text);

private:
    void applyColumnWidths();
    void followQuery();
    void moveQueryTo(int row);

    QPointer<DataSource> m_source; // the source may go before the view
    std::vector<Column> m_columns;
    bool m_following = false;
};

} // namespace kelvora
