// The statistics beside the main window: the 统计 button, the one window, the live batch and the alerts
// in the marquee pane.
#include "app/StationStatistics.h"

#include "quality/report/CheckStore.h"
#include "quality/window/CheckDialog.h"
#include "quality/window/StatisticsWindow.h"
#include "tests/app/StationWindowFixture.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDateTime>
#include <QFile>
#include <QPushButton>

namespace kelvora::test {
namespace {

class StationStatisticsTest : public StationWindowTest {
protected:
    TForm1& startRun(const char* lower) {
        makeDatabase();
        TForm1::Options options;
        options.virtualPort = true;
        TForm1& form = open(options);
        logIn();
        ui().ComboBox1->setEditText(QStringLiteral("B250"));
        ui().Et1->setText(QStringLiteral("0.250"));
        ui().Et2->setText(QStringLiteral("0.260"));
        ui().Et3->setText(QString::fromLatin1(lower));
        ui().BtnClear->click();
        return form;
    }

    void weigh(double weight, const char* verdict) {
        m_form->statistics().productRow({"B250", weight, verdict, "admin", "2026-12-10 08:00:00"});
    }

    QString marquee() { return ui().RzMarqueeStatus1->text(); }
};

TEST_F(StationStatisticsTest, TheButtonFollowsTheQueryRightAndOpensOneWindowBesideTheMainWindow) {
    makeDatabase();
    TForm1& form = open();
    logIn();
    QToolButton* statistics = ui().BtnStatistics;
    EXPECT_EQ(statistics->text(), QStringLiteral("统计"));
    EXPECT_TRUE(statistics->isVisibleTo(&form));
    QLayout* bar = statistics->parentWidget()->layout();
    EXPECT_EQ(bar->indexOf(statistics), bar->indexOf(ui().BtnSecurity) + 1) << "right after 查询";
    EXPECT_EQ(form.statistics().window(), nullptr) << "nothing is made before it is needed";

    statistics->click();
    StatisticsWindow* window = form.statistics().window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("统计分析"));
    statistics->click();
    EXPECT_EQ(form.statistics().window(), window);
    int windows = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        windows += qobject_cast<StatisticsWindow*>(top) != nullptr ? 1 : 0;
    EXPECT_EQ(windows, 1);

    form.setRightVisible(QStringLiteral("查询"), false);
    EXPECT_FALSE(statistics->isVisibleTo(&form));
    EXPECT_FALSE(ui().BtnSecurity->isVisibleTo(&form));
    form.setRightVisible(QStringLiteral("查询"), true);
    EXPECT_TRUE(statistics->isVisibleTo(&form));
}

TEST_F(StationStatisticsTest, SigningReportsNeedsTheKeyANewStationGets) {
    makeDatabase();
    TForm1& form = open();
    logIn();
    ui().BtnStatistics->click();
    auto* sign = form.statistics().window()->findChild<QPushButton*>(QStringLiteral("signReportButton"));
    ASSERT_NE(sign, nullptr);
    EXPECT_TRUE(sign->isHidden()) << "a station whose Option.ini lacks [安全] 报表签名 goes on as before";
    form.close();
    m_form.reset();

    QFile ini(path(QStringLiteral("Option.ini")));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("[安全]\n报表签名=1\n");
    ini.close();
    TForm1& signing = open();
    logIn();
    ui().BtnStatistics->click();
    EXPECT_FALSE(
        signing.statistics().window()->findChild<QPushButton*>(QStringLiteral("signReportButton"))->isHidden());
}

TEST_F(StationStatisticsTest, AnAlertScrollsInTheMarqueeUntilTheNextGoodProduct) {
    TForm1& form = startRun("0.245");
    ASSERT_NE(form.statistics().window(), nullptr) << "a run starts the live batch";
    const QString caption = marquee();
    weigh(0.262, "超高");
    weigh(0.244, "超低");
    EXPECT_EQ(marquee(), caption);
    weigh(0.263, "超高");
    EXPECT_EQ(marquee(), QStringLiteral("连续3件超出公差"));
    EXPECT_TRUE(form.statistics().alerting());
    weigh(0.264, "超高");
    EXPECT_EQ(marquee(), QStringLiteral("连续3件超出公差"));
    weigh(0.250, "正常");
    EXPECT_EQ(marquee(), caption);
    EXPECT_FALSE(form.statistics().alerting());
    EXPECT_EQ(form.statistics().window()->alerts().size(), 1);
    EXPECT_EQ(form.statistics().window()->batch().statistics().count(), 5);
}

TEST_F(StationStatisticsTest, AGoodProductThatRaisesAnAlertKeepsItUntilTheNextGoodOne) {
    // Lower limit 240 g, below TU1 (241 g): a pack of 240.5 g is good, yet the batch's share below TU1
    // passes 2.5 % with it.
    TForm1& form = startRun("0.240");
    const QString caption = marquee();
    weigh(0.2405, "正常");
    EXPECT_TRUE(marquee().startsWith(QStringLiteral("低于TU1的比例"))) << marquee().toStdString();
    weigh(0.250, "正常");
    EXPECT_EQ(marquee(), caption);

    // Continue starts a new batch: its figures begin again, the alerts listed so far stay listed.
    ui().BtnSetTabs->click();
    ui().BtnWordWrap->click();
    EXPECT_EQ(form.statistics().window()->batch().statistics().count(), 0);
    EXPECT_EQ(form.statistics().window()->alerts().size(), 1);
}

TEST_F(StationStatisticsTest, TheChecksButtonAndAShiftThatStartsWithACheck) {
    makeDatabase();
    QFile ini(path(QStringLiteral("Option.ini")));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("[统计]\n开班检查=1\n");
    ini.close();
    TForm1& form = open();
    logIn();
    auto* checks = form.findChild<QToolButton*>(QStringLiteral("BtnChecks"));
    ASSERT_NE(checks, nullptr);
    EXPECT_EQ(checks->text(), QStringLiteral("日常检查"));
    QLayout* bar = checks->parentWidget()->layout();
    EXPECT_EQ(bar->indexOf(checks), bar->indexOf(ui().BtnStatistics) + 1);
    form.setRightVisible(QStringLiteral("查询"), false);
    EXPECT_FALSE(checks->isVisibleTo(&form));
    form.setRightVisible(QStringLiteral("查询"), true);
    EXPECT_TRUE(checks->isVisibleTo(&form));

    // No check of this shift yet: Start is refused with a notice.
    takeTexts();
    ui().ComboBox1->setEditText(QStringLiteral("B250"));
    ui().BtnClear->click();
    const auto notices = takeTexts();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("还没有合格的性能检查"))) << notices[0].toStdString();
    EXPECT_EQ(form.statistics().window(), nullptr) << "no run, no live batch";

    checks->click();
    ASSERT_NE(form.statistics().checks(), nullptr);
    EXPECT_TRUE(form.statistics().checks()->isVisible());
    const QString shift = lotPeriod(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                    LotRules{LotRules::Split::Shift, {0, 480, 960}});
    storeCheck(form.ADO1, {QStringLiteral("性能检查"),
                           QStringLiteral("2026-12-10 08:00:00"),
                           QStringLiteral("admin"),
                           QStringLiteral("B250"),
                           shift,
                           true,
                           {}});
    ui().BtnClear->click();
    EXPECT_TRUE(takeTexts().empty());
    EXPECT_NE(form.statistics().window(), nullptr) << "the run started";
}

} // namespace
} // namespace kelvora::test
