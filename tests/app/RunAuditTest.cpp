// The run's own events in the audit trail, and the lot number the rows carry, through the real window on
// a pseudo-terminal.
#include "app/config/ProfileFile.h"
#include "data/TADOConnection.h"
#include "simulator/IndicatorFrame.h"
#include "tests/app/StationWindowFixture.h"
#include "tests/support/PtyTestSupport.h"
#include "weighing/NumberText.h"

#include <chrono>

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

class RunAuditTest : public StationWindowTest {
protected:
    void SetUp() override {
        StationWindowTest::SetUp();
        makeDatabase();
    }
    void setOption(const char* section, const char* key, const std::string& value) {
        ProfileFile(path(u"Option.ini"_s).toStdString()).writeString(section, key, value);
    }
    void openOn(const PtyPair& line) {
        TForm1::Options options;
        options.portName = QString::fromStdString(line.path());
        open(options);
        logIn();
    }
    void chooseModel(const QString& model) {
        const int index = ui().ComboBox1->findText(model);
        ASSERT_GE(index, 0);
        ui().ComboBox1->setCurrentIndex(index);
        emit ui().ComboBox1->activated(index);
    }
    // The indicator sends `weight`; the window shows it less `offset`. Each reading must differ from the
    // one shown before it, or the next frame may join it in one chunk.
    bool shows(const PtyPair& line, double weight, double offset = 0.0) {
        line.send(IndicatorFrame::toledo(weight, false));
        const QString shown = QString::fromStdString(NumberText::formatWeight(weight - offset));
        return spinUntil([&] { return ui().Edit1->text() == shown; });
    }
    // The trail's rows of the run's events as "操作员|事件|对象|旧值|新值|备注", once `count` are there.
    QStringList runEvents(qsizetype count) {
        QStringList rows;
        spinUntil([&] {
            rows.clear();
            QSqlQuery query(m_form->ADO1.database());
            query.exec(u"select 操作员, 事件, 对象, 旧值, 新值, 备注 from audit where 事件 not in ('登录', '退出登录') "
                       u"order by 序号"_s);
            while (query.next()) {
                QStringList fields;
                for (int i = 0; i < 6; ++i)
                    fields << query.value(i).toString();
                rows << fields.join(u'|');
            }
            return rows.size() >= count;
        });
        return rows;
    }
    QStringList storedLots() {
        QSqlQuery query(m_form->ADO1.database());
        query.exec(u"select 批号 from weight order by 序号"_s);
        QStringList lots;
        while (query.next())
            lots << query.value(0).toString();
        return lots;
    }
};

TEST_F(RunAuditTest, StartZeroSilenceAndStopAreOnRecordWithTheModelLimitsAndLot) {
    setOption("站点", "输入批号", "1");
    setOption("仪表", "无数据报警", "0.5");
    PtyPair line;
    openOn(line);
    auto* lot = m_form->findChild<QLineEdit*>(u"EditLot"_s);
    ASSERT_NE(lot, nullptr);
    EXPECT_TRUE(lot->text().isEmpty());
    lot->setText(u"  L-0412 "_s);
    ui().LabeledEdit1->setText(u"100"_s);
    chooseModel(u"大米-25kg"_s);
    ui().BtnClear->click();
    ASSERT_TRUE(ui().BtnSetTabs->isEnabled());

    ASSERT_TRUE(shows(line, 0.3));
    ui().BtnBullets->click();
    for (double weight : {0.3, 22.3, 25.3, 28.3, 26.3, 24.3, 0.3})
        ASSERT_TRUE(shows(line, weight, 0.3)) << weight;
    ASSERT_TRUE(spinUntil([&] { return !ui().SilenceStatus->text().isEmpty(); }));
    ASSERT_TRUE(shows(line, 0.3, 0.3));
    ui().BtnSetTabs->click();

    const QStringList events = runEvents(6);
    EXPECT_EQ(events, QStringList({
                          u"admin|批次修改|批次条数值|0|100|"_s,
                          u"admin|开始|大米-25kg||标准值 25.000，上限值 25.500，下限值 24.750|批号 L-0412"_s,
                          u"admin|清零|零点|0.000|0.300|"_s,
                          u"admin|仪表无数据|仪表|||"_s,
                          u"admin|仪表恢复|仪表|||"_s,
                          u"admin|结束|大米-25kg|||本批已计 1 个产品"_s,
                      }));
    ASSERT_TRUE(spinUntil([&] { return storedLots().size() == 1; }));
    EXPECT_EQ(storedLots(), QStringList{u"L-0412"_s});

    // The lot is remembered: the next start shows it again, and the trail does not take it for an edit.
    m_form->closeWithoutConfirmation();
    m_form.reset();
    openOn(line);
    EXPECT_EQ(m_form->findChild<QLineEdit*>(u"EditLot"_s)->text(), u"L-0412"_s);
    EXPECT_EQ(runEvents(6).filter(u"设置文件外部修改"_s), QStringList());
}

