// The statistics window's trust in what it shows: the red chain warning, the legal counters, and the
// report signed through its dialog.
#include "data/AuditTrail.h"
#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "quality/window/SignReportDialog.h"
#include "quality/window/StatisticsWindow.h"
#include "tests/support/LinkedRows.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TestPaths.h"
#include "users/Accounts.h"
#include "users/SettingsAudit.h"
#include "users/SignatureCheck.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

const QString kPassword = u"Qs-2468"_s;

class StatisticsSigningTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::make_unique<test::TempDir>();
        m_folder = QString::fromStdString(m_dir->path());
        m_database = m_folder + u"/database.mdb"_s;
        database_setup::initDatabase(m_database, true);
        m_connection = std::make_unique<TADOConnection>(m_database);
        std::vector<test::LinkedRow> rows;
        for (int i = 0; i < 30; ++i)
            rows.push_back({u"白糖-1kg"_s, 1.002 + 0.001 * (i % 3), u"正常"_s,
                            u"2024-07-15 08:%1:00"_s.arg(i, 2, 10, QChar(u'0')), 1.0, 1.03, 0.985});
        test::addLinkedRows(*m_connection, u"线1"_s, rows);
        m_accounts.enabled = true;
        Accounts(*m_connection, m_accounts).changePassword(u"admin"_s, u"123456"_s, kPassword);
        AuditTrail::configure(m_database, u"线1"_s);
        AuditTrail::configured()->setOperator(u"张三"_s);

        m_window = std::make_unique<StatisticsWindow>();
        m_window->setStation(m_connection.get(), QualitySettings{}, m_folder, {0, 480, 960}, 3);
        m_window->setLegalKeys(SettingsAudit::legalKeys());
        m_window->findChild<QComboBox*>(u"modelBox"_s)->setCurrentText(u"白糖-1kg"_s);
        // The range runs to tomorrow, so that the audit rows written now are within it.
        m_window->findChild<QDateEdit*>(u"fromDate"_s)->setDate(QDate(2024, 7, 15));
        m_window->findChild<QTimeEdit*>(u"fromTime"_s)->setTime(QTime(0, 0));
        m_window->findChild<QDateEdit*>(u"toDate"_s)->setDate(QDate::currentDate().addDays(1));
        m_window->findChild<QTimeEdit*>(u"toTime"_s)->setTime(QTime(23, 59, 59));
    }
    void TearDown() override {
        m_window.reset();
        AuditTrail::unconfigure();
    }

    void showRange() {
        m_window->findChild<QComboBox*>(u"sourceBox"_s)->setCurrentIndex(1);
        m_window->findChild<QPushButton*>(u"showButton"_s)->click();
    }
    QStringList pdfs() const { return QDir(m_folder).entryList({u"*.pdf"_s}); }
    QString pdfText(const QString& name) const {
        QProcess text;
        text.start(u"pdftotext"_s, {m_folder + u'/' + name, u"-"_s});
        text.waitForFinished(30000);
        return QString::fromUtf8(text.readAllStandardOutput());
    }
    int signatureRows() {
        QSqlQuery query(m_connection->database());
        EXPECT_TRUE(query.exec(u"select count(*) from audit where 事件 = '签名'"_s) && query.next());
        return query.value(0).toInt();
    }
    void wireSignatureCheck() {
        m_window->setSignatureCheck([this](const QString& signer, const QString& password) {
            SignatureCheck(*m_connection, m_accounts, AuditTrail::configured()).verify(signer, password);
        });
    }

    std::unique_ptr<test::TempDir> m_dir;
    QString m_folder, m_database;
    std::unique_ptr<TADOConnection> m_connection;
    AccountSettings m_accounts;
    std::unique_ptr<StatisticsWindow> m_window;
};

TEST_F(StatisticsSigningTest, AnEditedRowOfTheRangeShowsTheRedWarningAndTheReportPrintsIt) {
    AuditTrail::write(audit_event::kModelChanged, u"白糖-1kg"_s, u"1.000"_s, u"1.000"_s);
    AuditTrail::write(audit_event::kSetting, u"[算法] 取样"_s, u"峰值"_s, u"稳定"_s);
    AuditTrail::write(audit_event::kSetting, u"[统计] 班次"_s, u"00:00"_s, u"06:00"_s); // no bearing on a verdict
    test::MessageBoxRecorder boxes;
    showRange();
    ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes.front().text.toStdString();
    auto* warning = m_window->findChild<QLabel*>(u"ChainWarning"_s);
    EXPECT_TRUE(warning->isHidden());
    EXPECT_TRUE(m_window->chainWarning().isEmpty());
    EXPECT_EQ(m_window->legalCounterText(), u"法定相关设置事件计数器：线1 2（本时段 2 次）"_s);
    EXPECT_EQ(SettingsAudit::legalCounter(*AuditTrail::configured()), 2) << "the settings window's figure";

    QSqlQuery edit(m_connection->database());
    ASSERT_TRUE(edit.exec(u"update weight set 检定结果 = '超低' where 序号 = 7"_s));
    showRange();
    EXPECT_FALSE(warning->isHidden());
    EXPECT_TRUE(m_window->chainWarning().contains(u"1 处记录未通过防篡改校验"_s))
        << m_window->chainWarning().toStdString();
    m_window->findChild<QPushButton*>(u"reportButton"_s)->click();
    ASSERT_EQ(pdfs().size(), 1u);
    const QString text = pdfText(pdfs().front());
    EXPECT_TRUE(text.contains(u"1 处记录未通过防篡改校验"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"线1 2（本时段 2 次）"_s));

    // The live batch is not read back from the table: no warning of the range with it.
    m_window->showSource(StatisticsWindow::Source::Batch);
    EXPECT_TRUE(warning->isHidden());
    EXPECT_TRUE(m_window->legalCounterText().isEmpty());
}

