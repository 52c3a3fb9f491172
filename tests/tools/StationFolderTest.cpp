#include "tools/StationFolder.h"

#include "app/config/ProfileFile.h"
#include "app/config/StationConfig.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

TEST(StationFolderTest, PreparesAFolderTheStationStartsFromWithThePortGiven) {
    TempDir tmp;
    const QString dir = QString::fromStdString(tmp.path()) + u"/line 1"_s;
    QFile help(QString::fromStdString(tmp.file("manual.pdf")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("%PDF-1.4\n");
    help.close();
    StationFolder::initialize(dir, true, u"/dev/serial/by-id/usb-x"_s, help.fileName());
    EXPECT_TRUE(QDir(dir + u"/Backup"_s).isEmpty());
    EXPECT_TRUE(QFile::exists(dir + u"/帮助文件.pdf"_s));
    WeighingState state;
    const StationSettings settings = StationConfig::loadMainWindow((dir + u"/Option.ini"_s).toStdString(), state);
    EXPECT_EQ(settings.commName, "/dev/serial/by-id/usb-x");
    EXPECT_EQ(settings.windowColor, 16053492u);
    EXPECT_EQ(settings.batchCountText, "0");
    EXPECT_EQ(state.IndicatorType, 1);
    EXPECT_EQ(state.SamplingChoice, Sampling::Stable);
    EXPECT_EQ(state.ProductThreshold, StationFolder::kDemoProductThreshold);
    const SettingsWindowValues shown = StationConfig::loadSettingsWindow((dir + u"/Option.ini"_s).toStdString());
    EXPECT_EQ(shown.algorithm, 1);
    EXPECT_EQ(shown.sampling, 2); // 稳定取样
    EXPECT_EQ(shown.threshold, "0.200");
    TADOConnection connection(dir + u"/database.mdb"_s);
    TADOQuery models(connection);
    models.SQL.Add(u"Select  *  From  XH"_s);
    models.Open();
    EXPECT_EQ(models.RecordCount(), 5);
}

TEST(StationFolderTest, ANewStationCapturesStablyWithTheKeysTheStationReads) {
    TempDir tmp;
    const QString dir = QString::fromStdString(tmp.path());
    StationFolder::initialize(dir, false, {}, {});
    const std::string ini = (dir + u"/Option.ini"_s).toStdString();
    const ProfileFile file(ini);
    EXPECT_EQ(file.readText("算法", "取样"), "稳定");
    EXPECT_EQ(file.readText("算法", "最少读数"), "3");
    EXPECT_EQ(file.readText("仪表", "无数据报警"), "3");
    EXPECT_EQ(file.readText("下限值", "Value"), "10.000"); // a real line sets its own
    EXPECT_EQ(file.readText("串行口", "ComName"), "Com1");
    WeighingState state;
    StationConfig::loadMainWindow(ini, state);
    EXPECT_EQ(state.SamplingChoice, Sampling::Stable);
    EXPECT_EQ(state.ProductThreshold, 10.0);
    EXPECT_EQ(StationConfig::loadSettingsWindow(ini).sampling, 2);
    // Without the demo the database holds no models.
    TADOConnection connection(dir + u"/database.mdb"_s);
    TADOQuery models(connection);
    models.SQL.Add(u"Select  *  From  XH"_s);
    models.Open();
    EXPECT_EQ(models.RecordCount(), 0);
}

// The demo is a prepackage line in kg: each model's limits lie around its nominal (the lower at the
// nominal less the tolerable negative error), and the demo station's product threshold lies well below
// every lower limit, so that choosing a model raises no notice and an underfilled pack is still seen.
TEST(StationFolderTest, TheDemoModelsHaveSensibleLimitsWellAboveTheThreshold) {
    TempDir tmp;
    const QString dir = QString::fromStdString(tmp.path());
    StationFolder::initialize(dir, true, {}, {});
    WeighingState state;
    StationConfig::loadMainWindow((dir + u"/Option.ini"_s).toStdString(), state);
    TADOConnection connection(dir + u"/database.mdb"_s);
    TADOQuery models(connection);
    models.SQL.Add(u"Select  *  From  XH"_s);
    models.Open();
    QStringList names;
    for (; !models.Eof(); models.Next()) {
        const QString name = models.FieldByName(u"型号"_s).AsString();
        const double nominal = models.FieldByName(u"标准值"_s).AsFloat();
        const double upper = models.FieldByName(u"上限值"_s).AsFloat();
        const double lower = models.FieldByName(u"下限值"_s).AsFloat();
        names << name;
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(name.endsWith(u"kg"_s));
        EXPECT_LT(lower, nominal);
        EXPECT_GT(upper, nominal);
        EXPECT_GE(lower, nominal * 0.985 - 1e-9); // T is at most 1.5 % of the nominal from 1 kg up
        EXPECT_LE(upper, nominal * 1.03 + 1e-9);
        EXPECT_GE(lower, 4 * state.ProductThreshold);
    }
    EXPECT_EQ(names, (QStringList{u"大米-5kg"_s, u"面粉-10kg"_s, u"大米-25kg"_s, u"白糖-1kg"_s, u"面粉-2.5kg"_s}));
}

TEST(StationFolderTest, RefusesAFolderThatHoldsADatabaseOrSettings) {
    for (const char* existing : {"DataBase.mdb", "Option.ini", "option.INI"}) {
        TempDir tmp;
        QFile file(QString::fromStdString(tmp.file(existing)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        EXPECT_THROW(StationFolder::initialize(QString::fromStdString(tmp.path()), false, {}, {}), std::runtime_error)
            << existing;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(tmp.file("Backup")))) << existing;
    }
}

} // namespace
} // namespace kelvora::test