TEST_F(RunAuditTest, ContinueOnALostPortAndAPortThatWillNotOpenAreOnRecord) {
    auto line = std::make_unique<PtyPair>();
    openOn(*line);
    EXPECT_EQ(m_form->findChild<QLineEdit*>(u"EditLot"_s), nullptr) << "no lot field without 输入批号";
    chooseModel(u"大米-25kg"_s);
    ui().BtnClear->click();
    ASSERT_TRUE(shows(*line, 0.0));
    const QString port = m_form->Comm1.CommName().c_str();
    line->closeMaster();
    ASSERT_TRUE(spinUntil([&] { return ui().BtnWordWrap->isEnabled(); }));

    m_form->Comm1.setCommName("/nonexistent/tty-kelvora");
    ui().BtnWordWrap->click();
    const QStringList events = runEvents(4);
    ASSERT_EQ(events.size(), 4) << events.join(u'\n').toStdString();
    EXPECT_TRUE(events[0].startsWith(u"admin|开始|大米-25kg||"_s)) << events[0].toStdString();
    EXPECT_TRUE(events[0].endsWith(u"|"_s)) << "no lot";
    EXPECT_TRUE(events[1].startsWith(u"admin|仪表无数据|"_s)) << events[1].toStdString();
    EXPECT_TRUE(events[2].startsWith(u"admin|端口故障|"_s + port + u"|||串口出现故障"_s)) << events[2].toStdString();
    EXPECT_TRUE(events[3].startsWith(u"admin|端口故障|/nonexistent/tty-kelvora|||"_s)) << events[3].toStdString();
    EXPECT_EQ(runEvents(4).filter(u"|继续|"_s), QStringList()) << "a Continue that failed is no run";
}

TEST_F(RunAuditTest, ADatabaseLockedByAnotherProgramDoesNotHoldUpTheWeighing) {
    PtyPair line;
    openOn(line);
    chooseModel(u"大米-25kg"_s);
    ui().BtnClear->click();
    ASSERT_TRUE(shows(line, 0.3));
    ASSERT_EQ(runEvents(1).size(), 1);

    // Another program holds the database's write lock for 2.5 s (the station's wait for a lock is 5 s).
    TADOConnection other(u"Data Source=\"%1\";"_s.arg(path(u"database.mdb"_s)));
    other.Open();
    QSqlQuery lock(other.database());
    ASSERT_TRUE(lock.exec(u"BEGIN IMMEDIATE"_s));
    const auto released = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    ui().BtnBullets->click();
    line.send(IndicatorFrame::toledo(0.5, false));
    EXPECT_TRUE(spinUntil([&] { return ui().Edit1->text() == u"0.200"_s; }, std::chrono::milliseconds(1000)))
        << "the next reading is shown at once";
    EXPECT_EQ(m_form->runAudit().waiting(), 1u) << "the zero waits for the lock";
    spinFor(std::chrono::duration_cast<std::chrono::milliseconds>(released - std::chrono::steady_clock::now()));
    ASSERT_TRUE(lock.exec(u"COMMIT"_s));

    const QStringList events = runEvents(2);
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[1], u"admin|清零|零点|0.000|0.300|"_s);
    EXPECT_TRUE(takeTexts().empty()) << "a wait shorter than the lock's is no error";
}

TEST_F(RunAuditTest, BatchValuesLeftUnchangedAreNotRecorded) {
    PtyPair line;
    openOn(line);
    ui().LabeledEdit2->setText(u"90"_s);
    emit ui().LabeledEdit2->editingFinished();
    emit ui().LabeledEdit2->editingFinished();
    ui().LabeledEdit2->setText(u"90"_s);
    chooseModel(u"大米-25kg"_s);
    ui().BtnClear->click();
    const QStringList events = runEvents(2);
    EXPECT_EQ(events.filter(u"批次修改"_s), QStringList{u"admin|批次修改|批次提醒值|0|90|"_s});
}

} // namespace
} // namespace kelvora::test
