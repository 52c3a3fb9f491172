#include "app/config/StationConfig.h"

#include "app/config/OptionKeys.h"
#include "app/config/ProfileFile.h"
#include "app/config/TextCodec.h"
#include "weighing/IndicatorFamilies.h"
#include "weighing/UserFormat.h"
#include "weighing/WeighingCore.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kelvora {

namespace {

const std::string kStableSampling = "稳定";
const std::string kPeakSampling = "峰值";

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

std::string text(const ProfileFile& ini, const OptionKey& key) {
    return ini.readString(std::string(key.section), std::string(key.name), std::string(key.fallback));
}

std::int32_t integer(const ProfileFile& ini, const OptionKey& key) {
    return ini.readInteger(std::string(key.section), std::string(key.name),
                           ProfileFile::parseInteger(std::string(key.fallback)).value_or(0));
}

double number(const ProfileFile& ini, const OptionKey& key, double fallback) {
    return ini.readFloat(std::string(key.section), std::string(key.name), fallback);
}

bool yesNo(const ProfileFile& ini, const OptionKey& key, bool fallback) {
    return ini.readBool(std::string(key.section), std::string(key.name), fallback);
}

bool yesNo(const ProfileFile& ini, const OptionKey& key) {
    return yesNo(ini, key, key.fallback == "1");
}

void write(ProfileFile& ini, const OptionKey& key, const std::string& value) {
    ini.writeString(std::string(key.section), std::string(key.name), value);
}

int integerIn(const ProfileFile& ini, const OptionKey& key, int low, int high) {
    const int fallback = ProfileFile::parseInteger(std::string(key.fallback)).value_or(0);
    const int value = integer(ini, key);
    return value >= low && value <= high ? value : fallback;
}

constexpr std::array<const OptionKey*, 3> kAlgorithmKeys{&option::Algorithm1, &option::Algorithm2, &option::Algorithm3};
constexpr std::array<const OptionKey*, 2> kIndicatorKeys{&option::Indicator1, &option::Indicator2};

const std::string kWholeFrames = "完整帧";

// The format of a station whose indicator format was refused: no frame is ever taken for a weight.
class RefusedFormat final : public FrameFormat {
public:
    const FrameShape& shape() const override { return m_shape; }
    const char* read(std::string_view, IndicatorReading&) const override { return "indicator format refused"; }

private:
    FrameShape m_shape{"", "\n", 0, 64};
};

// The user's format beside Option.ini, UTF-8 or GBK.
std::shared_ptr<const FrameFormat> userFormat(const std::string& iniPath) {
    const std::string path = StationConfig::userFormatPath(iniPath);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("找不到仪表格式文件：" + path);
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string text = bytes.str();
    if (!TextCodec::isValidUtf8(text)) {
        text = TextCodec::gbkToUtf8(text).value_or(text);
    }
    return std::make_shared<const UserFormat>(UserFormat::parse(text, std::filesystem::path(path).filename().string()));
}

// The checked decoding's format: with 解码=完整帧, or for a family only it reads; nothing for the fixed
// decoders. An unknown family, or a user format the station cannot use, is refused with its reason.
std::shared_ptr<const FrameFormat> indicatorFormat(const ProfileFile& ini, const std::string& iniPath,
                                                   std::int32_t indicatorType) {
    std::string model = text(ini, option::IndicatorModel);
    const bool legacy = model.empty() || model == IndicatorFamilies::kToledo || model == IndicatorFamilies::kYaohua;
    if (legacy && text(ini, option::Decoding) != kWholeFrames) {
        return nullptr;
    }
    if (model.empty()) {
        model = indicatorType == 1 ? IndicatorFamilies::kToledo : IndicatorFamilies::kYaohua;
    }
    if (IndicatorFamilies::find(model) == nullptr) {
        throw std::runtime_error("Option.ini [仪表] 型号=" + model + " 不是已知的仪表型号");
    }
    return model == IndicatorFamilies::kUser ? userFormat(iniPath) : IndicatorFamilies::format(model);
}

} // namespace

std::string StationConfig::userFormatPath(const std::string& iniPath) {
    return (std::filesystem::path(iniPath).parent_path() / "仪表格式.ini").string();
}

