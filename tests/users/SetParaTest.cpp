#include "users/SetPara.h"

#include "app/config/ProfileFile.h"
#include "app/config/TextCodec.h"
#include "simulator/IndicatorSimulation.h"
#include "simulator/SimulatorPort.h"
#include "simulator/SimulatorSession.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TempDirTest.h"

#include <sstream>
#include <thread>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

class SetParaTest : public test::TempDirTest {
protected:
    void open() {
        m_window = std::make_unique<TSetParaFrm>(m_ini);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    template <typename W> W* find(const char* name) const {
        W* widget = m_window->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString text(const char* name) const { return find<QComboBox>(name)->currentText(); }
    bool checked(const char* name) const { return find<QRadioButton>(name)->isChecked(); }
    void click(const char* name) const { find<QPushButton>(name)->click(); }
    std::string key(const char* section, const char* key) const {
        return ProfileFile(m_ini).readText(section, key).value_or("(missing)");
    }

    std::unique_ptr<TSetParaFrm> m_window;
    test::MessageBoxRecorder m_boxes;
};

TEST_F(SetParaTest, WithoutAFileTheDefaultsShow) {
    open();
    EXPECT_EQ(m_window->windowTitle(), u"参数设置"_s);
    EXPECT_EQ(text("RzComboBox1"), u"Com1"_s);
    EXPECT_EQ(text("RzComboBox2"), u"9600"_s);
    EXPECT_EQ(text("RzComboBox3"), u"None"_s);
    EXPECT_TRUE(checked("RadioButton1"));
    EXPECT_TRUE(checked("RadioButton4"));
    EXPECT_TRUE(checked("RadioButton6"));
    EXPECT_FALSE(checked("RadioButton7"));
    EXPECT_EQ(find<QLineEdit>("Edit1")->text(), u"10.000"_s);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(SetParaTest, ThePortListStartsWithTheSixNames) {
    const QStringList names = TSetParaFrm::portNames();
    ASSERT_GE(names.size(), 6);
    EXPECT_EQ(names.mid(0, 6), QStringList({u"COM1"_s, u"COM2"_s, u"COM3"_s, u"COM4"_s, u"COm5"_s, u"COM6"_s}));
    for (const QString& device : names.mid(6))
        EXPECT_TRUE(device.startsWith(u"/dev/"_s)) << device.toStdString();
    open();
    EXPECT_EQ(find<QComboBox>("RzComboBox1")->count(), names.size());
}

TEST_F(SetParaTest, NoAlgorithmSelectedIsSavedAsThreeZeros) {
    writeBytes(*TextCodec::utf8ToGbk("[算法]\r\n1=0\r\n2=0\r\n3=0\r\n[仪表]\r\n1=1\r\n2=1\r\n"));
    open();
    EXPECT_FALSE(checked("RadioButton1") || checked("RadioButton2") || checked("RadioButton3"));
    EXPECT_TRUE(checked("RadioButton5"));
    EXPECT_FALSE(checked("RadioButton4"));
    click("RzBitBtn1");
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(key("算法", "1") + key("算法", "2") + key("算法", "3"), "000");
    EXPECT_EQ(key("仪表", "1") + key("仪表", "2"), "01");
}

TEST_F(SetParaTest, WhatIsShownIsSavedUnchecked) {
    writeBytes(*TextCodec::utf8ToGbk("[算法]\r\n取样=稳定\r\n"));
    open();
    EXPECT_TRUE(checked("RadioButton7"));
    QComboBox* port = find<QComboBox>("RzComboBox1");
    port->setCurrentIndex(port->findText(u"COm5"_s));
    find<QComboBox>("RzComboBox2")->setEditText(u"abc"_s);
    find<QComboBox>("RzComboBox3")->setEditText(u"Mark"_s);
    find<QLineEdit>("Edit1")->setText(u"x1"_s);
    find<QRadioButton>("RadioButton3")->setChecked(true);
    find<QRadioButton>("RadioButton6")->setChecked(true);
    click("RzBitBtn1");
    ASSERT_EQ(m_boxes.boxes.size(), 1u); // the notice of what takes effect at the next start
    EXPECT_EQ(m_boxes.boxes[0].title, u"提示"_s);
    EXPECT_EQ(m_boxes.boxes[0].text, u"设置已保存。\n以下设置重新启动程序后生效：称重计量算法选择、波特率、校验、"
                                     "取样方式、产品下限值\n新的串口在下次点“开始”或“继续”时启用。"_s);
    EXPECT_EQ(key("串行口", "ComName"), "COm5");
    EXPECT_EQ(key("串行口", "Baudrate"), "abc");
    EXPECT_EQ(key("串行口", "Parity"), "Mark");
    EXPECT_EQ(key("下限值", "Value"), "x1");
    EXPECT_EQ(key("算法", "1") + key("算法", "2") + key("算法", "3"), "001");
    EXPECT_EQ(key("算法", "取样"), "峰值");
}

TEST_F(SetParaTest, OkNamesTheChangedSettingsThatTakeEffectAtTheNextStart) {
    writeBytes("[下限值]\nValue=10.000\n[仪表]\n1=1\n2=0\n无数据报警=3\n[算法]\n1=1\n取样=稳定\n最少读数=3\n");
    open();
    EXPECT_TRUE(checked("RadioButton7")); // the file's stable capture shows
    find<QLineEdit>("Edit1")->setText(u"0.200"_s);
    find<QRadioButton>("RadioButton5")->setChecked(true);
    click("RzBitBtn1");
    EXPECT_FALSE(m_window->isVisible());
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    const MessageBox::Request& notice = m_boxes.boxes[0];
    EXPECT_EQ(notice.title, u"提示"_s);
    EXPECT_EQ(notice.text, u"设置已保存。\n以下设置重新启动程序后生效：称重仪表选择、产品下限值"_s);
    EXPECT_FALSE(notice.errorBox);
    EXPECT_EQ(key("下限值", "Value"), "0.200");
    EXPECT_EQ(key("仪表", "1") + key("仪表", "2"), "01");
    // The keys the window does not show are kept.
    EXPECT_EQ(key("算法", "取样"), "稳定");
    EXPECT_EQ(key("算法", "最少读数"), "3");
    EXPECT_EQ(key("仪表", "无数据报警"), "3");
}

TEST_F(SetParaTest, ANewPortIsTakenUpByTheNextStartOrContinue) {
    writeBytes("[串行口]\nComName=/dev/ttyUSB0\n");
    open();
    find<QComboBox>("RzComboBox1")->setEditText(u"/dev/ttyUSB1"_s);
    click("RzBitBtn1");
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, u"设置已保存。\n新的串口在下次点“开始”或“继续”时启用。"_s);
    EXPECT_EQ(key("串行口", "ComName"), "/dev/ttyUSB1");
}

TEST_F(SetParaTest, OkWithoutAChangeSavesWithoutANotice) {
    for (const std::string file : {"", "[算法]\n取样=峰值\n[下限值]\nValue=0.2\n"}) {
        if (!file.empty())
            writeBytes(file);
        open();
        // A change undone is no change.
        QLineEdit* threshold = find<QLineEdit>("Edit1");
        const QString shown = threshold->text();
        threshold->setText(u"99"_s);
        threshold->setText(shown);
        click("RzBitBtn1");
        EXPECT_FALSE(m_window->isVisible());
        EXPECT_TRUE(m_boxes.boxes.empty()) << file;
        EXPECT_EQ(key("下限值", "Value"), shown.toStdString());
    }
}

TEST_F(SetParaTest, CancelAndTheCloseBoxLeaveTheFileUntouched) {
    const std::string before = "[串行口]\r\nComName=COM2\r\n";
    writeBytes(*TextCodec::utf8ToGbk(before));
    open();
    EXPECT_EQ(text("RzComboBox1"), u"COM2"_s);
    find<QComboBox>("RzComboBox1")->setEditText(u"COM9"_s);
    click("RzBitBtn2");
    EXPECT_FALSE(m_window->isVisible());
    open();
    find<QRadioButton>("RadioButton2")->setChecked(true);
    m_window->close();
    EXPECT_EQ(readBytes(), *TextCodec::utf8ToGbk(before));
}

TEST_F(SetParaTest, AnUnwritableFileIsReportedAndTheWindowStays) {
    m_ini = (m_dir / "missing-folder" / "Option.ini").string();
    open();
    click("RzBitBtn1");
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"Weight"_s);
    EXPECT_EQ(m_boxes.boxes[0].text, QString::fromStdString("Unable to write to " + m_ini + "."));
    EXPECT_TRUE(m_window->isVisible());
}

} // namespace
TEST_F(SetParaTest, TheIndicatorGroupListsEveryFamilyAndAFurtherOneIsSavedByItsId) {
    writeBytes("[仪表]\n1=1\n2=0\n");
    open();
    EXPECT_EQ(find<QRadioButton>("RadioButton4")->text(), u"托利多系列"_s);
    EXPECT_EQ(find<QRadioButton>("RadioButton5")->text(), u"耀华系列"_s);
    EXPECT_EQ(find<QRadioButton>("RadioButton10")->text(), u"通用文本行（ST,GS）"_s);
    find<QRadioButton>("RadioButton10")->setChecked(true);
    EXPECT_FALSE(checked("RadioButton4"));
    click("RzBitBtn1");
    EXPECT_EQ(key("仪表", "1") + key("仪表", "2") + key("仪表", "型号"), "00ascii-line");
    open();
    EXPECT_TRUE(checked("RadioButton10"));
    // Back to the first family: 1 and 2 as always, and 型号 follows, so that the file names one family.
    find<QRadioButton>("RadioButton4")->setChecked(true);
    click("RzBitBtn1");
    EXPECT_EQ(key("仪表", "1") + key("仪表", "2") + key("仪表", "型号"), "10toledo");
}

