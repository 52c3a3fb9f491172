#include "app/config/StationConfig.h"

#include "app/config/ProfileFile.h"
#include "weighing/WeighingCore.h"

#include <algorithm>

namespace kelvora {

namespace {

const std::string kSoftware = "软件";
const std::string kWord = "Word";
const std::string kClock = "时钟";
const std::string kThreshold = "下限值";
const std::string kSerial = "串行口";
const std::string kAlgorithm = "算法";
const std::string kIndicator = "仪表";
const std::string kDatabase = "数据库";
const std::string kSampling = "取样";
const std::string kStableSampling = "稳定";
const std::string kPeakSampling = "峰值";
const std::string kStatistics = "统计";

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

void applyParity(const std::string& text, StationSettings& settings) {
    const std::string upper = upperAscii(text);
    if (upper == "NONE") {
        settings.parity = ParityChoice::None;
        settings.parityCheck = false;
    } else if (upper == "ODD") {
        settings.parity = ParityChoice::Odd;
        settings.parityCheck = true;
    } else if (upper == "EVEN") {
        settings.parity = ParityChoice::Even;
        settings.parityCheck = true;
    }
}

// "HH:MM,HH:MM,..." as minutes after midnight, sorted; nothing when an entry is not a time.
std::optional<std::vector<int>> shiftStarts(const std::string& text) {
    std::vector<int> starts;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        const std::string entry = text.substr(from, comma - from);
        const std::size_t colon = entry.find(':');
        const auto hours =
            colon == std::string::npos ? std::nullopt : ProfileFile::parseInteger(entry.substr(0, colon));
        const auto minutes =
            colon == std::string::npos ? std::nullopt : ProfileFile::parseInteger(entry.substr(colon + 1));
        if (!hours || !minutes || *hours < 0 || *hours > 23 || *minutes < 0 || *minutes > 59 ||
            entry.size() - colon != 3)
            return std::nullopt;
        starts.push_back(*hours * 60 + *minutes);
        from = comma + 1;
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return starts;
}

int integerIn(const ProfileFile& ini, const std::string& key, int fallback, int low, int high) {
    const int value = ini.readInteger(kStatistics, key, fallback);
    return value >= low && value <= high ? value : fallback;
}

} // namespace

StationSettings StationConfig::loadMainWindow(const std::string& iniPath, WeighingState& state) {
    const ProfileFile ini(iniPath);
    StationSettings settings;
    settings.windowColor = static_cast<std::uint32_t>(ini.readInteger(kSoftware, "背景色", 16053492));
    settings.batchCountText = ini.readString(kWord, "Num", "0");
    settings.batchReminderText = ini.readString(kWord, "TX_Num", "0");
    state.ProductCount = ini.readInteger(kWord, "SC_Num", 0);
    settings.timer2Interval = ini.readInteger(kClock, "开始输出", 1000);
    settings.timer1Interval = ini.readInteger(kClock, "输出时长", 1000);
    settings.statusText = WeighingCore::statusText(settings.batchCountText, state.ProductCount);
    state.ProductThreshold = ini.readFloat(kThreshold, "Value", 10.0);
    settings.commName = ini.readString(kSerial, "ComName", "Com1");
    settings.baudRate = static_cast<std::uint32_t>(ini.readInteger(kSerial, "Baudrate", 9600));
    applyParity(ini.readString(kSerial, "Parity", "None"), settings);
    // The last algorithm key that reads yes wins.
    for (int choice = 1; choice <= 3; ++choice) {
        if (ini.readBool(kAlgorithm, std::to_string(choice), true)) {
            state.AlgorithmChoice = choice;
        }
    }
    state.IndicatorType = ini.readBool(kIndicator, "1", true) ? 1 : 2;
    state.SamplingChoice =
        ini.readString(kAlgorithm, kSampling, "") == kStableSampling ? Sampling::Stable : Sampling::Peak;
    state.MinimumReadings = std::max(1, ini.readInteger(kAlgorithm, "最少读数", 3));
    const double silenceSeconds = ini.readFloat(kIndicator, "无数据报警", 3.0);
    state.SilenceLimitMs =
        silenceSeconds > 0.0 ? static_cast<std::int64_t>(std::min(silenceSeconds, 86400.0) * 1000.0 + 0.5) : 0;
    return settings;
}

std::string StationConfig::portName(const std::string& iniPath) {
    return ProfileFile(iniPath).readString(kSerial, "ComName", "Com1");
}

void StationConfig::saveWindowColor(const std::string& iniPath, std::uint32_t color) {
    ProfileFile(iniPath).writeInteger(kSoftware, "背景色", color);
}

void StationConfig::saveProductCount(const std::string& iniPath, std::int32_t count) {
    ProfileFile(iniPath).writeInteger(kWord, "SC_Num", count);
}

std::optional<std::string> StationConfig::databaseConnection(const std::string& iniPath) {
    return ProfileFile(iniPath).readText(kDatabase, "连接");
}

SettingsWindowValues StationConfig::loadSettingsWindow(const std::string& iniPath) {
    const ProfileFile ini(iniPath);
    SettingsWindowValues values;
    values.comName = ini.readString(kSerial, "ComName", "Com1");
    values.baudRate = ini.readString(kSerial, "Baudrate", "9600");
    values.parity = ini.readString(kSerial, "Parity", "None");
    // Selecting a radio button clears the others of its group, clearing one touches nothing else: the last
    // key that reads yes is selected, and none is when all read no.
    values.algorithm = 0;
    for (int choice = 1; choice <= 3; ++choice) {
        if (ini.readBool(kAlgorithm, std::to_string(choice), choice == 1)) {
            values.algorithm = choice;
        }
    }
    values.indicator = 0;
    for (int choice = 1; choice <= 2; ++choice) {
        if (ini.readBool(kIndicator, std::to_string(choice), choice == 1)) {
            values.indicator = choice;
        }
    }
    values.threshold = ini.readString(kThreshold, "Value", "10.000");
    values.sampling = ini.readString(kAlgorithm, kSampling, "") == kStableSampling ? 2 : 1;
    return values;
}

void StationConfig::saveSettingsWindow(const std::string& iniPath, const SettingsWindowValues& values) {
    ProfileFile ini(iniPath);
    ini.writeString(kSerial, "ComName", values.comName);
    ini.writeString(kSerial, "Baudrate", values.baudRate);
    ini.writeString(kSerial, "Parity", values.parity);
    ini.writeString(kThreshold, "Value", values.threshold);
    for (int choice = 1; choice <= 3; ++choice) {
        ini.writeBool(kAlgorithm, std::to_string(choice), values.algorithm == choice);
    }
    for (int choice = 1; choice <= 2; ++choice) {
        ini.writeBool(kIndicator, std::to_string(choice), values.indicator == choice);
    }
    ini.writeString(kAlgorithm, kSampling, values.sampling == 2 ? kStableSampling : kPeakSampling);
}

StatisticsSettings StationConfig::loadStatistics(const std::string& iniPath) {
    const ProfileFile ini(iniPath);
    StatisticsSettings settings;
    settings.grams = ini.readString(kStatistics, "重量单位", "kg") == "g";
    const double division = ini.readFloat(kStatistics, "分度值", settings.grams ? 1.0 : 0.001);
    settings.division = division > 0.0 && division < 1e6 ? division : (settings.grams ? 1.0 : 0.001);
    settings.subgroupSize = integerIn(ini, "子组大小", 5, 2, 10);
    settings.baselineSubgroups = integerIn(ini, "基准子组", 20, 1, 1000);
    settings.nelson = upperAscii(ini.readString(kStatistics, "判异规则", "")) == "NELSON";
    settings.rejectRun = integerIn(ini, "连续剔除", 3, 1, 1000);
    if (const auto starts = shiftStarts(ini.readString(kStatistics, "班次", "00:00,08:00,16:00")))
        settings.shiftStarts = *starts;
    return settings;
}

} // namespace kelvora
