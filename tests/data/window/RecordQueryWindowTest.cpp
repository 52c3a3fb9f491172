#include "DataTestSupport.h"
#include "data/DatabaseError.h"
#include "data/RecordChain.h"
#include "data/window/Unit3.h"
#include "tests/support/MessageBoxRecorder.h"
#include "ui/DataGrid.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

class RecordQueryWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_database = test::TestDatabase::create(test::Engine::Sqlite);
        TADOConnection connection(m_database->connectionString());
        connection.Open();
        QSqlQuery insert(connection.database());
        ASSERT_TRUE(
            insert.prepare(u"insert into weight (型号, 重量, 检定结果, 操作员, 时间) values (?, ?, ?, ?, ?)"_s));
        // 25 records a minute apart from 2024-07-01 08:00:00; every fifth over the limit, one model with a quote.
        for (int i = 0; i < 25; ++i) {
            insert.addBindValue(i == 3 ? u"a'b"_s : u"M%1"_s.arg(i % 3));
            insert.addBindValue(10.0 + i * 0.5);
            insert.addBindValue(i % 5 == 0 ? u"超高"_s : u"正常"_s);
            insert.addBindValue(u"admin"_s);
            insert.addBindValue(u"2024-07-01 08:%1:00"_s.arg(i, 2, 10, QChar(u'0')));
            ASSERT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
        }
    }

    void open(const QString& connectionString = {}) {
        m_window =
            std::make_unique<TForm3>(connectionString.isEmpty() ? m_database->connectionString() : connectionString);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        m_grid = m_window->findChild<DataGrid*>(u"DBGrid1"_s);
    }

    template <typename W> W* find(const char* name) const { return m_window->findChild<W*>(QString::fromLatin1(name)); }

    // Sets the range and the condition, then presses 查询.
    void query(const QString& from, const QString& to, const QString& field = {}, const QString& op = u"="_s,
               const QString& value = {}) {
        const QDateTime start = QDateTime::fromString(from, u"yyyy-MM-dd HH:mm:ss"_s);
        const QDateTime end = QDateTime::fromString(to, u"yyyy-MM-dd HH:mm:ss"_s);
        find<QDateEdit>("dp1")->setDate(start.date());
        find<QTimeEdit>("TP1")->setTime(start.time());
        find<QDateEdit>("Dp2")->setDate(end.date());
        find<QTimeEdit>("tp2")->setTime(end.time());
        find<QComboBox>("ComboBox2")->setEditText(field);
        find<QComboBox>("Combobox3")->setEditText(op);
        find<QLineEdit>("Edit1")->setText(value);
        find<QPushButton>("Button1")->click();
    }

    int rows() const { return m_grid->model()->rowCount(); }

    std::optional<test::TestDatabase> m_database;
    std::unique_ptr<TForm3> m_window;
    DataGrid* m_grid = nullptr;
    test::MessageBoxRecorder m_boxes;
};

