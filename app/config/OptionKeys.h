#pragma once

#include <span>
#include <string_view>

namespace kelvora {

/// One key of Option.ini, described once: where it lives, what it holds, what a file without it gives,
/// and what `station init` writes for a new station. Every read of the key goes through StationConfig
/// with this description; `station init` writes the keys whose newStation is set, in the table's order.
struct OptionKey {
    enum class Kind {
        Text,    ///< any text
        Integer, ///< a decimal integer
        Number,  ///< a decimal number
        YesNo,   ///< "1" yes, "0" no (the profile's boolean rule)
    };
    std::string_view section;
    std::string_view name;
    Kind kind;
    /// The value a file without the key gives.
    std::string_view fallback;
    /// The value a new station's file holds; nullptr: `station init` does not write the key.
    const char* newStation = nullptr;
};

namespace option {

using K = OptionKey::Kind;

// The main window's and the settings window's keys.
inline constexpr OptionKey WindowColor{"软件", "背景色", K::Integer, "16053492", "16053492"};
inline constexpr OptionKey BatchCount{"Word", "Num", K::Text, "0", "0"};
inline constexpr OptionKey BatchReminder{"Word", "TX_Num", K::Text, "0", "0"};
inline constexpr OptionKey ProductCount{"Word", "SC_Num", K::Integer, "0", "0"};
inline constexpr OptionKey AlarmDelay{"时钟", "开始输出", K::Integer, "1000", "1000"};
inline constexpr OptionKey AlarmDuration{"时钟", "输出时长", K::Integer, "1000", "1000"};
inline constexpr OptionKey ProductThreshold{"下限值", "Value", K::Number, "10.000", "10.000"};
inline constexpr OptionKey PortName{"串行口", "ComName", K::Text, "Com1", "Com1"};
inline constexpr OptionKey BaudRate{"串行口", "Baudrate", K::Integer, "9600", "9600"};
inline constexpr OptionKey Parity{"串行口", "Parity", K::Text, "None", "None"};
/// The three algorithm radio keys. The station reads a missing key as yes (so the last of them decides);
/// the settings window shows the first selected when none is written.
inline constexpr OptionKey Algorithm1{"算法", "1", K::YesNo, "1", "1"};
inline constexpr OptionKey Algorithm2{"算法", "2", K::YesNo, "1", "0"};
inline constexpr OptionKey Algorithm3{"算法", "3", K::YesNo, "1", "0"};
/// "稳定" the stable capture; anything else the peak capture.
inline constexpr OptionKey SamplingMode{"算法", "取样", K::Text, "峰值", "稳定"};
inline constexpr OptionKey MinimumReadings{"算法", "最少读数", K::Integer, "3", "3"};
/// The indicator radio keys: 1 reads yes for the first family, otherwise the second.
inline constexpr OptionKey Indicator1{"仪表", "1", K::YesNo, "1", "1"};
inline constexpr OptionKey Indicator2{"仪表", "2", K::YesNo, "0", "0"};
/// "完整帧": whole frames checked and read with their sign, decimals, unit and states; anything else the
/// fixed decoders of 1 and 2.
inline constexpr OptionKey Decoding{"仪表", "解码", K::Text, "", "完整帧"};
/// The indicator family read with whole frames (toledo, yaohua, toledo-nocheck, yaohua-reversed,
/// ascii-line, sics, user); empty: 1 and 2 choose between the first two.
inline constexpr OptionKey IndicatorModel{"仪表", "型号", K::Text, ""};
/// The polled family's requests a second.
inline constexpr OptionKey PollRate{"仪表", "查询频率", K::Number, "10"};
/// Seconds without a reading before the operator is told; 0 or less: never.
inline constexpr OptionKey SilenceSeconds{"仪表", "无数据报警", K::Number, "3", "3"};
/// The database's connection string; empty: database.mdb beside the program.
inline constexpr OptionKey DatabaseConnection{"数据库", "连接", K::Text, ""};
/// The station's name in its records (and wherever stations are told apart); empty: the host name.
inline constexpr OptionKey StationName{"站点", "名称", K::Text, "", ""};
/// Whether the main window has the field 批号, whose text the rows of a run carry from its Start or Continue.
inline constexpr OptionKey LotEntry{"站点", "输入批号", K::YesNo, "0", "1"};
/// The lot number last used, shown again at the next start; the station writes it.
inline constexpr OptionKey CurrentLot{"站点", "当前批号", K::Text, "", ""};

// The statistics' keys: a value out of its range gives the fallback.
inline constexpr OptionKey WeightUnit{"统计", "重量单位", K::Text, "kg"};
/// The scale division; a file without it gives 0.001 for kg and 1 for g.
inline constexpr OptionKey Division{"统计", "分度值", K::Number, ""};
inline constexpr OptionKey SubgroupSize{"统计", "子组大小", K::Integer, "5"};
inline constexpr OptionKey BaselineSubgroups{"统计", "基准子组", K::Integer, "20"};
inline constexpr OptionKey RunRules{"统计", "判异规则", K::Text, ""};
inline constexpr OptionKey RejectRun{"统计", "连续剔除", K::Integer, "3"};
inline constexpr OptionKey ShiftStarts{"统计", "班次", K::Text, "00:00,08:00,16:00"};
/// The net-content rules: 中国, 欧盟 or OIML; anything else 中国.
inline constexpr OptionKey Regime{"统计", "法规", K::Text, "中国", "中国"};
/// How lots are cut: 班次 (a model's products of one shift) or 小时 (of one hour).
inline constexpr OptionKey LotSplit{"统计", "批次", K::Text, "班次", "班次"};
/// 1: Start is refused until a passing performance check of the current shift is stored.
inline constexpr OptionKey ShiftCheck{"统计", "开班检查", K::YesNo, "0", "0"};

// The live feed over MQTT: off while Host is empty (a new station's file has the section, Host empty).
inline constexpr OptionKey MqttHost{"MQTT", "Host", K::Text, "", ""};
inline constexpr OptionKey MqttPort{"MQTT", "Port", K::Integer, "1883", "1883"};
inline constexpr OptionKey MqttUser{"MQTT", "User", K::Text, "", ""};
inline constexpr OptionKey MqttPassword{"MQTT", "Password", K::Text, "", ""};
/// A CA certificate file: TLS to the broker when set.
inline constexpr OptionKey MqttCaFile{"MQTT", "CAFile", K::Text, "", ""};
/// Empty: kelvora-<the station's name>.
inline constexpr OptionKey MqttClientId{"MQTT", "ClientId", K::Text, "", ""};
/// The topics' prefix; empty: kelvora/<the station's name>.
inline constexpr OptionKey MqttPrefix{"MQTT", "Prefix", K::Text, "", ""};

// Personal accounts: off in a file without the section; a new station has them.
inline constexpr OptionKey PersonalAccounts{"安全", "账户", K::YesNo, "0", "1"};
/// Failed logins in a row that lock the user; 0: never.
inline constexpr OptionKey LockFailures{"安全", "失败次数", K::Integer, "5", "5"};
inline constexpr OptionKey LockMinutes{"安全", "锁定分钟", K::Integer, "5", "5"};
/// Minutes without input before the logout; 0: never.
inline constexpr OptionKey IdleMinutes{"安全", "空闲分钟", K::Integer, "15", "15"};
/// 1: the statistics window offers 签名报表, the report signed after the signer's password.
inline constexpr OptionKey ReportSigning{"安全", "报表签名", K::YesNo, "0", "1"};

} // namespace option

/// Every key, in the order of a new station's file (keys of one section together).
std::span<const OptionKey* const> allOptionKeys();

} // namespace kelvora
