#include "UsersTestSupport.h"
#include "tests/support/MessageBoxRecorder.h"
#include "ui/DataGrid.h"
#include "ui/RecordNavigator.h"
#include "users/Unit2.h"

#include <QHeaderView>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

const QVariantList kNone{false, false, false, false, false, false, false, false};

class RightsEditorTest : public test::UsersDatabaseTest {
protected:
    void open() {
        m_editor = std::make_unique<TForm2>(*m_connection);
        m_editor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_editor.get()));
        m_grid = m_editor->findChild<DataGrid*>(u"DBGridEh1"_s);
        m_navigator = m_editor->findChild<RecordNavigator*>(u"RzDBNavigator1"_s);
    }

    int currentRow() const { return m_grid->currentIndex().row(); }

    std::unique_ptr<TForm2> m_editor;
    DataGrid* m_grid = nullptr;
    RecordNavigator* m_navigator = nullptr;
    test::MessageBoxRecorder m_boxes;
};

TEST_F(RightsEditorTest, NineColumnsSortedByNameWithCheckBoxesAndNoPassword) {
    allowNullRights();
    addUser(u"bob"_s, u"secret"_s, {true, QVariant(), false, false, false, false, false, true});
    open();
    EXPECT_EQ(m_editor->windowTitle(), u"用户权限分配"_s);
    QAbstractItemModel* model = m_grid->model();
    ASSERT_EQ(model->columnCount(), 9);
    QStringList titles;
    for (int i = 0; i < 9; ++i) {
        titles << model->headerData(i, Qt::Horizontal).toString();
        EXPECT_EQ(m_grid->columnWidth(i), 70);
    }
    EXPECT_EQ(titles, QStringList({u"用户名称"_s, u"用户"_s, u"开始"_s, u"继续"_s, u"结束"_s, u"查询"_s, u"设置"_s,
                                   u"初始化"_s, u"清零"_s}));
    EXPECT_EQ(m_grid->rowTexts(0),
              QStringList({u"admin"_s, u"1"_s, u"1"_s, u"1"_s, u"1"_s, u"1"_s, u"1"_s, u"1"_s, u"1"_s}));
    EXPECT_EQ(m_grid->rowTexts(1),
              QStringList({u"bob"_s, u"1"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"1"_s}));
    EXPECT_TRUE(model->flags(model->index(0, 2)) & Qt::ItemIsUserCheckable);
    EXPECT_EQ(m_navigator->findChildren<QToolButton*>().size(), 10);
    for (const char16_t* hint :
         {u"第一条", u"上一条", u"下一条", u"最后一条", u"添加", u"删除", u"编辑", u"更新", u"取消", u"刷新"})
        EXPECT_NE(m_navigator->button(QString::fromUtf16(hint)), nullptr);
}

TEST_F(RightsEditorTest, MovingButtonsFollowTheGrid) {
    addUser(u"bob"_s, u"x"_s, kNone);
    addUser(u"carl"_s, u"x"_s, kNone);
    open();
    EXPECT_EQ(currentRow(), 0);
    EXPECT_FALSE(m_navigator->button(u"第一条"_s)->isEnabled());
    m_navigator->press(RecordNavigator::Action::Last);
    EXPECT_EQ(currentRow(), 2);
    EXPECT_FALSE(m_navigator->button(u"下一条"_s)->isEnabled());
    m_navigator->press(RecordNavigator::Action::Prior);
    EXPECT_EQ(m_editor->ADOQuery1.RecNo(), 1);
    EXPECT_EQ(currentRow(), 1);
    m_grid->setCurrentIndex(m_grid->model()->index(0, 3)); // the grid moves the query
    EXPECT_EQ(m_editor->ADOQuery1.RecNo(), 0);
    m_navigator->press(RecordNavigator::Action::Next);
    EXPECT_EQ(currentRow(), 1);
}

