#include "ui/DataGrid.h"

#include "data/TADOQuery.h"
#include "ui/DataSource.h"

#include <QHeaderView>

using namespace Qt::StringLiterals;

namespace kelvora {

DataGrid::DataGrid(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setDefaultSectionSize(22);
}

void DataGrid::setDataSource(DataSource& source, std::vector<Column> columns) {
    m_source = &source;
    m_columns = std::move(columns);
    source.model().setPostOnEdit(false);
    setModel(&source.model());
    // After the view's own handling of a reset, which forgets the current cell.
    connect(&source.model(), &QAbstractItemModel::modelReset, this, [this] {
        applyColumnWidths();
        followQuery();
    });
    connect(&source, &DataSource::changed, this, &DataGrid::followQuery);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { moveQueryTo(current.row()); });
    applyColumnWidths();
    followQuery();
}

void DataGrid::setGridReadOnly(bool readOnly) {
    if (m_source)
        m_source->model().setReadOnly(readOnly);
    setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers : QAbstractItemView::AllEditTriggers);
}

void DataGrid::applyColumnWidths() {
    if (!m_source)
        return;
    const QAbstractItemModel& model = m_source->model();
    for (int section = 0; section < model.columnCount(); ++section) {
        const QString title = model.headerData(section, Qt::Horizontal).toString();
        for (const Column& column : m_columns)
            if (column.definition.title == title && column.width >= 0)
                setColumnWidth(section, column.width);
    }
}

void DataGrid::followQuery() {
    if (!m_source || m_following)
        return;
    const TADOQuery& query = m_source->query();
    const int rows = m_source->model().rowCount();
    if (!query.Active() || rows == 0)
        return;
    const int row = std::min(query.RecNo(), rows - 1);
    if (currentIndex().row() == row)
        return;
    m_following = true;
    setCurrentIndex(m_source->model().index(row, std::max(currentIndex().column(), 0)));
    m_following = false;
}

void DataGrid::moveQueryTo(int row) {
    if (!m_source || m_following || row < 0 || !m_source->query().Active() || row == m_source->query().RecNo())
        return;
    // Leaving a row in editing writes it; when that fails the grid goes back to it (followQuery).
    m_source->run([this, row] { m_source->query().setRecNo(row); });
}

std::vector<QueryTableModel::ColumnDefinition> DataGrid::definitions(const std::vector<Column>& columns) {
    std::vector<QueryTableModel::ColumnDefinition> definitions;
    for (const Column& column : columns)
        definitions.push_back(column.definition);
    return definitions;
}

QStringList DataGrid::rowTexts(int row) const {
    QStringList texts;
    if (!m_source)
        return texts;
    const QAbstractItemModel& model = m_source->model();
    for (int column = 0; column < model.columnCount(); ++column) {
        const QModelIndex index = model.index(row, column);
        const QVariant check = model.data(index, Qt::CheckStateRole);
        if (check.isValid())
            texts << (check.toInt() == Qt::Checked ? u"1"_s : u"0"_s);
        else
            texts << model.data(index, Qt::DisplayRole).toString();
    }
    return texts;
}

bool DataGrid::hasCell(int row, const QString& title) const {
    if (!m_source || row < 0 || row >= m_source->model().rowCount())
        return false;
    const QAbstractItemModel& model = m_source->model();
    for (int column = 0; column < model.columnCount(); ++column)
        if (model.headerData(column, Qt::Horizontal).toString() == title)
            return true;
    return false;
}

bool DataGrid::setCellText(int row, const QString& title, const QString& text) {
    if (!m_source)
        return false;
    QAbstractItemModel& model = m_source->model();
    for (int column = 0; column < model.columnCount(); ++column) {
        if (model.headerData(column, Qt::Horizontal).toString() != title)
            continue;
        const QModelIndex index = model.index(row, column);
        if (!index.isValid())
            return false;
        setCurrentIndex(index);
        if (model.data(index, Qt::CheckStateRole).isValid())
            return model.setData(index, text == u"1"_s ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        return model.setData(index, text, Qt::EditRole);
    }
    return false;
}

} // namespace kelvora
