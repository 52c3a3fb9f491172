#include "data/window/Unit3.h"

#include "data/RecordQuery.h"
#include "ui/DataGrid.h"
#include "ui/DataSource.h"
#include "ui/WindowHandler.h"
#include "ui/WindowPlacement.h"
#include "ui_Unit3.h"

#include <QLabel>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

// The system's short date and long time, without a time zone (the records hold wall-clock times).
QString shortDateLongTime() {
    const QLocale locale = QLocale::system();
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(u" t"_s).remove(u't');
    return locale.dateFormat(QLocale::ShortFormat) + u' ' + time.trimmed();
}

std::vector<DataGrid::Column> recordColumns() {
    return {
        {{u"型号"_s, u"型号"_s}, 102},
        {{u"重量"_s, u"重量"_s, 2}, 83},
        {{u"检定结果"_s, u"检定结果"_s}, -1},
        {{u"操作员"_s, u"操作员"_s}, -1},
        {{u"时间"_s, u"时间"_s, -1, shortDateLongTime()}, 188},
    };
}

} // namespace

TForm3::TForm3(const QString& connectionString, QWidget* parent)
    : QDialog(parent), ADOQuery1(ADO1, this), m_ui(std::make_unique<Ui::TForm3>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(622, 617);
    centreOnScreen(*this);
    m_panel = new QLabel(this);
    m_panel->setFixedWidth(200);
    m_ui->StatusBar1->addWidget(m_panel);
    m_ui->StatusBar1->setSizeGripEnabled(false);
    ADOQuery1.SQL.Add(u"select   top  20   *  from  weight"_s);
    const std::vector<DataGrid::Column> columns = recordColumns();
    DataSource1 = new DataSource(ADOQuery1, DataGrid::definitions(columns), this);
    m_ui->DBGrid1->setDataSource(*DataSource1, columns);
    m_ui->DBGrid1->setGridReadOnly(true);
    connectHandler(m_ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    runWindowHandler([this, connectionString] { FormCreate(connectionString); });
}

TForm3::~TForm3() {
    // The views' source goes first: the query is destroyed before the child widgets are.
    delete DataSource1;
}

QString TForm3::statusText() const {
    return m_panel->text();
}

void TForm3::FormCreate(const QString& connectionString) {
    const QDateTime now = QDateTime::currentDateTime();
    m_ui->dp1->setDate(now.date());
    m_ui->Dp2->setDate(now.date());
    m_ui->TP1->setTime(now.time());
    m_ui->tp2->setTime(now.time());
    m_ui->ComboBox2->addItem(QString());
    m_ui->ComboBox2->setEditText(QString());
    ADO1.Close();
    ADO1.setConnectionString(connectionString);
    ADO1.Open();
    ADOQuery1.Open();
}

void TForm3::Button1Click() {
    // The field and operator must be offered ones and the value is bound; a refused or failed query
    // leaves the query closed, so the grid is empty and the panel keeps its text.
    const int count =
        RecordQuery::run(ADOQuery1, m_ui->dp1->date(), m_ui->TP1->time(), m_ui->Dp2->date(), m_ui->tp2->time(),
                         m_ui->ComboBox2->currentText(), m_ui->Combobox3->currentText(), m_ui->Edit1->text());
    m_panel->setText(u"共"_s + QString::number(count) + u"条记录。"_s);
}

} // namespace kelvora