TEST_F(StatisticsSigningTest, ARangeIsJudgedByTheLimitsItsRowsHoldThoughTheCatalogueChangedSince) {
    QSqlQuery sql(m_connection->database());
    ASSERT_TRUE(sql.exec(u"update XH set 标准值 = 2.0, 上限值 = 2.06, 下限值 = 1.97 where 型号 = '白糖-1kg'"_s));
    showRange();
    EXPECT_TRUE(m_window->figuresText().contains(u"标称量 Qn（g）\t1000.0"_s)) << m_window->figuresText().toStdString();
    EXPECT_TRUE(m_window->batch().quantity()->passes());

    // Half the rows weighed under other limits: no one set judges the range, its lots do.
    ASSERT_TRUE(sql.exec(u"update weight set 标准值 = null, 上限值 = null, 下限值 = null where 序号 > 15"_s));
    showRange();
    bool said = false;
    for (const QLabel* label : m_window->findChildren<QLabel*>())
        said = said || label->text().contains(u"限值有变化：净含量按批判定"_s);
    EXPECT_TRUE(said);
}

TEST_F(StatisticsSigningTest, TheDialogSignsOnlyWithTheSignersPassword) {
    auto* sign = m_window->findChild<QPushButton*>(u"signReportButton"_s);
    EXPECT_TRUE(sign->isHidden()) << "no signing without a password check";
    wireSignatureCheck();
    EXPECT_FALSE(sign->isHidden());
    test::MessageBoxRecorder boxes;
    showRange();

    bool seen = false;
    QTimer::singleShot(0, m_window.get(), [&] {
        auto* dialog = qobject_cast<SignReportDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = true;
        auto* signer = dialog->findChild<QComboBox*>(u"SignerName"_s);
        auto* password = dialog->findChild<QLineEdit*>(u"SignerPassword"_s);
        EXPECT_EQ(signer->currentText(), u"张三"_s) << "the operator logged in, as a start";
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        signer->setCurrentText(u"admin"_s);
        password->setText(u"qs-2468"_s);
        dialog->findChild<QPushButton*>(u"SignButton"_s)->click();
        EXPECT_TRUE(dialog->isVisible()) << "a refused password leaves the dialog open";
        EXPECT_TRUE(password->text().isEmpty());
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes.back().text, u"签名人“admin”的密码不正确，报表未签名."_s);
        EXPECT_TRUE(pdfs().isEmpty());
        EXPECT_EQ(signatureRows(), 0);

        password->setText(kPassword);
        dialog->findChild<QComboBox*>(u"SignatureMeaning"_s)->setCurrentText(u"批准"_s);
        dialog->findChild<QPushButton*>(u"SignButton"_s)->click();
    });
    sign->click();
    ASSERT_TRUE(seen);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_TRUE(boxes.boxes.back().text.startsWith(u"报表已签名并保存："_s)) << boxes.boxes.back().text.toStdString();
    ASSERT_EQ(pdfs().size(), 1u);
    EXPECT_TRUE(pdfText(pdfs().front()).contains(u"电子签名：admin（批准）"_s));
    EXPECT_EQ(signatureRows(), 1);
    QSqlQuery row(m_connection->database());
    ASSERT_TRUE(row.exec(u"select 操作员, 新值, 站点 from audit where 事件 = '签名'"_s) && row.next());
    EXPECT_EQ(row.value(0).toString(), u"admin"_s);
    EXPECT_EQ(row.value(1).toString(), u"批准"_s);
    EXPECT_EQ(row.value(2).toString(), u"线1"_s);
    EXPECT_EQ(AuditTrail::configured()->operatorName(), u"张三"_s) << "the station's operator again";

    // 取消 signs nothing.
    QTimer::singleShot(0, m_window.get(),
                       [] { QApplication::activeModalWidget()->findChild<QPushButton*>(u"CancelButton"_s)->click(); });
    sign->click();
    EXPECT_EQ(pdfs().size(), 1u);
    EXPECT_EQ(signatureRows(), 1);
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

} // namespace
} // namespace kelvora
