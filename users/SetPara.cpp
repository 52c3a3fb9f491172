#include "users/SetPara.h"

#include "app/config/StationConfig.h"
#include "comm/SerialPortList.h"
#include "ui/MessageBox.h"
#include "ui/WindowHandler.h"
#include "ui_SetPara.h"

#include <QList>

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
    connectHandler(m_ui->RzBitBtn1, &QPushButton::clicked, this, [this] { RzBitBtn1Click(); });
    connectHandler(m_ui->RzBitBtn2, &QPushButton::clicked, this, [this] { RzBitBtn2Click(); });
    runWindowHandler([this] { FormCreate(); });
}

TSetParaFrm::~TSetParaFrm() = default;

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
    select({m_ui->RadioButton4, m_ui->RadioButton5}, values.indicator);
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
    values.indicator = selected({m_ui->RadioButton4, m_ui->RadioButton5});
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
    StationConfig::saveSettingsWindow(m_iniPath, values);
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

} // namespace kelvora
