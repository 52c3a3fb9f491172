#include "data/window/AuditWindow.h"

#include "data/AuditTrail.h"
#include "data/RecordExport.h"
#include "data/window/RecordPrint.h"
#include "ui/DataGrid.h"
#include "ui/DataSource.h"
#include "ui/MessageBox.h"
#include "ui/WindowHandler.h"
#include "ui/WindowPlacement.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

const QStringList kColumns{u"时间"_s, u"站点"_s, u"序号"_s, u"操作员"_s, u"事件"_s,
                           u"对象"_s, u"旧值"_s, u"新值"_s, u"备注"_s};

QString stationLiteral(const QDateTime& time) {
    return u'#' + time.toString(u"MM/dd/yyyy HH:mm:ss"_s) + u'#';
}

std::vector<DataGrid::Column> gridColumns() {
    std::vector<DataGrid::Column> columns;
    for (const QString& name : kColumns)
        columns.push_back(
            {{name, name, name == u"序号"_s ? 0 : -1, name == u"时间"_s ? u"yyyy-MM-dd HH:mm:ss"_s : QString()},
             name == u"时间"_s ? 170 : 100});
    return columns;
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* pushButton = new QPushButton(text, parent);
    pushButton->setObjectName(QString::fromLatin1(name));
    return pushButton;
}

} // namespace

TAuditFrm::TAuditFrm(const QString& connectionString, QWidget* parent)
    : QDialog(parent), ADO1(connectionString), ADOQuery1(ADO1, this), m_from(new QDateTimeEdit(this)),
      m_to(new QDateTimeEdit(this)), m_operator(new QComboBox(this)), m_event(new QComboBox(this)),
      m_grid(new DataGrid(this)), m_status(new QLabel(this)) {
    setWindowTitle(u"审计追踪"_s);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    resize(1000, 640);
    centreOnScreen(*this);
    const QDateTime now = QDateTime::currentDateTime();
    for (QDateTimeEdit* edit : {m_from, m_to}) {
        edit->setDisplayFormat(u"yyyy-MM-dd HH:mm:ss"_s);
        edit->setCalendarPopup(true);
    }
    m_from->setDateTime(QDateTime(now.date().addDays(-7), QTime(0, 0)));
    m_to->setDateTime(QDateTime(now.date(), QTime(23, 59, 59)));
    m_operator->setEditable(true);
    m_event->setEditable(true);
    m_event->addItems({QString(),
                       audit_event::kLogin,
                       audit_event::kLoginFailed,
                       audit_event::kLogout,
                       audit_event::kOperatorChange,
                       audit_event::kPasswordChange,
                       audit_event::kUserLocked,
                       audit_event::kModelAdded,
                       audit_event::kModelChanged,
                       audit_event::kModelDeleted,
                       audit_event::kSetting,
                       audit_event::kSettingOutside,
                       audit_event::kBatch,
                       audit_event::kInitialization,
                       audit_event::kUserAdded,
                       audit_event::kUserChanged,
                       audit_event::kUserDeleted,
                       audit_event::kZero,
                       audit_event::kStart,
                       audit_event::kContinue,
                       audit_event::kStop,
                       audit_event::kIndicatorSilent,
                       audit_event::kIndicatorBack,
                       audit_event::kPortFailure,
                       audit_event::kSignature});
    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(u"从"_s, this));
    filters->addWidget(m_from);
    filters->addWidget(new QLabel(u"到"_s, this));
    filters->addWidget(m_to);
    filters->addWidget(new QLabel(u"操作员"_s, this));
    filters->addWidget(m_operator, 1);
    filters->addWidget(new QLabel(u"事件"_s, this));
    filters->addWidget(m_event, 1);
    QPushButton* searchButton = button(u"查询"_s, "BtnSearch", this);
    QPushButton* exportButton = button(u"导出"_s, "BtnExport", this);
    QPushButton* printButton = button(u"打印"_s, "BtnPrint", this);
    for (QPushButton* b : {searchButton, exportButton, printButton})
        filters->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_status);
    const std::vector<DataGrid::Column> columns = gridColumns();
    m_source = new DataSource(ADOQuery1, DataGrid::definitions(columns), this);
    m_grid->setDataSource(*m_source, columns);
    m_grid->setGridReadOnly(true);
    connectHandler(searchButton, &QPushButton::clicked, this, [this] { searchClick(); });
    connectHandler(exportButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, u"导出"_s, u"审计追踪.csv"_s, u"CSV 文件 (*.csv)"_s);
        if (!path.isEmpty())
            MessageBox::show(
                this, {u"提示"_s, u"已导出%1条记录到 %2"_s.arg(exportTo(path)).arg(QDir::toNativeSeparators(path))});
    });
    connectHandler(printButton, &QPushButton::clicked, this, [this] {
        QPrinter printer(QPrinter::HighResolution);
        QPrintPreviewDialog preview(&printer, this);
        connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                [this](QPrinter* target) { runWindowHandler([&] { printTo(*target); }); });
        preview.exec();
    });
    runWindowHandler([this] {
        ADO1.Open();
        QSqlQuery names(ADO1.database());
        names.exec(u"select distinct \"操作员\" from \"audit\" order by 1"_s);
        m_operator->addItem(QString());
        while (names.next())
            if (!names.value(0).toString().isEmpty())
                m_operator->addItem(names.value(0).toString());
        searchClick();
    });
}

TAuditFrm::~TAuditFrm() {
    delete m_source;
}

void TAuditFrm::searchClick() {
    search(m_from->dateTime(), m_to->dateTime(), m_operator->currentText().trimmed(), m_event->currentText().trimmed());
}

int TAuditFrm::search(const QDateTime& from, const QDateTime& to, const QString& operatorName, const QString& event) {
    ADOQuery1.Close();
    ADOQuery1.SQL.Clear();
    ADOQuery1.SQL.Add(u"select  %1  from  audit"_s.arg(kColumns.join(u',')));
    ADOQuery1.SQL.Add(u"where  (时间  between %1 and  %2)"_s.arg(stationLiteral(from), stationLiteral(to)));
    QStringList condition;
    if (!operatorName.isEmpty()) {
        ADOQuery1.SQL.Add(u"and  (操作员 = :op)"_s);
        condition << u"操作员 = "_s + operatorName;
    }
    if (!event.isEmpty()) {
        ADOQuery1.SQL.Add(u"and  (事件 = :ev)"_s);
        condition << u"事件 = "_s + event;
    }
    ADOQuery1.SQL.Add(u"order  by  站点, 序号"_s);
    if (!operatorName.isEmpty())
        ADOQuery1.Parameters.ParamByName(u"op"_s).Value = operatorName;
    if (!event.isEmpty())
        ADOQuery1.Parameters.ParamByName(u"ev"_s).Value = event;
    ADOQuery1.Open();
    m_range = from.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u" 至 "_s + to.toString(u"yyyy-MM-dd HH:mm:ss"_s);
    m_condition = condition.join(u"，"_s);
    const int count = ADOQuery1.RecordCount();
    m_status->setText(u"共%1条记录。"_s.arg(count));
    return count;
}

int TAuditFrm::exportTo(const QString& path) {
    return RecordExport::writeCsv(ADOQuery1, path);
}

int TAuditFrm::printTo(QPagedPaintDevice& device) {
    const AuditTrail* trail = AuditTrail::configured();
    return RecordPrint::paint(device, ADOQuery1,
                              {trail ? trail->station() : QSysInfo::machineHostName(), m_range, m_condition},
                              u"审计追踪"_s);
}

QString TAuditFrm::statusText() const {
    return m_status->text();
}

} // namespace kelvora
