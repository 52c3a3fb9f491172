#include "users/Unit2.h"

#include "ui/DataGrid.h"
#include "ui/DataSource.h"
#include "ui/WindowPlacement.h"
#include "ui_Unit2.h"

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

std::vector<DataGrid::Column> userColumns() {
    std::vector<DataGrid::Column> columns;
    for (const QString& name :
         {u"用户名称"_s, u"用户"_s, u"开始"_s, u"继续"_s, u"结束"_s, u"查询"_s, u"设置"_s, u"初始化"_s, u"清零"_s})
        columns.push_back({{name, name}, 70});
    return columns;
}

} // namespace

TForm2::TForm2(TADOConnection& connection, QWidget* parent)
    : QDialog(parent), ADOQuery1(connection, this), m_ui(std::make_unique<Ui::TForm2>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(670, 400);
    centreOnScreen(*this);
    ADOQuery1.SQL.Add(u"select  *  from   users"_s);
    ADOQuery1.SQL.Add(u"order  by   用户名称"_s);
    ADOQuery1.SQL.Add(QString());
    const std::vector<DataGrid::Column> columns = userColumns();
    DataSource1 = new DataSource(ADOQuery1, DataGrid::definitions(columns), this);
    m_ui->DBGridEh1->setDataSource(*DataSource1, columns);
    m_ui->RzDBNavigator1->setDataSource(*DataSource1);
    DataSource1->run([this] { ADOQuery1.Open(); });
}

TForm2::~TForm2() {
    // The views' source goes first: the query is destroyed before the child widgets are.
    delete DataSource1;
}

} // namespace kelvora
