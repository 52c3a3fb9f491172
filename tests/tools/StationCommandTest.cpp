// kelvora-tool station init, through the built program.
#include "app/config/StationConfig.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "tests/support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ToolRun runTool(const std::string& program, const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& arg : args) {
        list << QString::fromStdString(arg);
    }
    QProcess process;
    process.start(QString::fromStdString(program), list);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

ToolRun station(std::vector<std::string> args) {
    args.insert(args.begin(), "station");
    return runTool(test::binDir() + "/kelvora-tool", args);
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool validUtf8(const std::string& bytes) {
    return QString::fromUtf8(bytes).toUtf8().toStdString() == bytes && bytes.find("\xEF\xBF\xBD") == std::string::npos;
}

/// Every entry under dir, as relative paths with their file contents ("/" for folders).
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        entries[fs::relative(entry.path(), dir).string()] = entry.is_directory() ? "/" : readBytes(entry.path());
    }
    return entries;
}

int rows(TADOQuery& query, const char* line1, const char* line2 = nullptr) {
    query.Close();
    query.SQL.Clear();
    query.SQL.Add(QString::fromUtf8(line1));
    if (line2) {
        query.SQL.Add(QString::fromUtf8(line2));
    }
    query.Open();
    return query.RecordCount();
}

const fs::path kBuiltManual() {
    return fs::path(test::binDir()) / ".." / "share" / "kelvora" / "帮助文件.pdf";
}

