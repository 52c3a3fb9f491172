#pragma once

#include "data/RecordQuery.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <memory>
#include <optional>

#include <QDialog>

namespace Ui {
class TForm3;
}

class QLabel;
class QPagedPaintDevice;

namespace kelvora {

class DataSource;

/// The record query window: `weight` by a time range and at most one condition, in a read-only grid
/// with the count in the status panel. It opens a connection of its own to `connectionString` (the main
/// connection's database) as it is created and shows the first 20 rows. A refused condition (a field or
/// an operator not offered, a 重量 value that is no number) or a failed query leaves the grid empty and
/// the status panel as it was.
///
/// The window can be resized (the grid takes the room). A click on a column's header sorts the rows by
/// that column (the query is sent again with the order; a second click reverses it). 导出 writes every row
/// of the query to a CSV file the operator chooses; 打印 shows the rows' printout in a print preview.
/// When the rows of the queried range that carry a link do not verify (ChainVerifier: a row edited, deleted
/// or inserted), a red warning above the grid says so; it is hidden otherwise.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(const QString& connectionString, QWidget* parent = nullptr);
    ~TForm3() override;

    /// The status panel's text.
    QString statusText() const;
    /// The red warning's text; empty while the queried range verifies.
    QString chainWarning() const;

    TADOConnection ADO1;
    TADOQuery ADOQuery1;

    /// 导出 once the file is chosen: every row of the query; returns the number written (see
    /// RecordExport::writeCsv). Throws DatabaseError.
    int exportTo(const QString& path);
    /// What 打印 prints (see RecordPrint::paint); returns the number of pages.
    int printTo(QPagedPaintDevice& device);
    /// Sorts by the grid's column `column` (as a header click does).
    void sortBy(int column);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate(const QString& connectionString);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    /// Shows the red warning when the weighing rows between `from` and `to` do not verify.
    void checkChain(const QDateTime& from, const QDateTime& to);
    /// Sends the last query (the first 20 rows before any 查询) in the chosen order; returns the count.
    int openSorted();

    std::unique_ptr<Ui::TForm3> m_ui;
    DataSource* DataSource1 = nullptr;
    QLabel* m_panel = nullptr;
    QLabel* m_chainWarning = nullptr;
    std::optional<RecordQuery> m_query; ///< the last 查询's statement
    QString m_range;                    ///< its time range and condition, for the printout
    QString m_condition;
    QString m_sortColumn; ///< empty: the engine's order
    bool m_descending = false;
};

} // namespace kelvora