TEST_F(RightsEditorTest, AnEditIsWrittenOnUpdateOrOnLeavingTheRowAndCancelDropsIt) {
    addUser(u"bob"_s, u"x"_s, kNone);
    open();
    ASSERT_TRUE(m_grid->setCellText(1, u"开始"_s, u"1"_s));
    EXPECT_EQ(users()[1], u"bob|x|00000000"_s); // not yet written
    EXPECT_TRUE(m_navigator->button(u"更新"_s)->isEnabled());
    m_navigator->press(RecordNavigator::Action::Post);
    EXPECT_EQ(users()[1], u"bob|x|01000000"_s);

    ASSERT_TRUE(m_grid->setCellText(1, u"清零"_s, u"1"_s));
    m_navigator->press(RecordNavigator::Action::Cancel);
    EXPECT_EQ(m_grid->rowTexts(1).last(), u"0"_s);
    ASSERT_TRUE(m_grid->setCellText(1, u"用户名称"_s, u"bobby"_s));
    m_navigator->press(RecordNavigator::Action::First); // leaving the row writes it
    EXPECT_EQ(users()[1], u"bobby|x|01000000"_s);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(RightsEditorTest, AnAddedRowGetsTheInitialPassword) {
    open();
    m_navigator->press(RecordNavigator::Action::Insert);
    EXPECT_EQ(m_grid->model()->rowCount(), 2);
    ASSERT_TRUE(m_grid->setCellText(0, u"用户名称"_s, u"new"_s));
    ASSERT_TRUE(m_grid->setCellText(0, u"查询"_s, u"1"_s));
    m_navigator->press(RecordNavigator::Action::Post);
    EXPECT_EQ(users().last(), u"new|123456|00001000"_s);
}

TEST_F(RightsEditorTest, DeleteAsksAndCancelKeepsTheRow) {
    addUser(u"bob"_s, u"x"_s, kNone);
    open();
    m_navigator->press(RecordNavigator::Action::Last);
    m_boxes.answer(QMessageBox::Cancel);
    m_navigator->press(RecordNavigator::Action::Delete);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, u"Delete selected record?"_s);
    EXPECT_EQ(m_boxes.boxes[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(users().size(), 2);
    m_boxes.answer(QMessageBox::Ok);
    m_navigator->press(RecordNavigator::Action::Delete);
    EXPECT_EQ(users(), QStringList({u"admin|123456|11111111"_s}));
    EXPECT_EQ(m_grid->model()->rowCount(), 1);
}

TEST_F(RightsEditorTest, ARowTheTableRefusesStaysInEditing) {
    exec(u"create trigger no_root before update on users when new.用户名称 = 'root' "
         u"begin select raise(abort, 'root is reserved'); end"_s);
    addUser(u"bob"_s, u"x"_s, kNone);
    open();
    ASSERT_TRUE(m_grid->setCellText(1, u"用户名称"_s, u"root"_s));
    m_navigator->press(RecordNavigator::Action::Post);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"Weight"_s);
    EXPECT_TRUE(m_boxes.boxes[0].text.contains(u"root is reserved"_s));
    EXPECT_EQ(m_editor->ADOQuery1.state(), TADOQuery::State::Edit);
    // Leaving the row fails the same way, and the grid stays on it.
    m_grid->setCurrentIndex(m_grid->model()->index(0, 0));
    EXPECT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_EQ(currentRow(), 1);
    EXPECT_EQ(m_editor->ADOQuery1.RecNo(), 1);
    m_navigator->press(RecordNavigator::Action::Cancel);
    EXPECT_EQ(m_grid->rowTexts(1).first(), u"bob"_s);
    EXPECT_EQ(users()[1], u"bob|x|00000000"_s);
}

TEST_F(RightsEditorTest, RefreshRereadsTheTable) {
    open();
    addUser(u"zed"_s, u"x"_s, kNone);
    EXPECT_EQ(m_grid->model()->rowCount(), 1);
    m_navigator->press(RecordNavigator::Action::Refresh);
    EXPECT_EQ(m_grid->model()->rowCount(), 2);
    EXPECT_EQ(currentRow(), 0);
}

TEST_F(RightsEditorTest, AQueryThatCannotOpenShowsTheErrorAndAnEmptyGrid) {
    exec(u"drop table users"_s);
    open();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"Weight"_s);
    EXPECT_EQ(m_grid->model()->rowCount(), 0);
    EXPECT_FALSE(m_navigator->button(u"添加"_s)->isEnabled());
}

} // namespace
} // namespace kelvora
