#include "data/window/Unit3.h"

#include "data/AuditTrail.h"
#include "data/ChainVerifier.h"
#include "data/JournalBacklog.h"
#include "data/RecordExport.h"
#include "data/RecordQuery.h"
#include "data/window/RecordPrint.h"
#include "ui/DataGrid.h"
#include "ui/DataSource.h"
#include "ui/MessageBox.h"
#include "ui/WindowHandler.h"
#include "ui/WindowPlacement.h"
#include "ui_Unit3.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSysInfo>

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
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setMinimumSize(622, 617);
    resize(622, 617);
    centreOnScreen(*this);
    m_chainWarning = new QLabel(this);
    m_chainWarning->setObjectName(u"ChainWarning"_s);
    m_chainWarning->setGeometry(16, 180, 600, 22);
    m_chainWarning->setStyleSheet(u"color: red; font-weight: bold;"_s);
    m_chainWarning->hide();
    m_panel = new QLabel(this);
    m_panel->setFixedWidth(200);
    m_ui->StatusBar1->addWidget(m_panel);
    m_ui->StatusBar1->setSizeGripEnabled(true);
    ADOQuery1.SQL.Add(u"select   top  20   *  from  weight"_s);
    const std::vector<DataGrid::Column> columns = recordColumns();
    DataSource1 = new DataSource(ADOQuery1, DataGrid::definitions(columns), this);
    m_ui->DBGrid1->setDataSource(*DataSource1, columns);
    m_ui->DBGrid1->setGridReadOnly(true);
    connectHandler(m_ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connectHandler(m_ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connectHandler(m_ui->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    QHeaderView* header = m_ui->DBGrid1->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connectHandler(header, &QHeaderView::sectionClicked, this, [this](int column) { sortBy(column); });
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
    ADOQuery1.Close();
    const QString field = m_ui->ComboBox2->currentText();
    m_query.emplace(m_ui->dp1->date(), m_ui->TP1->time(), m_ui->Dp2->date(), m_ui->tp2->time(), field,
                    m_ui->Combobox3->currentText(), m_ui->Edit1->text());
    const auto end = [](const QDate& date, const QTime& time) {
        return QDateTime(date, time).toString(u"yyyy-MM-dd HH:mm:ss"_s);
    };
    m_range = end(m_ui->dp1->date(), m_ui->TP1->time()) + u" 至 "_s + end(m_ui->Dp2->date(), m_ui->tp2->time());
    m_condition =
        field.isEmpty() ? QString() : field + u' ' + m_ui->Combobox3->currentText() + u' ' + m_ui->Edit1->text();
    const int count = openSorted();
    m_panel->setText(u"共"_s + QString::number(count) + u"条记录。"_s + journalBacklogNotice(journalBacklog(ADO1)));
    checkChain(QDateTime(m_ui->dp1->date(), m_ui->TP1->time()), QDateTime(m_ui->Dp2->date(), m_ui->tp2->time()));
}

void TForm3::checkChain(const QDateTime& from, const QDateTime& to) {
    m_chainWarning->hide();
    m_chainWarning->clear();
    ChainVerifier::Report report;
    ChainVerifier(ADO1).verifyTable(u"weight"_s, ChainVerifier::weightFields(), from, to, report);
    if (report.holds())
        return;
    m_chainWarning->setText(u"警告：本时间范围内有 %1 处记录未通过防篡改校验（记录被修改、删除或插入），"
                            u"请用 kelvora-tool db verify 查看。"_s.arg(report.breaks.size()));
    m_chainWarning->show();
}

QString TForm3::chainWarning() const {
    return m_chainWarning->text();
}

int TForm3::openSorted() {
    ADOQuery1.Close();
    ADOQuery1.SQL.Clear();
    for (const QString& line : m_query ? m_query->lines() : QStringList{u"select   top  20   *  from  weight"_s})
        ADOQuery1.SQL.Add(line);
    if (!m_sortColumn.isEmpty())
        ADOQuery1.SQL.Add(u"order  by  %1%2"_s.arg(m_sortColumn, m_descending ? u" desc"_s : QString()));
    if (m_query && m_query->value().isValid())
        ADOQuery1.Parameters.ParamByName(u"value"_s).Value = m_query->value();
    ADOQuery1.Open();
    return ADOQuery1.RecordCount();
}

void TForm3::sortBy(int column) {
    const QString name = recordColumns().at(column).definition.field;
    m_descending = name == m_sortColumn && !m_descending;
    m_sortColumn = name;
    m_ui->DBGrid1->horizontalHeader()->setSortIndicator(column,
                                                        m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    openSorted();
}

int TForm3::exportTo(const QString& path) {
    return RecordExport::writeCsv(ADOQuery1, path);
}

int TForm3::printTo(QPagedPaintDevice& device) {
    const AuditTrail* trail = AuditTrail::configured();
    return RecordPrint::paint(
        device, ADOQuery1,
        {trail ? trail->station() : QSysInfo::machineHostName(), m_query ? m_range : u"最近 20 条"_s, m_condition});
}

void TForm3::Button2Click() {
    const QString path = QFileDialog::getSaveFileName(this, u"导出"_s, u"称重记录.csv"_s, u"CSV 文件 (*.csv)"_s);
    if (path.isEmpty())
        return;
    const int rows = exportTo(path);
    MessageBox::show(this, {u"提示"_s, u"已导出%1条记录到 %2"_s.arg(rows).arg(QDir::toNativeSeparators(path))});
}

void TForm3::Button3Click() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(u"打印预览"_s);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* target) { runWindowHandler([&] { printTo(*target); }); });
    preview.exec();
}

void TForm3::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The controls keep their places; the grid and the status bar follow the window's size.
    const int statusHeight = m_ui->StatusBar1->height();
    m_ui->StatusBar1->setGeometry(0, height() - statusHeight, width(), statusHeight);
    m_ui->DBGrid1->setGeometry(0, 203, width(), height() - statusHeight - 203);
}

} // namespace kelvora
