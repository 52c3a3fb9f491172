#include "feed/StationPublisher.h"

#include "station/StationRuntime.h"
#include "tests/support/FakeStationHost.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"

#include <algorithm>
#include <fstream>
#include <thread>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;

QJsonObject parsed(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

// A recording station (a fake host around a real runtime, journal and SQLite database) whose
// Option.ini names a broker.
class StationPublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(m_ini) << "[站点]\n名称=线7\n[MQTT]\nHost=127.0.0.1\nPort=" << m_broker.port() << "\n";
        StationRuntime::RecordingOptions options;
        options.target = QString::fromStdString(m_dir.file("records.db"));
        options.iniPath = m_ini;
        options.timeText = [] { return std::string("2026-05-04 08:00:00"); };
        m_runtime.startRecording(std::move(options));
        m_host.texts[Control::ComboBox1] = "大米-5kg";
        m_host.texts[Control::Et1] = "5.000";
        m_host.texts[Control::Et2] = "5.150";
        m_host.texts[Control::Et3] = "4.925";
        m_host.texts[Control::Edit2] = "5.020";
    }
    std::unique_ptr<StationPublisher> start() {
        return StationPublisher::start(
            m_runtime, m_host, m_ini, journalFileFor(QString::fromStdString(m_dir.file("records.db"))),
            [this] { return m_running; }, [this](const std::string& error) { m_errors.push_back(error); });
    }
    QJsonObject lastState() const { return parsed(m_subscriber.payloads("kelvora/线7/state").back()); }

    static inline int s_argc = 1;
    static inline char s_name[] = "StationPublisherTest";
    static inline char* s_argv[] = {s_name, nullptr};
    QCoreApplication m_application{s_argc, s_argv};
    test::TempDir m_dir;
    std::string m_ini = m_dir.file("Option.ini");
    test::MosquittoBroker m_broker;
    test::MqttSubscriber m_subscriber{m_broker.port(), "kelvora/#"};
    test::FakeStationHost m_host;
    StationRuntime m_runtime{m_host};
    bool m_running = false;
    std::vector<std::string> m_errors;
};

TEST_F(StationPublisherTest, PublishesTheStationsVerdictsAndItsStateWhenItChanges) {
    const auto publisher = start();
    ASSERT_TRUE(publisher);
    ASSERT_TRUE(m_subscriber.waitForCount("kelvora/线7/state", 1));
    EXPECT_FALSE(lastState()[u"running"].toBool(true));
    EXPECT_EQ(lastState()[u"model"].toString(), QStringLiteral("大米-5kg"));
    EXPECT_EQ(lastState()[u"upper"].toDouble(), 5.15);

    m_running = true;
    m_runtime.recordVerdict("正常", "张三");
    m_runtime.productOver();
    ASSERT_TRUE(m_subscriber.waitForCount("kelvora/线7/verdict", 1));
    const QJsonObject verdict = parsed(m_subscriber.payloads("kelvora/线7/verdict")[0]);
    EXPECT_EQ(verdict[u"station"].toString(), QStringLiteral("线7"));
    EXPECT_EQ(verdict[u"weight"].toDouble(), 5.02);
    EXPECT_EQ(verdict[u"operator"].toString(), QStringLiteral("张三"));
    ASSERT_TRUE(m_subscriber.waitFor([](const auto& all) {
        return std::any_of(all.begin(), all.end(), [](const auto& message) {
            return message.topic == "kelvora/线7/state" && parsed(message.payload)[u"running"].toBool();
        });
    }));
    EXPECT_EQ(lastState()[u"operator"].toString(), QStringLiteral("张三"));

    // Looking again at an unchanged station publishes nothing.
    const std::size_t states = m_subscriber.payloads("kelvora/线7/state").size();
    publisher->refresh();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(m_subscriber.payloads("kelvora/线7/state").size(), states);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(StationPublisherTest, NoFeedWithoutAHostAndAClearMessageForABadBroker) {
    std::ofstream(m_ini) << "[MQTT]\nHost=\n";
    EXPECT_FALSE(start());
    std::ofstream(m_ini) << "[MQTT]\nHost=127.0.0.1\nPort=70000\n";
    EXPECT_FALSE(start());
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_NE(m_errors[0].find("MQTT 设置有误"), std::string::npos) << m_errors[0];
    std::ofstream(m_ini) << "[MQTT]\nHost=127.0.0.1\nCAFile=" << m_dir.file("missing-ca.pem") << "\n";
    EXPECT_FALSE(start());
    EXPECT_EQ(m_errors.size(), 2u);
}

} // namespace
} // namespace kelvora
