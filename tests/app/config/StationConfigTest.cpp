#include "app/config/StationConfig.h"

#include "app/config/ProfileFile.h"
#include "app/config/TextCodec.h"
#include "tests/support/TempDirTest.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

namespace fs = std::filesystem;

class StationConfigTest : public test::TempDirTest {
protected:
    StationSettings load() {
        m_state = WeighingState{};
        return StationConfig::loadMainWindow(m_ini, m_state);
    }

    void writeKeys(const std::string& lines) { writeBytes("[串行口]\n" + lines); }

    WeighingState m_state;
};

TEST_F(StationConfigTest, WithoutFileEverythingTakesItsDefault) {
    const StationSettings settings = load();
    EXPECT_EQ(settings.windowColor, 16053492u);
    EXPECT_EQ(settings.batchCountText, "0");
    EXPECT_EQ(settings.batchReminderText, "0");
    EXPECT_EQ(settings.statusText, "共0个产品，此产品是第0个");
    EXPECT_EQ(settings.timer1Interval, 1000);
    EXPECT_EQ(settings.timer2Interval, 1000);
    EXPECT_EQ(settings.commName, "Com1");
    EXPECT_EQ(settings.baudRate, 9600u);
    EXPECT_EQ(settings.parity, ParityChoice::None);
    EXPECT_FALSE(settings.parityCheck);
    EXPECT_EQ(m_state.ProductCount, 0);
    EXPECT_DOUBLE_EQ(m_state.ProductThreshold, 10.0);
    EXPECT_EQ(m_state.AlgorithmChoice, 3);
    EXPECT_EQ(m_state.IndicatorType, 1);
    EXPECT_FALSE(fs::exists(m_ini));

    const SettingsWindowValues window = StationConfig::loadSettingsWindow(m_ini);
    EXPECT_EQ(window.comName, "Com1");
    EXPECT_EQ(window.baudRate, "9600");
    EXPECT_EQ(window.parity, "None");
    EXPECT_EQ(window.threshold, "10.000");
    EXPECT_EQ(window.algorithm, 1);
    EXPECT_EQ(window.indicator, 1);
    EXPECT_FALSE(StationConfig::databaseConnection(m_ini));
}

TEST_F(StationConfigTest, LoadsEveryKeyOfAFullFile) {
    writeBytes("[软件]\r\n背景色=0xFF\r\n[Word]\r\nNum=100\r\nTX_Num=90\r\nSC_Num=5\r\n[时钟]\r\n开始输出=300\r\n"
               "输出时长=2500\r\n[下限值]\r\nValue=12.5\r\n[串行口]\r\nComName=COm5\r\nBaudrate=19200\r\n"
               "Parity=Even\r\n[算法]\r\n1=0\r\n2=1\r\n3=0\r\n[仪表]\r\n1=0\r\n[数据库]\r\n连接=station.mdb\r\n");
    const StationSettings settings = load();
    EXPECT_EQ(settings.windowColor, 0xFFu);
    EXPECT_EQ(settings.batchCountText, "100");
    EXPECT_EQ(settings.batchReminderText, "90");
    EXPECT_EQ(settings.statusText, "共100个产品，此产品是第5个");
    EXPECT_EQ(settings.timer2Interval, 300);
    EXPECT_EQ(settings.timer1Interval, 2500);
    EXPECT_EQ(settings.commName, "COm5");
    EXPECT_EQ(settings.baudRate, 19200u);
    EXPECT_EQ(settings.parity, ParityChoice::Even);
    EXPECT_TRUE(settings.parityCheck);
    EXPECT_EQ(m_state.ProductCount, 5);
    EXPECT_DOUBLE_EQ(m_state.ProductThreshold, 12.5);
    EXPECT_EQ(m_state.AlgorithmChoice, 2);
    EXPECT_EQ(m_state.IndicatorType, 2);
    EXPECT_EQ(StationConfig::databaseConnection(m_ini), "station.mdb");
}