StationSettings StationConfig::loadMainWindow(const std::string& iniPath, WeighingState& state) {
    using namespace option;
    const ProfileFile ini(iniPath);
    StationSettings settings;
    settings.windowColor = static_cast<std::uint32_t>(integer(ini, WindowColor));
    settings.batchCountText = text(ini, BatchCount);
    settings.batchReminderText = text(ini, BatchReminder);
    state.ProductCount = integer(ini, ProductCount);
    settings.timer2Interval = integer(ini, AlarmDelay);
    settings.timer1Interval = integer(ini, AlarmDuration);
    settings.statusText = WeighingCore::statusText(settings.batchCountText, state.ProductCount);
    state.ProductThreshold = number(ini, ProductThreshold, 10.0);
    settings.commName = text(ini, PortName);
    settings.baudRate = static_cast<std::uint32_t>(integer(ini, BaudRate));
    applyParity(text(ini, Parity), settings);
    // The last algorithm key that reads yes wins.
    for (int choice = 1; choice <= 3; ++choice) {
        if (yesNo(ini, *kAlgorithmKeys[choice - 1])) {
            state.AlgorithmChoice = choice;
        }
    }
    state.IndicatorType = yesNo(ini, Indicator1) ? 1 : 2;
    std::string refused;
    try {
        state.IndicatorFormat = indicatorFormat(ini, iniPath, state.IndicatorType);
    } catch (const std::runtime_error& error) {
        refused = error.what();
        state.IndicatorFormat = std::make_shared<const RefusedFormat>();
    }
    settings.dataBits = state.IndicatorFormat && settings.parity != ParityChoice::None ? 7 : 8;
    state.LineUnit = text(ini, option::WeightUnit) == "g" ? MassUnit::Gram : MassUnit::Kilogram;
    const double pollRate = number(ini, PollRate, 10.0);
    state.PollIntervalMs = pollRate > 0.0 ? static_cast<std::int64_t>(1000.0 / std::min(pollRate, 100.0) + 0.5) : 0;
    state.SamplingChoice = text(ini, SamplingMode) == kStableSampling ? Sampling::Stable : Sampling::Peak;
    state.MinimumReadings = std::max(1, integer(ini, MinimumReadings));
    const double silenceSeconds = number(ini, SilenceSeconds, 3.0);
    state.SilenceLimitMs =
        silenceSeconds > 0.0 ? static_cast<std::int64_t>(std::min(silenceSeconds, 86400.0) * 1000.0 + 0.5) : 0;
    if (!refused.empty()) {
        throw std::runtime_error(refused);
    }
    return settings;
}

std::string StationConfig::portName(const std::string& iniPath) {
    return text(ProfileFile(iniPath), option::PortName);
}

void StationConfig::saveWindowColor(const std::string& iniPath, std::uint32_t color) {
    ProfileFile ini(iniPath);
    write(ini, option::WindowColor, std::to_string(color));
}

void StationConfig::saveProductCount(const std::string& iniPath, std::int32_t count) {
    ProfileFile ini(iniPath);
    write(ini, option::ProductCount, std::to_string(count));
}

std::optional<std::string> StationConfig::databaseConnection(const std::string& iniPath) {
    const OptionKey& key = option::DatabaseConnection;
    return ProfileFile(iniPath).readText(std::string(key.section), std::string(key.name));
}

std::optional<std::string> StationConfig::stationName(const std::string& iniPath) {
    const std::string name = text(ProfileFile(iniPath), option::StationName);
    if (name.find_first_not_of(" \t") == std::string::npos)
        return std::nullopt;
    return name;
}

std::optional<std::string> StationConfig::loadLot(const std::string& iniPath) {
    const ProfileFile ini(iniPath);
    if (!yesNo(ini, option::LotEntry))
        return std::nullopt;
    return text(ini, option::CurrentLot);
}

void StationConfig::saveLot(const std::string& iniPath, const std::string& lot) {
    ProfileFile ini(iniPath);
    write(ini, option::CurrentLot, lot);
}

AccountSettings StationConfig::loadAccounts(const std::string& iniPath) {
    using namespace option;
    const ProfileFile ini(iniPath);
    return {yesNo(ini, PersonalAccounts), integerIn(ini, LockFailures, 0, 100), integerIn(ini, LockMinutes, 0, 1440),
            integerIn(ini, IdleMinutes, 0, 1440), yesNo(ini, ReportSigning)};
}

