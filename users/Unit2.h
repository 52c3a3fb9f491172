#pragma once

#include "data/TADOQuery.h"

#include <memory>

#include <QDialog>

namespace Ui {
class TForm2;
}

namespace kelvora {

class DataSource;
class TADOConnection;

/// The user rights editor: `users` in a grid (the name and the eight rights as check boxes; never the
/// password) with a record navigator, on the caller's connection. The query opens as the window is
/// created; when it cannot, the error is shown and the window exists with an empty grid. Rows are
/// written by 更新 or when the grid moves to another row; a row the table refuses stays in editing.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TADOConnection& connection, QWidget* parent = nullptr);
    ~TForm2() override;

    TADOQuery ADOQuery1;

private:
    std::unique_ptr<Ui::TForm2> m_ui;
    DataSource* DataSource1 = nullptr;
};

} // namespace kelvora
