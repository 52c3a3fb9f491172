#include "users/SetPara.h"

#include "app/config/StationConfig.h"
#include "comm/SerialPortList.h"
#include "comm/TComm.h"
#include "data/AuditTrail.h"
#include "station/IndicatorDetector.h"
#include "station/SerialLineListener.h"
#include "ui/MessageBox.h"
#include "ui/WindowHandler.h"
#include "ui_SetPara.h"
#include "users/SettingsAudit.h"
#include "weighing/IndicatorFamilies.h"
#include "weighing/UserFormat.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QLabel>
#include <QList>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

// Selects the button `choice` (from 1) of a group, or none for 0 or a number outside the group.
void select(const QList<QRadioButton*>& group, int choice) {
    for (int i = 0; i < group.size(); ++i) {
        QRadioButton* button = group[i];
        // An exclusive radio button cannot be cleared by itself; clearing all of a group must be possible.
        button->setAutoExclusive(false);
        button->setChecked(i + 1 == choice);
        button->setAutoExclusive(true);
    }
}

int selected(const QList<QRadioButton*>& group) {
    for (int i = 0; i < group.size(); ++i)
        if (group[i]->isChecked())
            return i + 1;
    return 0;
}

std::string text(const QString& shown) {
    return shown.toStdString();
}

} // namespace

TSetParaFrm::TSetParaFrm(std::string iniPath, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TSetParaFrm>()), m_iniPath(std::move(iniPath)) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_ui->RzComboBox1->addItems(portNames());
    // The counter of legally relevant changes, which an instrument without a physical seal shows.
    auto* counter = new QLabel(this);
    counter->setObjectName(u"LegalCounter"_s);
    counter->setGeometry(16, 652, 290, 24);
    runWindowHandler([counter] {
        if (AuditTrail* trail = AuditTrail::configured())
            counter->setText(u"计量参数修改次数：%1"_s.arg(SettingsAudit::legalCounter(*trail)));
    });
    connectHandler(m_ui->RzBitBtn1, &QPushButton::clicked, this, [this] { RzBitBtn1Click(); });
    connectHandler(m_ui->RzBitBtn2, &QPushButton::clicked, this, [this] { RzBitBtn2Click(); });
    connectHandler(m_ui->BtnDetect, &QPushButton::clicked, this, [this] { BtnDetectClick(); });
    const QList<QRadioButton*> group = indicatorGroup();
    const auto families = IndicatorFamilies::all();
    for (qsizetype i = 2; i < group.size(); ++i) {
        group[i]->setText(QString::fromUtf8(families[static_cast<std::size_t>(i)].name));
    }
    runWindowHandler([this] { FormCreate(); });
}

TSetParaFrm::~TSetParaFrm() {
    if (m_detection.joinable()) {
        m_listener->cancel();
        m_detection.join();
    }
}

QList<QRadioButton*> TSetParaFrm::indicatorGroup() const {
    // In the order of IndicatorFamilies::all().
    return {m_ui->RadioButton4,  m_ui->RadioButton5,  m_ui->RadioButton8, m_ui->RadioButton9,
            m_ui->RadioButton10, m_ui->RadioButton11, m_ui->RadioButton12};
}

QStringList TSetParaFrm::portNames() {
    QStringList names{u"COM1"_s, u"COM2"_s, u"COM3"_s, u"COM4"_s, u"COm5"_s, u"COM6"_s};
    for (const std::string& device : serialDevices())
        names << QString::fromStdString(device);
    return names;
}

void TSetParaFrm::FormCreate() {
    m_loaded = StationConfig::loadSettingsWindow(m_iniPath);
    showValues(m_loaded);
}

void TSetParaFrm::showValues(const SettingsWindowValues& values) {
    // A text that is not in a list still shows in the field.
    m_ui->RzComboBox1->setEditText(QString::fromStdString(values.comName));
    m_ui->RzComboBox2->setEditText(QString::fromStdString(values.baudRate));
    m_ui->RzComboBox3->setEditText(QString::fromStdString(values.parity));
    select({m_ui->RadioButton1, m_ui->RadioButton2, m_ui->RadioButton3}, values.algorithm);
    select(indicatorGroup(), values.indicator);
    select({m_ui->RadioButton6, m_ui->RadioButton7}, values.sampling);
    m_ui->Edit1->setText(QString::fromStdString(values.threshold));
}

SettingsWindowValues TSetParaFrm::shown() const {
    SettingsWindowValues values;
    values.comName = text(m_ui->RzComboBox1->currentText());
    values.baudRate = text(m_ui->RzComboBox2->currentText());
    values.parity = text(m_ui->RzComboBox3->currentText());
    values.threshold = text(m_ui->Edit1->text());
    values.algorithm = selected({m_ui->RadioButton1, m_ui->RadioButton2, m_ui->RadioButton3});
    values.indicator = selected(indicatorGroup());
    values.sampling = selected({m_ui->RadioButton6, m_ui->RadioButton7});
    return values;
}