SettingsWindowValues StationConfig::loadSettingsWindow(const std::string& iniPath) {
    using namespace option;
    const ProfileFile ini(iniPath);
    SettingsWindowValues values;
    values.comName = text(ini, PortName);
    values.baudRate = text(ini, BaudRate);
    values.parity = text(ini, Parity);
    // Selecting a radio button clears the others of its group, clearing one touches nothing else: the last
    // key that reads yes is selected, and none is when all read no; a missing key reads yes only for the
    // group's first button.
    values.algorithm = 0;
    for (int choice = 1; choice <= 3; ++choice) {
        if (yesNo(ini, *kAlgorithmKeys[choice - 1], choice == 1)) {
            values.algorithm = choice;
        }
    }
    values.indicator = 0;
    for (int choice = 1; choice <= 2; ++choice) {
        if (yesNo(ini, *kIndicatorKeys[choice - 1], choice == 1)) {
            values.indicator = choice;
        }
    }
    // A family named by 型号 is the one the station reads (1 and 2 decide only without it).
    const auto families = IndicatorFamilies::all();
    const std::string model = text(ini, IndicatorModel);
    for (std::size_t i = 0; i < families.size(); ++i) {
        if (!model.empty() && families[i].id == model) {
            values.indicator = static_cast<int>(i) + 1;
        }
    }
    values.threshold = text(ini, ProductThreshold);
    values.sampling = text(ini, SamplingMode) == kStableSampling ? 2 : 1;
    return values;
}

void StationConfig::saveSettingsWindow(const std::string& iniPath, const SettingsWindowValues& values) {
    using namespace option;
    ProfileFile ini(iniPath);
    write(ini, PortName, values.comName);
    write(ini, BaudRate, values.baudRate);
    write(ini, Parity, values.parity);
    write(ini, ProductThreshold, values.threshold);
    for (int choice = 1; choice <= 3; ++choice) {
        write(ini, *kAlgorithmKeys[choice - 1], values.algorithm == choice ? "1" : "0");
    }
    for (int choice = 1; choice <= 2; ++choice) {
        write(ini, *kIndicatorKeys[choice - 1], values.indicator == choice ? "1" : "0");
    }
    // The further families are named by 型号; a file that never had the key keeps without it for the two.
    const auto families = IndicatorFamilies::all();
    if (values.indicator > 2 && static_cast<std::size_t>(values.indicator) <= families.size()) {
        write(ini, IndicatorModel, std::string(families[static_cast<std::size_t>(values.indicator) - 1].id));
    } else if (values.indicator >= 1 && !text(ini, IndicatorModel).empty()) {
        write(ini, IndicatorModel, std::string(families[static_cast<std::size_t>(values.indicator) - 1].id));
    }
    write(ini, SamplingMode, values.sampling == 2 ? kStableSampling : kPeakSampling);
}

StatisticsSettings StationConfig::loadStatistics(const std::string& iniPath) {
    using namespace option;
    const ProfileFile ini(iniPath);
    StatisticsSettings settings;
    settings.grams = text(ini, WeightUnit) == "g";
    const double defaultDivision = settings.grams ? 1.0 : 0.001;
    const double division = number(ini, Division, defaultDivision);
    // A scale's division lies between 1 mg and 1 kg; anything else (1e-18 once overflowed the figures)
    // gives the default.
    const double divisionGrams = division * (settings.grams ? 1.0 : 1000.0);
    settings.division = divisionGrams >= 0.001 && divisionGrams <= 1000.0 ? division : defaultDivision;
    settings.subgroupSize = integerIn(ini, SubgroupSize, 2, 10);
    settings.baselineSubgroups = integerIn(ini, BaselineSubgroups, 1, 1000);
    settings.nelson = upperAscii(text(ini, RunRules)) == "NELSON";
    settings.rejectRun = integerIn(ini, RejectRun, 1, 1000);
    if (const auto starts = shiftStarts(text(ini, ShiftStarts)))
        settings.shiftStarts = *starts;
    settings.regime = text(ini, Regime);
    settings.lotByHour = text(ini, LotSplit) == "小时";
    settings.shiftCheck = yesNo(ini, ShiftCheck);
    return settings;
}

MqttSettings StationConfig::mqtt(const std::string& iniPath) {
    using namespace option;
    const ProfileFile ini(iniPath);
    const auto trimmed = [&ini](const OptionKey& key) {
        const std::string value = text(ini, key);
        const std::size_t first = value.find_first_not_of(" \t");
        if (first == std::string::npos)
            return std::string();
        return value.substr(first, value.find_last_not_of(" \t") - first + 1);
    };
    MqttSettings settings;
    settings.host = trimmed(MqttHost);
    settings.port = integer(ini, MqttPort);
    settings.user = trimmed(MqttUser);
    settings.password = text(ini, MqttPassword);
    settings.caFile = trimmed(MqttCaFile);
    settings.clientId = trimmed(MqttClientId);
    settings.prefix = trimmed(MqttPrefix);
    return settings;
}

} // namespace kelvora
