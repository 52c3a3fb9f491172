#include "data/DatabaseBackup.h"
#include "data/TADOQuery.h"
#include "tests/app/StationWindowFixture.h"

#include <QDate>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

class InitializationTest : public StationWindowTest {
protected:
    void SetUp() override {
        StationWindowTest::SetUp();
        makeDatabase();
        open();
        addRecords(3);
    }

    void addRecords(int count) {
        TADOQuery insert(m_form->ADO1);
        for (int i = 0; i < count; ++i) {
            insert.SQL.Clear();
            insert.SQL.Add(u"Insert  Into  weight(型号,重量,检定结果,操作员,时间)  values  (:a,:b,:c,:d,:e)"_s);
            insert.Parameters.ParamByName(u"a"_s).Value = u"A100"_s;
            insert.Parameters.ParamByName(u"b"_s).Value = 15.0 + i;
            insert.Parameters.ParamByName(u"c"_s).Value = u"正常"_s;
            insert.Parameters.ParamByName(u"d"_s).Value = u"admin"_s;
            insert.Parameters.ParamByName(u"e"_s).Value = u"2024-07-15 08:00:00"_s;
            insert.ExecSQL();
        }
    }

    int records(TADOConnection& connection) {
        TADOQuery query(connection);
        query.SQL.Add(u"Select  *  From  weight"_s);
        query.Open();
        return query.RecordCount();
    }
};

TEST_F(InitializationTest, BacksUpThenClearsTheRecordsAndNamesTheBackup) {
    ASSERT_TRUE(QDir().mkdir(path(u"Backup"_s)));
    ui().BtnOK->click();
    const QString backup = path(u"Backup/"_s + DatabaseBackup::dailyName(QDate::currentDate()));
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"提示"_s);
    EXPECT_EQ(m_boxes.boxes[0].text, u"初始化成功,以前数据已经被系统存储在"_s + backup + u"下."_s);
    EXPECT_EQ(records(m_form->ADO1), 0);
    TADOConnection copy(backup);
    EXPECT_EQ(records(copy), 3);
    // The models stay.
    EXPECT_EQ(ui().ComboBox1->count(), 5);
}

TEST_F(InitializationTest, ASecondRunOnOneDayKeepsTheFirstBackupAndNamesTheNewFile) {
    ASSERT_TRUE(QDir().mkdir(path(u"Backup"_s)));
    ui().BtnOK->click();
    addRecords(1);
    m_boxes.boxes.clear();
    ui().BtnOK->click();
    const QString first = path(u"Backup/"_s + DatabaseBackup::dailyName(QDate::currentDate()));
    const QString second = path(u"Backup/"_s + DatabaseBackup::dailyName(QDate::currentDate(), 2));
    EXPECT_EQ(takeTexts(), std::vector<QString>{u"初始化成功,以前数据已经被系统存储在"_s + second + u"下."_s});
    TADOConnection one(first), two(second);
    EXPECT_EQ(records(one), 3);
    EXPECT_EQ(records(two), 1);
    EXPECT_EQ(records(m_form->ADO1), 0);
}

TEST_F(InitializationTest, WithoutABackupFolderNothingIsDeletedAndTheNoticeSaysWhy) {
    ui().BtnOK->click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"提示"_s);
    EXPECT_FALSE(m_boxes.boxes[0].errorBox);
    EXPECT_FALSE(m_boxes.boxes[0].text.startsWith(u"初始化成功"_s));
    EXPECT_EQ(records(m_form->ADO1), 3);
    EXPECT_FALSE(QFile::exists(path(u"Backup"_s)));
}

} // namespace
} // namespace kelvora::test