TEST_F(RecordQueryWindowTest, CreationShowsTheFirstTwentyRowsAndNoCount) {
    open();
    EXPECT_EQ(m_window->windowTitle(), u"数据查询"_s);
    EXPECT_EQ(m_window->size(), QSize(622, 617));
    EXPECT_EQ(find<QDateEdit>("dp1")->date(), QDate::currentDate());
    EXPECT_EQ(find<QComboBox>("ComboBox2")->currentText(), QString());
    EXPECT_EQ(find<QComboBox>("ComboBox2")->count(), 5);
    EXPECT_EQ(find<QComboBox>("ComboBox2")->itemText(4), QString());
    EXPECT_EQ(find<QComboBox>("Combobox3")->currentText(), u"="_s);
    EXPECT_EQ(find<QLineEdit>("Edit1")->text(), u"超高"_s);
    EXPECT_EQ(rows(), 20);
    EXPECT_EQ(m_window->statusText(), QString());
    ASSERT_EQ(m_grid->model()->columnCount(), 5);
    EXPECT_EQ(m_grid->columnWidth(0), 102);
    EXPECT_EQ(m_grid->columnWidth(1), 83);
    EXPECT_EQ(m_grid->columnWidth(4), 188);
    const QStringList first = m_grid->rowTexts(0);
    EXPECT_EQ(first.mid(0, 4), QStringList({u"M0"_s, u"10.00"_s, u"超高"_s, u"admin"_s}));
    EXPECT_TRUE(first[4].contains(u"8:00:00"_s)) << first[4].toStdString();
    EXPECT_FALSE(m_grid->model()->flags(m_grid->model()->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(RecordQueryWindowTest, AQueryAtOnceAsksForTheSecondOfCreation) {
    open();
    find<QComboBox>("ComboBox2")->setEditText(QString());
    find<QPushButton>("Button1")->click();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(m_window->statusText(), u"共0条记录。"_s);
}

TEST_F(RecordQueryWindowTest, RangeAndConditionsCountEveryMatchingRowBothEndsIncluded) {
    open();
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:24:00"_s);
    EXPECT_EQ(m_window->statusText(), u"共25条记录。"_s);
    EXPECT_EQ(rows(), 25);
    EXPECT_EQ(m_window->ADOQuery1.SQL.Text(),
              u"select  *  from  weight\r\nwhere  (时间  between #07/01/2024 08:00:00# and  #07/01/2024 08:24:00#)"_s);
    query(u"2024-07-01 08:05:00"_s, u"2024-07-01 08:20:00"_s, u"检定结果"_s, u"="_s, u"超高"_s);
    EXPECT_EQ(m_window->statusText(), u"共4条记录。"_s);
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:24:00"_s, u"重量"_s, u">="_s, u"20"_s);
    EXPECT_EQ(m_window->statusText(), u"共5条记录。"_s);
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:24:00"_s, u"型号"_s, u"="_s, u"a'b"_s);
    EXPECT_EQ(m_window->statusText(), u"共1条记录。"_s);
    EXPECT_TRUE(m_window->ADOQuery1.SQL.Text().endsWith(u"#)and (型号=:value)"_s)); // the value is bound
    // An emptied field runs the range alone, whatever the operator and value say.
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:09:00"_s, QString(), u"junk"_s, u"x'"_s);
    EXPECT_EQ(m_window->statusText(), u"共10条记录。"_s);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(RecordQueryWindowTest, AWeightThatIsNoNumberFailsAndKeepsTheCount) {
    open();
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:24:00"_s);
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:24:00"_s, u"重量"_s, u"="_s, u"超高"_s);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"Weight"_s);
    EXPECT_EQ(m_boxes.boxes[0].text, u"'超高' is not a valid floating point value."_s);
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(m_window->statusText(), u"共25条记录。"_s);
}

TEST_F(RecordQueryWindowTest, InjectedFieldsOperatorsAndValuesAreRefused) {
    open();
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:24:00"_s);
    const QString from = u"2024-07-01 08:00:00"_s, to = u"2024-07-01 08:00:00"_s;
    query(from, to, u"型号='M0') or (1=1) union select 用户名称, 0, 用户密码, '', 0 from users where (''="_s, u"="_s,
          u""_s);
    query(from, to, u" 型号"_s, u"="_s, u"M0"_s); // untrimmed
    query(from, to, u"型号"_s, u"<>"_s, u"M0"_s);
    query(from, to, u"型号"_s, u"='' or 1=1 or 型号="_s, u"M0"_s);
    ASSERT_EQ(m_boxes.boxes.size(), 4u);
    EXPECT_TRUE(m_boxes.boxes[0].text.startsWith(u"查询条件的字段"_s));
    EXPECT_TRUE(m_boxes.boxes[1].text.startsWith(u"查询条件的字段"_s));
    EXPECT_TRUE(m_boxes.boxes[2].text.startsWith(u"查询条件的运算符"_s));
    EXPECT_TRUE(m_boxes.boxes[3].text.startsWith(u"查询条件的运算符"_s));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(m_window->statusText(), u"共25条记录。"_s);
    // A value never leaves its quotes, and a weight must be a number.
    query(from, u"2024-07-01 08:24:00"_s, u"检定结果"_s, u"="_s, u"x') or ('1'='1"_s);
    EXPECT_EQ(m_window->statusText(), u"共0条记录。"_s);
    query(from, u"2024-07-01 08:24:00"_s, u"重量"_s, u">"_s, u"0) or (1=1"_s);
    EXPECT_EQ(m_boxes.boxes.size(), 5u);
    EXPECT_EQ(m_window->statusText(), u"共0条记录。"_s);
}

TEST_F(RecordQueryWindowTest, AConnectionThatFailsLeavesAnEmptyWindow) {
    open(u"Data Source=/nonexistent/database.mdb;"_s);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"Weight"_s);
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(m_window->isVisible());
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:24:00"_s);
    EXPECT_EQ(m_boxes.boxes.size(), 2u);
}

TEST_F(RecordQueryWindowTest, AHeaderClickSortsAndASecondReversesTheOrderOfTheSameQuery) {
    open();
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:09:00"_s, u"检定结果"_s, u"="_s, u"正常"_s);
    ASSERT_EQ(rows(), 8);
    QHeaderView* header = m_grid->horizontalHeader();
    const int model = 0;
    const int weight = 1;
    const auto column = [&](int c) {
        QStringList values;
        for (int r = 0; r < rows(); ++r)
            values << m_grid->model()->index(r, c).data().toString();
        return values;
    };
    emit header->sectionClicked(model);
    EXPECT_EQ(column(model).first(), u"a'b"_s);
    EXPECT_EQ(column(model).last(), u"M2"_s);
    emit header->sectionClicked(weight);
    emit header->sectionClicked(weight);
    EXPECT_EQ(column(weight).first(), u"14.50"_s);
    EXPECT_EQ(column(weight).last(), u"10.50"_s);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(rows(), 8) << "the condition stays";
    EXPECT_EQ(m_window->statusText(), u"共8条记录。"_s);
}

TEST_F(RecordQueryWindowTest, TheWindowGrowsAndTheGridTakesTheRoom) {
    open();
    m_window->resize(1000, 800);
    QTest::qWait(10);
    EXPECT_EQ(m_grid->width(), 1000);
    EXPECT_GT(m_grid->height(), 500);
}

TEST_F(RecordQueryWindowTest, ExportWritesEveryRowOfTheQueryForASpreadsheet) {
    {
        TADOConnection connection(m_database->connectionString());
        connection.Open();
        QSqlQuery sql(connection.database());
        ASSERT_TRUE(sql.exec(u"insert into weight (型号, 重量, 检定结果, 操作员, 时间) values "
                             u"('大米, \"5kg\"', 5.05, '正常', '张三', '2024-07-01 09:00:00')"_s));
        // 100 000 rows: more than any grid shows at once.
        ASSERT_TRUE(sql.exec(u"begin"_s));
        sql.prepare(u"insert into weight (型号, 重量, 检定结果, 操作员, 时间) values ('B', ?, '正常', 'x', ?)"_s);
        for (int i = 0; i < 100000; ++i) {
            sql.addBindValue(1 + i / 1000.0);
            sql.addBindValue(QDateTime(QDate(2024, 7, 2), QTime(0, 0)).addSecs(i).toString(u"yyyy-MM-dd HH:mm:ss"_s));
            ASSERT_TRUE(sql.exec());
        }
        ASSERT_TRUE(sql.exec(u"commit"_s));
    }
    open();
    QTemporaryDir dir;
    query(u"2024-07-01 08:59:00"_s, u"2024-07-01 09:00:00"_s);
    const QString path = dir.filePath(u"out.csv"_s);
    ASSERT_EQ(m_window->exportTo(path), 1);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "UTF-8 with a byte-order mark";
    EXPECT_EQ(QString::fromUtf8(bytes.mid(3)),
              u"型号,重量,检定结果,操作员,时间\r\n\"大米, \"\"5kg\"\"\",5.05,正常,张三,2024-07-01 09:00:00\r\n"_s);
    file.close();

    query(u"2024-07-02 00:00:00"_s, u"2024-07-04 00:00:00"_s);
    ASSERT_EQ(m_window->exportTo(path), 100000);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_EQ(lines.size(), 100002); // the header, the rows, and nothing after the last line end
    EXPECT_EQ(lines[100000], "B,100.999,正常,x,2024-07-03 03:46:39\r");

    // A file that cannot be written is said, and nothing is left behind.
    EXPECT_THROW(m_window->exportTo(dir.filePath(u"no/such/folder.csv"_s)), DatabaseError);
}

TEST_F(RecordQueryWindowTest, ThePrintoutIsLandscapeA4WithAHeadingOnEachPage) {
    open();
    QTemporaryDir dir;
    const auto pages = [&] {
        QPdfWriter pdf(dir.filePath(u"print.pdf"_s));
        const int count = m_window->printTo(pdf);
        EXPECT_EQ(pdf.pageLayout().orientation(), QPageLayout::Landscape);
        EXPECT_EQ(pdf.pageLayout().pageSize().id(), QPageSize::A4);
        return count;
    };
    query(u"2024-07-01 08:00:00"_s, u"2024-07-01 08:24:00"_s);
    const int few = pages();
    EXPECT_EQ(few, 1);
    query(u"2000-01-01 00:00:00"_s, u"2000-01-01 00:00:00"_s);
    EXPECT_EQ(pages(), 1) << "an empty result still prints its heading";
}

TEST_F(RecordQueryWindowTest, ARangeWhoseLinkedRowsDoNotVerifyShowsARedWarning) {
    {
        TADOConnection connection(m_database->connectionString());
        connection.Open();
        QSqlQuery sql(connection.database());
        const QSqlRecord columns = connection.database().record(u"weight"_s);
        for (const QString& column :
             {u"站点"_s, u"序号"_s, u"标准值"_s, u"上限值"_s, u"下限值"_s, u"批号"_s, u"链"_s}) {
            if (!columns.contains(column)) {
                ASSERT_TRUE(sql.exec(u"alter table weight add column \"%1\""_s.arg(column)));
            }
        }
        QString previous;
        for (int i = 1; i <= 3; ++i) {
            const QVariantList fields{
                u"线1"_s, double(i), u"A100"_s, 15.0, u"正常"_s, u"张三"_s, u"2024-07-05 08:00:0%1"_s.arg(i),
                16.0,     20.0,      12.0,      u""_s};
            previous = RecordChain::link(previous, fields);
            sql.prepare(u"insert into weight (站点, 序号, 型号, 重量, 检定结果, 操作员, 时间, 标准值, 上限值, 下限值, "
                        u"批号, 链) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
            for (const QVariant& value : fields + QVariantList{previous})
                sql.addBindValue(value);
            ASSERT_TRUE(sql.exec()) << sql.lastError().text().toStdString();
        }
    }
    open();
    query(u"2024-07-05 00:00:00"_s, u"2024-07-05 23:59:59"_s);
    EXPECT_EQ(m_window->statusText(), u"共3条记录。"_s);
    EXPECT_TRUE(m_window->chainWarning().isEmpty());
    {
        TADOConnection connection(m_database->connectionString());
        connection.Open();
        ASSERT_TRUE(QSqlQuery(connection.database()).exec(u"update weight set 检定结果 = '超高' where 序号 = 2"_s));
    }
    query(u"2024-07-05 00:00:00"_s, u"2024-07-05 23:59:59"_s);
    EXPECT_TRUE(m_window->chainWarning().contains(u"1 处"_s)) << m_window->chainWarning().toStdString();
    EXPECT_TRUE(m_window->findChild<QLabel*>(u"ChainWarning"_s)->isVisible());
    // Older rows without a link, as in the other days, raise no warning.
    query(u"2024-07-01 00:00:00"_s, u"2024-07-01 23:59:59"_s);
    EXPECT_TRUE(m_window->chainWarning().isEmpty());
}

} // namespace
} // namespace kelvora