TEST_F(StationConfigTest, ParityNamesIgnoreCaseAndOthersLeaveNoParity) {
    for (const char* odd : {"odd", "Odd", "ODD"}) {
        writeKeys(std::string("Parity=") + odd + "\n");
        const StationSettings settings = load();
        EXPECT_EQ(settings.parity, ParityChoice::Odd) << odd;
        EXPECT_TRUE(settings.parityCheck) << odd;
    }
    for (const char* other : {"Mark", "", " none", "Space"}) {
        writeKeys(std::string("Parity=") + other + "\n");
        const StationSettings settings = load();
        EXPECT_EQ(settings.parity, ParityChoice::None) << other;
        EXPECT_FALSE(settings.parityCheck) << other;
    }
}

TEST_F(StationConfigTest, EmptyPortNameStaysEmptyAndBadBaudRatesFallBack) {
    writeKeys("ComName=\nBaudrate=0x2580\n");
    StationSettings settings = load();
    EXPECT_EQ(settings.commName, "");
    EXPECT_EQ(settings.baudRate, 9600u);
    writeKeys("Baudrate=abc\n");
    settings = load();
    EXPECT_EQ(settings.commName, "Com1");
    EXPECT_EQ(settings.baudRate, 9600u);
}

TEST_F(StationConfigTest, LastAlgorithmThatReadsYesWinsAndNoneLeavesZero) {
    struct Case {
        const char* keys;
        int mainChoice;
        int windowChoice;
    };
    for (const Case& c : {Case{"1=1\n2=0\n3=1\n", 3, 3}, Case{"1=0\n2=0\n3=0\n", 0, 0}, Case{"1=1\n", 3, 1},
                          Case{"1=1\n2=0\n3=0\n", 1, 1}, Case{"2=1\n3=x\n", 3, 2}, Case{"1=0\n2=1\n3=0\n", 2, 2}}) {
        writeBytes(std::string("[算法]\n") + c.keys);
        load();
        EXPECT_EQ(m_state.AlgorithmChoice, c.mainChoice) << c.keys;
        EXPECT_EQ(StationConfig::loadSettingsWindow(m_ini).algorithm, c.windowChoice) << c.keys;
    }
}

TEST_F(StationConfigTest, IndicatorFollowsKeyOneOnlyInTheMainWindow) {
    struct Case {
        const char* keys;
        int indicatorType;
        int windowChoice;
    };
    for (const Case& c : {Case{"1=0\n2=0\n", 2, 0}, Case{"1=0\n2=1\n", 2, 2}, Case{"1=1\n2=1\n", 1, 2},
                          Case{"2=1\n", 1, 2}, Case{"1=1\n", 1, 1}}) {
        writeBytes(std::string("[仪表]\n") + c.keys);
        load();
        EXPECT_EQ(m_state.IndicatorType, c.indicatorType) << c.keys;
        EXPECT_EQ(StationConfig::loadSettingsWindow(m_ini).indicator, c.windowChoice) << c.keys;
    }
}

TEST_F(StationConfigTest, ThresholdTypedAsTextIsSavedAndLoadsAsTheDefault) {
    SettingsWindowValues values;
    values.threshold = "abc";
    StationConfig::saveSettingsWindow(m_ini, values);
    EXPECT_EQ(StationConfig::loadSettingsWindow(m_ini).threshold, "abc");
    load();
    EXPECT_DOUBLE_EQ(m_state.ProductThreshold, 10.0);
}

TEST_F(StationConfigTest, SettingsWindowSavesEveryKeyInOrder) {
    const SettingsWindowValues values{"COm5", "4800", "Odd", "12.000", 0, 2};
    StationConfig::saveSettingsWindow(m_ini, values);
    const std::string expected =
        "[串行口]\r\nComName=COm5\r\nBaudrate=4800\r\nParity=Odd\r\n"
        "[下限值]\r\nValue=12.000\r\n[算法]\r\n1=0\r\n2=0\r\n3=0\r\n取样=峰值\r\n[仪表]\r\n1=0\r\n"
        "2=1\r\n";
    EXPECT_EQ(ProfileFile(m_ini).readString("串行口", "ComName", ""), "COm5");
    const SettingsWindowValues loaded = StationConfig::loadSettingsWindow(m_ini);
    EXPECT_EQ(loaded.comName, "COm5");
    EXPECT_EQ(loaded.baudRate, "4800");
    EXPECT_EQ(loaded.parity, "Odd");
    EXPECT_EQ(loaded.threshold, "12.000");
    EXPECT_EQ(loaded.algorithm, 0);
    EXPECT_EQ(loaded.indicator, 2);
    const StationSettings settings = load();
    EXPECT_EQ(settings.commName, "COm5");
    EXPECT_EQ(settings.parity, ParityChoice::Odd);
    EXPECT_EQ(m_state.IndicatorType, 2);
    EXPECT_EQ(readBytes(), TextCodec::utf8ToGbk(expected));
}

