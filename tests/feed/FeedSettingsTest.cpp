#include "app/config/StationConfig.h"
#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

class FeedSettingsTest : public test::TempDirTest {};

TEST_F(FeedSettingsTest, AFileWithoutTheSectionOrWithAnEmptyHostHasNoFeed) {
    writeBytes("[站点]\n名称=线1\n");
    EXPECT_TRUE(StationConfig::mqtt(m_ini).host.empty());
    EXPECT_EQ(StationConfig::mqtt(m_ini).port, 1883);
    writeBytes("[MQTT]\nHost=  \nPort=1884\n");
    EXPECT_TRUE(StationConfig::mqtt(m_ini).host.empty());
    EXPECT_TRUE(StationConfig::mqtt((m_dir / "missing.ini").string()).host.empty());
}

TEST_F(FeedSettingsTest, ValuesAreTrimmedAndABadPortGivesTheDefault) {
    writeBytes("[MQTT]\nHost= broker.plant \nPort=abc\nUser= line1 \nPassword= p w \nCAFile= /etc/ca.pem\n"
               "ClientId=cw-1\nPrefix= plant/hall2/线1 \n");
    const MqttSettings s = StationConfig::mqtt(m_ini);
    EXPECT_EQ(s.host, "broker.plant");
    EXPECT_EQ(s.port, 1883);
    EXPECT_EQ(s.user, "line1");
    EXPECT_EQ(s.password, "p w"); // the profile trims every value, inner blanks stay
    EXPECT_EQ(s.caFile, "/etc/ca.pem");
    EXPECT_EQ(s.clientId, "cw-1");
    EXPECT_EQ(s.prefix, "plant/hall2/线1");
}

} // namespace
} // namespace kelvora
