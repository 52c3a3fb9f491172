#pragma once

#include "data/TADOQuery.h"

#include <map>
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
/// written by 更新 or when the grid moves to another row; a row the table refuses stays in editing (the
/// table refuses an empty user name and taking the right 用户 from its last holder). Each row written or
/// deleted is recorded in the audit trail, the user's name and rights before and after.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TADOConnection& connection, QWidget* parent = nullptr);
    ~TForm2() override;

    TADOQuery ADOQuery1;

private:
    /// Compares `users` with what the trail last saw and records each user added, changed or deleted.
    void auditChanges();

    std::unique_ptr<Ui::TForm2> m_ui;
    DataSource* DataSource1 = nullptr;
    TADOConnection& m_connection;
    std::map<qlonglong, QString> m_users; ///< by row id: "名称=…；权限=…" as last recorded
};

} // namespace kelvora