TEST_F(StationConfigTest, SamplingIsStableOnlyForItsOwnWord) {
    load();
    EXPECT_EQ(m_state.SamplingChoice, Sampling::Peak) << "no file";
    EXPECT_EQ(StationConfig::loadSettingsWindow(m_ini).sampling, 1);
    struct Case {
        const char* value;
        Sampling choice;
    };
    for (const Case& c : {Case{"稳定", Sampling::Stable}, Case{"峰值", Sampling::Peak}, Case{"2", Sampling::Peak},
                          Case{"稳定取样", Sampling::Peak}, Case{"", Sampling::Peak}}) {
        writeBytes(TextCodec::utf8ToGbk(std::string("[算法]\r\n1=1\r\n取样=") + c.value + "\r\n").value());
        load();
        EXPECT_EQ(m_state.SamplingChoice, c.choice) << c.value;
        EXPECT_EQ(m_state.AlgorithmChoice, 3) << "the precision keys are read as before";
        EXPECT_EQ(StationConfig::loadSettingsWindow(m_ini).sampling, c.choice == Sampling::Stable ? 2 : 1) << c.value;
    }
}

TEST_F(StationConfigTest, SettingsWindowSavesTheSamplingChoiceForTheNextStart) {
    SettingsWindowValues values;
    values.sampling = 2;
    StationConfig::saveSettingsWindow(m_ini, values);
    EXPECT_EQ(ProfileFile(m_ini).readString("算法", "取样", ""), "稳定");
    EXPECT_EQ(StationConfig::loadSettingsWindow(m_ini).sampling, 2);
    load();
    EXPECT_EQ(m_state.SamplingChoice, Sampling::Stable);

    values.sampling = 1;
    StationConfig::saveSettingsWindow(m_ini, values);
    EXPECT_EQ(ProfileFile(m_ini).readString("算法", "取样", ""), "峰值");
    EXPECT_EQ(StationConfig::loadSettingsWindow(m_ini).sampling, 1);
    load();
    EXPECT_EQ(m_state.SamplingChoice, Sampling::Peak);
}

TEST_F(StationConfigTest, SettingsWindowSaveStopsAtTheFirstRefusedKey) {
    writeBytes("[串行口]\r\nComName=Com1\r\n");
    fs::permissions(m_ini, fs::perms::owner_read);
    try {
        StationConfig::saveSettingsWindow(m_ini, SettingsWindowValues{});
        FAIL() << "the save went through";
    } catch (const ProfileWriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + m_ini);
    }
    EXPECT_EQ(readBytes(), "[串行口]\r\nComName=Com1\r\n");
}

TEST_F(StationConfigTest, ColourAndCountWritesCreateTheirKeysAndKeepTheRest) {
    writeBytes("; kept\r\n[Word]\r\nNum=100\r\nSC_Num=5\r\n");
    StationConfig::saveProductCount(m_ini, 42);
    StationConfig::saveWindowColor(m_ini, 0xF4F4F4);
    EXPECT_EQ(readBytes(), "; kept\r\n[Word]\r\nNum=100\r\nSC_Num=42\r\n[\xC8\xED\xBC\xFE]\r\n"
                           "\xB1\xB3\xBE\xB0\xC9\xAB=16053492\r\n");
    const StationSettings settings = load();
    EXPECT_EQ(m_state.ProductCount, 42);
    EXPECT_EQ(settings.windowColor, 0xF4F4F4u);
    EXPECT_EQ(settings.statusText, "共100个产品，此产品是第42个");
}

