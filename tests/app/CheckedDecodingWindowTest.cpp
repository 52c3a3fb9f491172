// The checked decoding in the real window: frames from a pseudo-terminal cut by the reads, a damaged
// frame and an overload, as a station with [仪表] 解码=完整帧 sees them.
#include "simulator/IndicatorFrame.h"
#include "tests/app/StationWindowFixture.h"
#include "tests/support/PtyTestSupport.h"

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

using CheckedDecodingWindowTest = StationWindowTest;

TEST_F(CheckedDecodingWindowTest, CutFramesAreReadWholeADamagedOneIsCountedAndAnOverloadIsShown) {
    makeDatabase();
    {
        QFile ini(path(u"Option.ini"_s));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(
            "[Word]\r\nNum=100\r\nTX_Num=90\r\n[\xd2\xc7\xb1\xed]\r\n\xbd\xe2\xc2\xeb=\xcd\xea\xd5\xfb\xd6\xa1\r\n");
    }
    PtyPair line;
    TForm1::Options options;
    options.portName = QString::fromStdString(line.path());
    open(options);
    ASSERT_NE(m_form->core().state().IndicatorFormat, nullptr) << "[仪表] 解码=完整帧 in GBK";
    const int index = ui().ComboBox1->findText(u"大米-25kg"_s);
    ui().ComboBox1->setCurrentIndex(index);
    emit ui().ComboBox1->activated(index);
    ui().BtnClear->click();
    ASSERT_NE(m_form->Comm1.ComHandle(), 0u);

    const std::string frame = IndicatorFrame::toledo(12.34, false);
    line.send(frame.substr(0, 4));
    std::this_thread::sleep_for(std::chrono::milliseconds(60)); // a read of its own
    line.send(frame.substr(4));
    ASSERT_TRUE(spinUntil([&] { return ui().Edit1->text() == u"12.340"_s; })) << ui().Edit1->text().toStdString();

    std::string damaged = IndicatorFrame::toledo(250.0, false);
    damaged[7] = '9';
    line.send(damaged + IndicatorFrame::toledo(20000.0, false));
    ASSERT_TRUE(spinUntil([&] { return ui().Edit1->text() == u"超载"_s; })) << ui().Edit1->text().toStdString();
    EXPECT_EQ(ui().RzMarqueeStatus1->toolTip(), u"已丢弃的损坏帧：1 个"_s);
    EXPECT_EQ(m_form->core().state().ProductCount, 0);
    ui().BtnSetTabs->click();
}

} // namespace
} // namespace kelvora::test
