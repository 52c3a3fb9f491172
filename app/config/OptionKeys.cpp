#include "app/config/OptionKeys.h"

#include <array>

namespace kelvora {

std::span<const OptionKey* const> allOptionKeys() {
    using namespace option;
    // One key a line, in the order of a new station's file.
    // clang-format off
    static constexpr std::array kKeys{
        &WindowColor,
        &BatchCount,
        &BatchReminder,
        &ProductCount,
        &AlarmDelay,
        &AlarmDuration,
        &ProductThreshold,
        &PortName,
        &BaudRate,
        &Parity,
        &Algorithm1,
        &Algorithm2,
        &Algorithm3,
        &SamplingMode,
        &MinimumReadings,
        &Indicator1,
        &Indicator2,
        &Decoding,
        &IndicatorModel,
        &PollRate,
        &SilenceSeconds,
        &DatabaseConnection,
        &StationName,
        &LotEntry,
        &CurrentLot,
        &WeightUnit,
        &Division,
        &SubgroupSize,
        &BaselineSubgroups,
        &RunRules,
        &RejectRun,
        &ShiftStarts,
        &Regime,
        &LotSplit,
        &ShiftCheck,
        &MqttHost,
        &MqttPort,
        &MqttUser,
        &MqttPassword,
        &MqttCaFile,
        &MqttClientId,
        &MqttPrefix,
        &PersonalAccounts,
        &LockFailures,
        &LockMinutes,
        &IdleMinutes,
        &ReportSigning,
    };
    // clang-format on
    return kKeys;
}

} // namespace kelvora
