// The line as it fails in the real window: the indicator falling silent, the device gone, and 继续 on the
// port chosen since.
#include "app/config/ProfileFile.h"
#include "simulator/IndicatorFrame.h"
#include "tests/app/StationWindowFixture.h"
#include "tests/support/PtyTestSupport.h"
#include "weighing/NumberText.h"
#include "weighing/WeighingCore.h"

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

class LineFailureTest : public StationWindowTest {
protected:
    // A station on `line` with a model typed in, Start pressed.
    void startOn(const PtyPair& line) {
        makeDatabase(false);
        TForm1::Options options;
        options.portName = QString::fromStdString(line.path());
        open(options);
        ui().ComboBox1->setEditText(u"M1"_s);
        ui().Et2->setText(u"20.000"_s);
        ui().Et3->setText(u"12.000"_s);
        ui().LabeledEdit1->setText(u"1000"_s);
        ui().LabeledEdit2->setText(u"1000"_s);
        ui().BtnClear->click();
        ASSERT_NE(m_form->Comm1.ComHandle(), 0u);
    }
    bool weighs(const PtyPair& line, double weight) {
        line.send(IndicatorFrame::toledo(weight, false));
        const QString shown = QString::fromStdString(NumberText::formatWeight(weight));
        return spinUntil([&] { return ui().Edit1->text() == shown; });
    }
    bool silentShown() const {
        return m_form->ui().RzMarqueeStatus1->text() == u"仪表无数据"_s && m_form->ui().SilenceStatus->isVisible() &&
               m_form->ui().SilenceStatus->text().contains(u"起无数据"_s);
    }
    int errorBoxes(const QString& part) const {
        int n = 0;
        for (const MessageBox::Request& box : m_boxes.boxes)
            n += box.title == u"Weight"_s && box.text.contains(part) ? 1 : 0;
        return n;
    }
};

TEST_F(LineFailureTest, ASilentIndicatorRaisesTheAlarmBitOnTheLineUntilItSpeaks) {
    ProfileFile(path(u"Option.ini"_s).toStdString()).writeString("仪表", "无数据报警", "0.5");
    PtyPair line;
    startOn(line);
    const QString caption = ui().RzMarqueeStatus1->text();
    ASSERT_TRUE(weighs(line, 0.0));
    ASSERT_TRUE(spinUntil([&] { return silentShown(); }));
    // Bit 0 from the start, bit 2 for the silence: flags 5, twice on the line.
    const std::string alarm = WeighingCore::outputFrame(5);
    EXPECT_EQ(line.receiveSpinning(2 * alarm.size()), alarm + alarm);

    ASSERT_TRUE(weighs(line, 0.5));
    EXPECT_EQ(ui().RzMarqueeStatus1->text(), caption);
    EXPECT_FALSE(ui().SilenceStatus->isVisible());
    const std::string cleared = WeighingCore::outputFrame(1);
    EXPECT_EQ(line.receiveSpinning(2 * cleared.size()), cleared + cleared);
}

TEST_F(LineFailureTest, ALostDeviceStopsTheRunOnceAndContinueOpensThePortChosenSince) {
    auto first = std::make_unique<PtyPair>();
    startOn(*first);
    ASSERT_TRUE(weighs(*first, 0.0));
    first->closeMaster(); // the adapter is pulled
    ASSERT_TRUE(spinUntil([&] { return silentShown(); }));
    spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(errorBoxes(u"串口出现故障"_s), 1) << "the reader and the writer both report it; one box";
    EXPECT_EQ(m_form->Comm1.ComHandle(), 0u);
    EXPECT_TRUE(ui().BtnWordWrap->isEnabled());
    EXPECT_FALSE(ui().BtnSetTabs->isEnabled());

    // The operator plugs the indicator into another adapter and chooses it in 设置.
    PtyPair second;
    ProfileFile(path(u"Option.ini"_s).toStdString()).writeString("串行口", "ComName", second.path());
    ui().BtnWordWrap->click();
    ASSERT_NE(m_form->Comm1.ComHandle(), 0u);
    EXPECT_EQ(m_form->Comm1.CommName(), second.path());
    EXPECT_TRUE(silentShown()) << "until the indicator speaks";
    ASSERT_TRUE(weighs(second, 0.5));
    EXPECT_FALSE(ui().SilenceStatus->isVisible());
    EXPECT_EQ(errorBoxes(u"串口出现故障"_s), 1);
}

} // namespace
} // namespace kelvora::test