TEST_F(SetParaTest, AFileWithoutTheFamilyKeyIsSavedWithoutIt) {
    writeBytes("[仪表]\n1=0\n2=1\n");
    open();
    EXPECT_TRUE(checked("RadioButton5"));
    click("RzBitBtn1");
    EXPECT_EQ(key("仪表", "型号"), "(missing)");
}

TEST_F(SetParaTest, FindMyIndicatorSelectsTheFamilyHeardOnThePortAndFillsTheLine) {
    SimulationSettings settings;
    settings.indicator = IndicatorKind::YaohuaReversed;
    settings.count = 0;
    settings.leadSeconds = 1.0;
    settings.tailSeconds = 1.0;
    IndicatorSimulation simulation(settings);
    SimulatorPort port = SimulatorPort::openPseudoTerminal();
    std::ostringstream events;
    SimulatorSession session(simulation, port, events);
    std::thread indicator([&] { session.run(); });
    open();
    find<QComboBox>("RzComboBox1")->setEditText(QString::fromStdString(port.stationPath()));
    find<QComboBox>("RzComboBox2")->setEditText(u"4800"_s); // tried first (a pseudo-terminal has no rate)
    find<QComboBox>("RzComboBox3")->setEditText(u"Odd"_s);
    click("BtnDetect");
    QLabel* outcome = find<QLabel>("LabelDetect");
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome->text().startsWith(u"识别到"_s); }, 10000))
        << outcome->text().toStdString();
    indicator.join();
    EXPECT_TRUE(checked("RadioButton9"));
    EXPECT_EQ(text("RzComboBox2"), u"4800"_s);
    EXPECT_EQ(text("RzComboBox3"), u"None"_s);
    EXPECT_EQ(outcome->text(), u"识别到：耀华系列（逆序连续输出），4800 8N1"_s);
    EXPECT_EQ(events.str().find("stray"), std::string::npos) << "nothing was written to the port";
}

TEST_F(SetParaTest, FindMyIndicatorOnAPortThatCannotBeOpenedShowsWhy) {
    open();
    find<QComboBox>("RzComboBox1")->setEditText(u"/dev/kelvora-no-such-port"_s);
    click("BtnDetect");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_boxes.boxes.empty(); }, 5000));
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_TRUE(m_boxes.boxes[0].text.contains(u"无法打开串口 /dev/kelvora-no-such-port"_s));
    EXPECT_TRUE(find<QPushButton>("BtnDetect")->isEnabled());
}

} // namespace kelvora
