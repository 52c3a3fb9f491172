// A whole product through the real window: the indicator's frames come from a pseudo-terminal, the
// output frames go back to it.
#include "data/TADOQuery.h"
#include "simulator/IndicatorFrame.h"
#include "tests/app/StationWindowFixture.h"
#include "tests/support/PtyTestSupport.h"
#include "weighing/NumberText.h"
#include "weighing/WeighingCore.h"

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

using WeighingRunTest = StationWindowTest;

TEST_F(WeighingRunTest, AProductFromTheLineLightsTheLampsCountsAndSendsTheFrames) {
    makeDatabase();
    PtyPair line;
    TForm1::Options options;
    options.portName = QString::fromStdString(line.path());
    open(options);
    ui().LabeledEdit1->setText(u"100"_s);
    ui().LabeledEdit2->setText(u"90"_s);
    const int index = ui().ComboBox1->findText(u"大米-25kg"_s); // 25.000, limits 24.750 to 25.500
    ui().ComboBox1->setCurrentIndex(index);
    emit ui().ComboBox1->activated(index);
    ui().Shape1->setColor(Qt::red);
    ui().BtnClear->click();
    ASSERT_NE(m_form->Comm1.ComHandle(), 0u);
    EXPECT_FALSE(ui().BtnClear->isEnabled());
    EXPECT_TRUE(ui().BtnSetTabs->isEnabled());
    EXPECT_EQ(ui().Edit3->text(), u"共100个产品，此产品是第0个"_s);

    for (double weight : {0.0, 22.0, 25.0, 28.0, 26.0, 24.0, 0.0}) {
        line.send(IndicatorFrame::toledo(weight, false));
        const QString shown = QString::fromStdString(NumberText::formatWeight(weight));
        ASSERT_TRUE(spinUntil([&] { return ui().Edit1->text() == shown; })) << weight;
    }
    EXPECT_EQ(ui().Edit2->text(), u"25.000"_s);
    EXPECT_EQ(ui().Shape1->colorName(), u"lime"_s);
    EXPECT_EQ(ui().Shape2->colorName(), u"lime"_s);
    EXPECT_EQ(m_form->core().state().ProductCount, 1);
    EXPECT_EQ(ui().Edit3->text(), u"共100个产品，此产品是第1个"_s);
    // Two calls of the frame with the reminder bit cleared: four frames on the line, after the model
    // selection's (sent while the port was closed) have had their time.
    const std::string frame = WeighingCore::outputFrame(0);
    EXPECT_EQ(line.receiveSpinning(4 * frame.size()), frame + frame + frame + frame);

    // The product is stored once it is over.
    TADOQuery records(m_form->ADO1);
    records.SQL.Add(u"Select  *  From  weight"_s);
    records.Open();
    ASSERT_EQ(records.RecordCount(), 1);
    EXPECT_EQ(records.FieldByName(u"型号"_s).AsString(), u"大米-25kg"_s);
    EXPECT_EQ(records.FieldByName(u"重量"_s).AsFloat(), 25.0);
    EXPECT_EQ(records.FieldByName(u"检定结果"_s).AsString(), u"正常"_s);

    ui().BtnSetTabs->click();
    EXPECT_EQ(m_form->Comm1.ComHandle(), 0u);
    EXPECT_TRUE(ui().BtnWordWrap->isEnabled());
}

TEST_F(WeighingRunTest, TheCloseSendsItsLastFrameBeforeThePortCloses) {
    makeDatabase();
    PtyPair line;
    TForm1::Options options;
    options.portName = QString::fromStdString(line.path());
    open(options);
    ui().ComboBox1->setEditText(u"大米-25kg"_s);
    ui().BtnClear->click();
    ASSERT_NE(m_form->Comm1.ComHandle(), 0u);
    m_form->core().state().SignalFlags = 5;
    m_form->close();
    m_form.reset(); // the program ends: the port is closed
    const std::string frame = WeighingCore::outputFrame(0);
    EXPECT_EQ(line.receive(2 * frame.size()), frame + frame);
}

} // namespace
} // namespace kelvora::test