QStringList TSetParaFrm::changedCaptions(const SettingsWindowValues& before, const SettingsWindowValues& after) const {
    const std::pair<bool, QString> settings[] = {{before.algorithm != after.algorithm, m_ui->RzGroupBox1->title()},
                                                 {before.indicator != after.indicator, m_ui->RzGroupBox2->title()},
                                                 {before.comName != after.comName, m_ui->Label1->text()},
                                                 {before.baudRate != after.baudRate, m_ui->Label2->text()},
                                                 {before.parity != after.parity, m_ui->Label3->text()},
                                                 {before.sampling != after.sampling, m_ui->RzGroupBox4->title()},
                                                 {before.threshold != after.threshold, m_ui->Label4->text()}};
    QStringList captions;
    for (const auto& [changed, caption] : settings)
        if (changed)
            captions << caption;
    return captions;
}

void TSetParaFrm::RzBitBtn1Click() {
    const SettingsWindowValues values = shown();
    const SettingsAudit::Values before = SettingsAudit::read(m_iniPath);
    StationConfig::saveSettingsWindow(m_iniPath, values);
    if (AuditTrail* trail = AuditTrail::configured()) {
        SettingsAudit::recordChanges(before, SettingsAudit::read(m_iniPath), audit_event::kSetting, *trail);
        SettingsAudit::remember(m_iniPath);
    }
    // The station reads Option.ini when it starts; only the port is taken up before, by the next Start or
    // Continue while the port is closed.
    QStringList restart = changedCaptions(m_loaded, values);
    const bool portChanged = restart.removeAll(m_ui->Label1->text()) > 0;
    QStringList lines;
    if (!restart.isEmpty())
        lines << u"以下设置重新启动程序后生效："_s + restart.join(u"、"_s);
    if (portChanged)
        lines << u"新的串口在下次点“开始”或“继续”时启用。"_s;
    if (!lines.isEmpty())
        MessageBox::show(this, {u"提示"_s, u"设置已保存。\n"_s + lines.join(u'\n')});
    accept();
}

void TSetParaFrm::RzBitBtn2Click() {
    reject();
}

void TSetParaFrm::BtnDetectClick() {
    if (m_detection.joinable()) {
        m_detection.join(); // the last detection is over: its result has been shown
    }
    const std::string port = text(m_ui->RzComboBox1->currentText().trimmed());
    // The user's own format takes part when it can be read; a bad one is reported at the station's start.
    std::shared_ptr<const FrameFormat> user;
    std::ifstream file(StationConfig::userFormatPath(m_iniPath), std::ios::binary);
    if (file) {
        std::ostringstream bytes;
        bytes << file.rdbuf();
        try {
            user = std::make_shared<const UserFormat>(UserFormat::parse(bytes.str(), "仪表格式.ini"));
        } catch (const UserFormat::Error&) {
        }
    }
    const auto choices = IndicatorDetector::lineChoices(m_ui->RzComboBox2->currentText().toUInt());
    m_listener = std::make_shared<SerialLineListener>(TComm::DevicePath(port));
    m_ui->BtnDetect->setEnabled(false);
    m_ui->RzBitBtn1->setEnabled(false);
    m_ui->LabelDetect->setText(u"正在识别仪表……"_s);
    QPointer<TSetParaFrm> self(this);
    m_detection = std::thread([self, listener = m_listener, user, choices] {
        std::optional<DetectedIndicator> found;
        std::string error;
        try {
            found = IndicatorDetector(IndicatorDetector::knownFormats(user))
                        .detect(*listener, choices, std::chrono::seconds(2), [self](const LineChoice& choice) {
                            const QString step = u"正在监听 "_s + QString::fromStdString(choice.text()) + u" ……"_s;
                            QMetaObject::invokeMethod(self, [self, step] { self->m_ui->LabelDetect->setText(step); });
                        });
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        QMetaObject::invokeMethod(
            self, [self, found, error] { runWindowHandler([&] { self->detectionDone(found, error); }); });
    });
}

void TSetParaFrm::detectionDone(const std::optional<DetectedIndicator>& found, const std::string& error) {
    m_ui->BtnDetect->setEnabled(true);
    m_ui->RzBitBtn1->setEnabled(true);
    if (!error.empty()) {
        m_ui->LabelDetect->setText(u"未能识别仪表"_s);
        throw std::runtime_error(error);
    }
    if (!found) {
        m_ui->LabelDetect->setText(
            u"未识别到仪表：各种常用设置下都没有收到可校验的数据帧，请检查接线和仪表的输出方式"_s);
        return;
    }
    const auto families = IndicatorFamilies::all();
    for (std::size_t i = 0; i < families.size(); ++i) {
        if (families[i].id == found->family) {
            select(indicatorGroup(), static_cast<int>(i) + 1);
            m_ui->LabelDetect->setText(u"识别到："_s + QString::fromUtf8(families[i].name) + u"，"_s +
                                       QString::fromStdString(found->line.text()));
        }
    }
    m_ui->RzComboBox2->setEditText(QString::number(found->line.baud));
    m_ui->RzComboBox3->setEditText(QString::fromStdString(found->line.parityText()));
}

} // namespace kelvora
