#pragma once

#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <QDateTime>
#include <QDialog>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPagedPaintDevice;

namespace kelvora {

class DataGrid;
class DataSource;

/// The window 审计追踪: the rows of `audit` between two times, optionally of one operator and one event,
/// in the order they were written (per station), in a read-only grid with their count. It opens a
/// connection of its own; 查询 runs the filter, 导出 writes every row found as CSV (UTF-8 with BOM),
/// 打印 shows a print preview. Nothing in it changes the trail.
class TAuditFrm : public QDialog {
    Q_OBJECT
public:
    explicit TAuditFrm(const QString& connectionString, QWidget* parent = nullptr);
    ~TAuditFrm() override;

    /// 查询 with these filters (an empty operator or event: any); returns the number of rows.
    int search(const QDateTime& from, const QDateTime& to, const QString& operatorName, const QString& event);
    int exportTo(const QString& path);
    int printTo(QPagedPaintDevice& device);
    QString statusText() const;

    TADOConnection ADO1;
    TADOQuery ADOQuery1;

private:
    void searchClick();

    QDateTimeEdit* m_from;
    QDateTimeEdit* m_to;
    QComboBox* m_operator;
    QComboBox* m_event;
    DataGrid* m_grid;
    DataSource* m_source = nullptr;
    QLabel* m_status;
    QString m_range;
    QString m_condition;
};

} // namespace kelvora
