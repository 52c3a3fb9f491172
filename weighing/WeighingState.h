#pragma once

#include "weighing/FrameFormat.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace kelvora {

/// Bits of SignalFlags.
inline constexpr std::int32_t kBatchReminderBit = 1;
inline constexpr std::int32_t kToleranceAlarmBit = 4;

/// Which capture weighs the products: the peak capture, or the stable capture (weighing/StableCapture.h).
enum class Sampling { Peak = 1, Stable = 2 };

/// The main window's weighing fields, shared by decoding, capture, signalling and run control.
struct WeighingState {
    /// [0] newest .. [4] oldest; shifted by every sample above ProductThreshold, never cleared.
    std::array<double, 5> SampleWindow{};
    /// 1 after an in-tolerance capture; 0 on every sample at or below the threshold, and at Start/Continue.
    std::int32_t CaptureLatch = 0;
    /// Subtracted from every decoded weight; set by Zero.
    double ZeroOffset = 0.0;
    /// A sample above it is a product on the platform.
    double ProductThreshold = 10.0;
    /// 1 Toledo, any other value Yaohua.
    std::int32_t IndicatorType = 1;
    /// The checked decoding's format ([仪表] 解码=完整帧); nothing: the fixed decoders of IndicatorType.
    std::shared_ptr<const FrameFormat> IndicatorFormat;
    /// The line's unit ([统计] 重量单位), into which the checked decoding converts every reading.
    MassUnit LineUnit = MassUnit::Kilogram;
    /// How often a polled indicator (a format with a request) is asked for a reading, in ms; 0 never.
    std::int64_t PollIntervalMs = 100;
    /// The settings' precision algorithm choice; no step reads it.
    std::int32_t AlgorithmChoice = 0;
    /// The capture in use: Option.ini 算法/取样 "稳定" is the stable capture, anything else the peak capture.
    Sampling SamplingChoice = Sampling::Peak;
    /// The stable capture's fewest readings of a product (算法/最少读数); a shorter run is a disturbance.
    std::int32_t MinimumReadings = 3;
    /// How long the open port may go without a decoded reading before the indicator counts as silent
    /// (仪表/无数据报警, in ms here); 0 never.
    std::int64_t SilenceLimitMs = 3000;
    /// In-tolerance products counted in the current batch.
    std::int32_t ProductCount = 0;
    /// Bit 0 batch reminder, bit 2 tolerance alarm.
    std::int32_t SignalFlags = 0;
    /// [0] the chunk before the previous one, [1] the previous chunk (Yaohua decoding only). Raw bytes.
    std::array<std::string, 2> ChunkHistory{};
};

} // namespace kelvora
