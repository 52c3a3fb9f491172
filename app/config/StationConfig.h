#pragma once

#include "weighing/WeighingState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

enum class ParityChoice { None, Odd, Even };

/// What the main window takes from Option.ini besides the weighing state.
struct StationSettings {
    /// 0x00BBGGRR.
    std::uint32_t windowColor = 16053492;
    /// LabeledEdit1, the batch count value.
    std::string batchCountText = "0";
    /// LabeledEdit2, the batch reminder value.
    std::string batchReminderText = "0";
    /// Edit3 at start: 共<batch count>个产品，此产品是第<ProductCount>个.
    std::string statusText;
    /// Alarm duration and alarm delay, milliseconds.
    int timer1Interval = 1000;
    int timer2Interval = 1000;
    /// Comm1's port settings.
    std::string commName = "Com1";
    std::uint32_t baudRate = 9600;
    ParityChoice parity = ParityChoice::None;
    bool parityCheck = false;
    /// 8; 7 with the checked decoding and a parity (indicators send 7E1 or 7O1, as 识别仪表 proposes).
    int dataBits = 8;
};

/// The settings window's fields: the three port texts and the threshold text as shown, and which radio
/// button of each group is selected (0 none; algorithm 1 to 3; indicator 1 Toledo, 2 Yaohua, 3 and up the
/// further families in the order of IndicatorFamilies::all(); sampling
/// 1 峰值取样, the peak capture, 2 稳定取样, the stable capture).
struct SettingsWindowValues {
    std::string comName = "Com1";
    std::string baudRate = "9600";
    std::string parity = "None";
    std::string threshold = "10.000";
    int algorithm = 1;
    int indicator = 1;
    int sampling = 1;
};

/// The live feed's broker, section MQTT; the feed is off while host is empty.
struct MqttSettings {
    std::string host;
    int port = 1883;
    std::string user;
    std::string password;
    std::string caFile;   ///< TLS against this CA certificate when set
    std::string clientId; ///< empty: the feed makes one of the station's name
    std::string prefix;   ///< empty: kelvora/<the station's name>
};

/// The statistics' settings, section 统计. A missing key, or a value out of its range, gives the default.
struct StatisticsSettings {
    bool grams = false;                        ///< 重量单位: "g" when the line weighs in grams, else "kg"
    double division = 0.001;                   ///< 分度值, the scale division in the line's unit (1 for g)
    int subgroupSize = 5;                      ///< 子组大小, 2 to 10
    int baselineSubgroups = 20;                ///< 基准子组, 1 to 1000
    bool nelson = false;                       ///< 判异规则: "Nelson", else the Western Electric rules
    int rejectRun = 3;                         ///< 连续剔除, the run of rejects that alerts, 1 to 1000
    std::vector<int> shiftStarts{0, 480, 960}; ///< 班次, "HH:MM,HH:MM,...": the shifts' starts, minutes
    std::string regime = "中国";               ///< 法规: 中国, 欧盟 or OIML (anything else 中国)
    bool lotByHour = false;                    ///< 批次: "小时" cuts lots per hour, else per shift
    bool shiftCheck = false;                   ///< 开班检查: Start needs a passing check of the shift
};

/// How a station with accounts treats its users, section 安全 (a value out of its range gives the fallback).
struct AccountSettings {
    bool enabled = false;       ///< 账户=1: personal accounts; otherwise the login compares as it always did
    int maxFailures = 5;        ///< 失败次数: failed logins in a row that lock the user (0: never), up to 100
    int lockMinutes = 5;        ///< 锁定分钟, up to a day
    int idleMinutes = 15;       ///< 空闲分钟: no input for this long logs out (0: never), up to a day
    bool reportSigning = false; ///< 报表签名=1: the statistics window offers 签名报表
};

/// The reads and writes of Option.ini. Every function opens the file for its own use; writes throw
/// ProfileWriteError ("Unable to write to <path>") when the file cannot be written.
class StationConfig {
public:
    /// The main window's load: fills ProductCount, ProductThreshold, AlgorithmChoice (only when some
    /// algorithm key reads yes; otherwise it keeps its value), IndicatorType, SamplingChoice (算法/取样
    /// "稳定" the stable capture; missing or anything else the peak capture), MinimumReadings (算法/最少读数,
    /// default 3, at least 1) and SilenceLimitMs (仪表/无数据报警 in seconds, default 3, 0 or less: off),
    /// and returns the rest. The checked decoding's format (IndicatorFormat) comes from 仪表/解码 and 型号
    /// (the user's format from userFormatPath()); the line's unit from 统计/重量单位; the polled family's
    /// interval from 仪表/查询频率. An unknown 型号 or a bad user format throws std::runtime_error whose
    /// message names the key or the format file's line, once everything else is loaded; the state's format
    /// then refuses every frame, so that no weight is read until the file is mended.
    /// Missing or unconvertible values give the defaults; a parity other than None/Odd/Even gives no
    /// parity and no checking.
    static StationSettings loadMainWindow(const std::string& iniPath, WeighingState& state);

    /// The user's indicator format: 仪表格式.ini beside Option.ini.
    static std::string userFormatPath(const std::string& iniPath);

    /// 软件/背景色 as a decimal integer.
    static void saveWindowColor(const std::string& iniPath, std::uint32_t color);
    /// Word/SC_Num as a decimal integer.
    static void saveProductCount(const std::string& iniPath, std::int32_t count);

    /// 串行口/ComName as the file says now (default "Com1").
    static std::string portName(const std::string& iniPath);

    /// 站点/名称 when it is set and not blank.
    static std::optional<std::string> stationName(const std::string& iniPath);
    /// The main window's lot number (批号): nullopt when the station has no field for it ([站点] 输入批号
    /// not set), otherwise the lot last used.
    static std::optional<std::string> loadLot(const std::string& iniPath);
    /// Remembers the lot number for the next start; throws when the file cannot be written.
    static void saveLot(const std::string& iniPath, const std::string& lot);
    /// Section 安全.
    static AccountSettings loadAccounts(const std::string& iniPath);

    /// 数据库/连接; nothing when the file, section or key is missing.
    static std::optional<std::string> databaseConnection(const std::string& iniPath);

    /// The settings window's load: a radio group shows the last of its keys that reads yes, or none; the
    /// sampling group shows 2 for 算法/取样 "稳定" and 1 otherwise.
    static SettingsWindowValues loadSettingsWindow(const std::string& iniPath);
    /// The settings window's save, key by key in the window's order; a failing key stops the save and the
    /// keys after it are not written. The sampling choice goes last, as 算法/取样 "稳定" (2) or "峰值".
    static void saveSettingsWindow(const std::string& iniPath, const SettingsWindowValues& values);

    /// The statistics' settings; shift starts are sorted, a list with any bad entry gives the default.
    static StatisticsSettings loadStatistics(const std::string& iniPath);

    /// The section MQTT, values trimmed; a port that is not a whole number gives 1883 (the client refuses
    /// one out of range with its own message).
    static MqttSettings mqtt(const std::string& iniPath);
};

} // namespace kelvora