TEST(StationCommandTest, InitMakesAMissingFolderWithDatabaseSettingsBackupAndManual) {
    const test::TempDir temp;
    const fs::path dir = fs::path(temp.path()) / "新站" / "line 1";
    const ToolRun run = station({"init", dir.string(), "--demo", "--port", "/dev/ttyUSB0"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("admin"), std::string::npos);

    EXPECT_EQ(snapshot(dir / "Backup").size(), 0u);
    EXPECT_TRUE(fs::is_directory(dir / "Backup"));
    EXPECT_EQ(readBytes(dir / "帮助文件.pdf"), readBytes(kBuiltManual()));

    TADOConnection connection(QString::fromStdString((dir / "database.mdb").string()));
    TADOQuery query(connection);
    EXPECT_EQ(rows(query, "Select  *  From  XH"), 5);
    EXPECT_EQ(rows(query, "select  *  from  users", "where (用户名称='admin')  and  (用户密码='123456')"), 1);

    const std::string ini = readBytes(dir / "Option.ini");
    EXPECT_TRUE(validUtf8(ini));
    EXPECT_NE(ini.rfind("[软件]", 0), std::string::npos) << "no byte-order mark, the first section first";
    EXPECT_NE(ini.find("ComName=/dev/ttyUSB0\n"), std::string::npos) << ini;
}

TEST(StationCommandTest, TheNewOptionIniLoadsAsTheDefaultsInBothWindowsAndStaysUtf8) {
    const test::TempDir temp;
    const fs::path dir = fs::path(temp.path()) / "station";
    ASSERT_EQ(station({"init", dir.string()}).exitCode, 0);
    const std::string ini = (dir / "Option.ini").string();

    WeighingState fromFile, fromNothing;
    fromFile.AlgorithmChoice = fromNothing.AlgorithmChoice = -1;
    const StationSettings main = StationConfig::loadMainWindow(ini, fromFile);
    const StationSettings defaults = StationConfig::loadMainWindow(temp.file("none.ini"), fromNothing);
    EXPECT_EQ(main.windowColor, defaults.windowColor);
    EXPECT_EQ(main.batchCountText, defaults.batchCountText);
    EXPECT_EQ(main.batchReminderText, defaults.batchReminderText);
    EXPECT_EQ(main.statusText, "共0个产品，此产品是第0个");
    EXPECT_EQ(main.timer1Interval, defaults.timer1Interval);
    EXPECT_EQ(main.timer2Interval, defaults.timer2Interval);
    EXPECT_EQ(main.commName, "Com1");
    EXPECT_EQ(main.baudRate, defaults.baudRate);
    EXPECT_EQ(main.parity, defaults.parity);
    EXPECT_EQ(main.parityCheck, defaults.parityCheck);
    EXPECT_EQ(fromFile.ProductThreshold, 10.0);
    EXPECT_EQ(fromFile.ProductCount, 0);
    EXPECT_EQ(fromFile.AlgorithmChoice, fromNothing.AlgorithmChoice);
    EXPECT_EQ(fromFile.IndicatorType, 1);

    const SettingsWindowValues window = StationConfig::loadSettingsWindow(ini);
    EXPECT_EQ(window.comName, "Com1");
    EXPECT_EQ(window.baudRate, "9600");
    EXPECT_EQ(window.parity, "None");
    EXPECT_EQ(window.threshold, "10.000");
    EXPECT_EQ(window.algorithm, 1);
    EXPECT_EQ(window.indicator, 1);

    // The station's own writes keep the file in UTF-8.
    StationConfig::saveProductCount(ini, 7);
    StationConfig::saveSettingsWindow(ini, window);
    const std::string bytes = readBytes(ini);
    EXPECT_TRUE(validUtf8(bytes));
    EXPECT_NE(bytes.find("SC_Num=7"), std::string::npos);
    EXPECT_NE(bytes.find("[串行口]"), std::string::npos);
}

class StationRefusalTest : public ::testing::TestWithParam<const char*> {};

TEST_P(StationRefusalTest, AFolderHoldingADatabaseOrSettingsIsLeftAsItWas) {
    const test::TempDir temp;
    const fs::path dir = fs::path(temp.path()) / "station";
    fs::create_directories(dir / "Backup");
    std::ofstream(dir / GetParam()) << "earlier";
    std::ofstream(dir / "Backup" / "DataBase24-07-15.mdb") << "backup";
    const auto before = snapshot(dir);

    const ToolRun run = station({"init", dir.string(), "--demo"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(GetParam()), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nothing was changed"), std::string::npos) << run.err;
    EXPECT_EQ(snapshot(dir), before);
}

INSTANTIATE_TEST_SUITE_P(Names, StationRefusalTest,
                         ::testing::Values("database.mdb", "DataBase.mdb", "Option.ini", "OPTION.INI"));

TEST(StationCommandTest, WithoutTheManualBesideTheProgramNothingIsMade) {
    const test::TempDir temp;
    fs::create_directories(fs::path(temp.path()) / "bin");
    const fs::path tool = fs::path(temp.path()) / "bin" / "kelvora-tool";
    fs::copy_file(fs::path(test::binDir()) / "kelvora-tool", tool);
    const fs::path dir = fs::path(temp.path()) / "station";

    const ToolRun run = runTool(tool.string(), {"station", "init", dir.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find((fs::path(temp.path()) / "share" / "kelvora" / "帮助文件.pdf").string()), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("not found"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir));
}

TEST(StationCommandTest, AFolderThatCannotBeMadeFailsClearlyAndLeavesNothing) {
    const test::TempDir temp;
    std::ofstream(temp.file("plain")) << "a file";
    const auto before = snapshot(temp.path());
    const ToolRun run = station({"init", temp.file("plain/station")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("plain"), std::string::npos) << run.err;
    EXPECT_EQ(snapshot(temp.path()), before);
}

TEST(StationCommandTest, BadArgumentsAreUsageErrorsAndMakeNothing) {
    const test::TempDir temp;
    const std::string dir = temp.file("station");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"init"},
        {"create", dir},
        {"init", dir, "--color", "red"},
        {"init", dir, dir + "2"},
        {"init", dir, "--port"},
        {"init", dir, "--port", ""},
        {"init", dir, "--port", "/dev/ttyUSB0\n[软件]"},
    };
    for (const auto& args : cases) {
        const ToolRun run = station(args);
        EXPECT_EQ(run.exitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(run.err.find("usage: kelvora-tool station init DIR"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

} // namespace
} // namespace kelvora