TEST_F(StationConfigTest, CountWriteToAReadOnlyFileReportsThePath) {
    writeBytes("[Word]\r\nSC_Num=5\r\n");
    fs::permissions(m_ini, fs::perms::owner_read);
    EXPECT_THROW(StationConfig::saveProductCount(m_ini, 6), ProfileWriteError);
    load();
    EXPECT_EQ(m_state.ProductCount, 5);
}

TEST_F(StationConfigTest, StatisticsSettingsReadTheirSectionAndFallBackOnBadValues) {
    StatisticsSettings defaults = StationConfig::loadStatistics(m_ini);
    EXPECT_FALSE(defaults.grams);
    EXPECT_DOUBLE_EQ(defaults.division, 0.001);
    EXPECT_EQ(defaults.subgroupSize, 5);
    EXPECT_EQ(defaults.baselineSubgroups, 20);
    EXPECT_FALSE(defaults.nelson);
    EXPECT_EQ(defaults.rejectRun, 3);
    EXPECT_EQ(defaults.shiftStarts, (std::vector<int>{0, 480, 960}));

    writeBytes("[统计]\n重量单位=g\n子组大小=8\n基准子组=25\n判异规则=nelson\n连续剔除=5\n班次=20:00,08:00\n");
    const StatisticsSettings set = StationConfig::loadStatistics(m_ini);
    EXPECT_TRUE(set.grams);
    EXPECT_DOUBLE_EQ(set.division, 1.0) << "a gram line's default division";
    EXPECT_EQ(set.subgroupSize, 8);
    EXPECT_EQ(set.baselineSubgroups, 25);
    EXPECT_TRUE(set.nelson);
    EXPECT_EQ(set.rejectRun, 5);
    EXPECT_EQ(set.shiftStarts, (std::vector<int>{480, 1200}));

    writeBytes("[统计]\n分度值=-1\n子组大小=11\n基准子组=0\n连续剔除=0\n班次=08:00,25:00\n");
    const StatisticsSettings bad = StationConfig::loadStatistics(m_ini);
    EXPECT_DOUBLE_EQ(bad.division, 0.001);
    // A division finer than 1 mg or coarser than 1 kg is no scale's: the default.
    for (const char* division : {"1e-18", "0.0000009", "1.5"}) {
        writeBytes(std::string("[统计]\n分度值=") + division + "\n");
        EXPECT_DOUBLE_EQ(StationConfig::loadStatistics(m_ini).division, 0.001) << division;
    }
    writeBytes("[统计]\n分度值=0.000001\n");
    EXPECT_DOUBLE_EQ(StationConfig::loadStatistics(m_ini).division, 0.000001);
    // The rules, the lots and the shift's check; a file without them behaves as before (中国, per shift).
    EXPECT_EQ(defaults.regime, "中国");
    EXPECT_FALSE(defaults.lotByHour);
    EXPECT_FALSE(defaults.shiftCheck);
    writeBytes("[统计]\n法规=欧盟\n批次=小时\n开班检查=1\n");
    const StatisticsSettings lots = StationConfig::loadStatistics(m_ini);
    EXPECT_EQ(lots.regime, "欧盟");
    EXPECT_TRUE(lots.lotByHour);
    EXPECT_TRUE(lots.shiftCheck);
    EXPECT_EQ(bad.subgroupSize, 5);
    EXPECT_EQ(bad.baselineSubgroups, 20);
    EXPECT_EQ(bad.rejectRun, 3);
    EXPECT_EQ(bad.shiftStarts, (std::vector<int>{0, 480, 960}));
    for (const char* list : {"08:5", "08-00", "08:00,", ""}) {
        writeBytes(std::string("[统计]\n班次=") + list + "\n");
        EXPECT_EQ(StationConfig::loadStatistics(m_ini).shiftStarts, (std::vector<int>{0, 480, 960})) << list;
    }
}

} // namespace
} // namespace kelvora
