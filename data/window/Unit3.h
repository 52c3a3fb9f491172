#pragma once

#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <memory>

#include <QDialog>

namespace Ui {
class TForm3;
}

class QLabel;

namespace kelvora {

class DataSource;

/// The record query window: `weight` by a time range and at most one condition, in a read-only grid
/// with the count in the status panel. It opens a connection of its own to `connectionString` (the main
/// connection's database) as it is created and shows the first 20 rows. A refused condition (a field or
/// an operator not offered, a 重量 value that is no number) or a failed query leaves the grid empty and
/// the status panel as it was.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(const QString& connectionString, QWidget* parent = nullptr);
    ~TForm3() override;

    /// The status panel's text.
    QString statusText() const;

    TADOConnection ADO1;
    TADOQuery ADOQuery1;

private:
    void FormCreate(const QString& connectionString);
    void Button1Click();

    std::unique_ptr<Ui::TForm3> m_ui;
    DataSource* DataSource1 = nullptr;
    QLabel* m_panel = nullptr;
};

} // namespace kelvora
