#include "data/QueryTableModel.h"

#include "data/DatabaseError.h"
#include "data/TADOQuery.h"

namespace kelvora {

QueryTableModel::QueryTableModel(TADOQuery& query, std::vector<ColumnDefinition> columns, QObject* parent)
    : QAbstractTableModel(parent), m_query(&query), m_definitions(std::move(columns)) {
    followQuery(query);
    reload();
}

void QueryTableModel::followQuery(TADOQuery& query) {
    connect(&query, &TADOQuery::resultChanged, this, &QueryTableModel::reload);
    connect(&query, &QObject::destroyed, this, [this] {
        m_query = nullptr;
        reload();
    });
    connect(&query, &TADOQuery::rowChanged, this, [this](int row) {
        if (row < m_rows && !m_columns.empty())
            emit dataChanged(index(row, 0), index(row, static_cast<int>(m_columns.size()) - 1));
    });
    connect(&query, &TADOQuery::rowAboutToBeInserted, this, [this](int row) { beginInsertRows({}, row, row); });
    connect(&query, &TADOQuery::rowInserted, this, [this] {
        ++m_rows;
        endInsertRows();
    });
    connect(&query, &TADOQuery::rowAboutToBeRemoved, this, [this](int row) { beginRemoveRows({}, row, row); });
    connect(&query, &TADOQuery::rowRemoved, this, [this] {
        --m_rows;
        endRemoveRows();
    });
    connect(&query, &TADOQuery::currentRowChanged, this, &QueryTableModel::currentRowChanged);
}

void QueryTableModel::reload() {
    beginResetModel();
    m_columns.clear();
    m_sourceColumns.clear();
    m_rows = 0;
    if (m_query && m_query->Active()) {
        const QStringList& names = m_query->fieldNames();
        if (m_definitions.empty()) {
            for (int i = 0; i < names.size(); ++i) {
                m_columns.push_back({names[i], names[i], -1});
                m_sourceColumns.push_back(i);
            }
        } else {
            for (const ColumnDefinition& definition : m_definitions) {
                const int source = static_cast<int>(names.indexOf(definition.field));
                if (source >= 0) {
                    m_columns.push_back(definition);
                    m_sourceColumns.push_back(source);
                }
            }
        }
        m_rows = m_query->RecordCount();
    }
    endResetModel();
}

int QueryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int QueryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant QueryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_query || index.row() >= m_rows)
        return {};
    const TField field = m_query->field(index.row(), m_sourceColumns[index.column()]);
    const ColumnDefinition& column = m_columns[index.column()];
    if (field.kind() == schema::ColumnKind::YesNo) {
        if (role == Qt::CheckStateRole)
            return field.AsBoolean() ? Qt::Checked : Qt::Unchecked;
        return {};
    }
    if (role == Qt::TextAlignmentRole && field.kind() == schema::ColumnKind::Number)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (column.decimals >= 0 && field.kind() == schema::ColumnKind::Number && !field.IsNull())
        return QString::number(field.AsFloat(), 'f', column.decimals);
    if (!column.dateTimeFormat.isEmpty() && field.kind() == schema::ColumnKind::DateTime && !field.IsNull()) {
        if (const auto time = parseStoredTime(field.AsString()))
            return time->toString(column.dateTimeFormat);
    }
    return field.AsString();
}

QVariant QueryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return section < static_cast<int>(m_columns.size()) ? QVariant(m_columns[section].title) : QVariant();
}

Qt::ItemFlags QueryTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid() || m_readOnly || !m_query || !m_query->CanModify())
        return flags;
    if (m_query->field(index.row(), m_sourceColumns[index.column()]).kind() == schema::ColumnKind::YesNo)
        return flags | Qt::ItemIsUserCheckable;
    return flags | Qt::ItemIsEditable;
}

bool QueryTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || !(flags(index) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)))
        return false;
    const bool check = role == Qt::CheckStateRole;
    if (!check && role != Qt::EditRole)
        return false;
    try {
        m_query->setRecNo(index.row());
        const QString& name = m_query->fieldNames()[m_sourceColumns[index.column()]];
        m_query->SetFieldValue(name, check ? QVariant(value.toInt() == Qt::Checked) : value);
        m_query->Post();
    } catch (const DatabaseError& e) {
        if (m_onError)
            m_onError(e.message());
        return false;
    }
    return true;
}

} // namespace kelvora
