#include "tools/StationFolder.h"

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
    EXPECT_EQ(state.ProductThreshold, 10.0);
    EXPECT_EQ(StationConfig::loadSettingsWindow((dir + u"/Option.ini"_s).toStdString()).algorithm, 1);
    TADOConnection connection(dir + u"/database.mdb"_s);
    TADOQuery models(connection);
    models.SQL.Add(u"Select  *  From  XH"_s);
    models.Open();
    EXPECT_EQ(models.RecordCount(), 5);
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
