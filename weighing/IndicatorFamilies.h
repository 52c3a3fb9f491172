#pragma once

#include "weighing/FrameFormat.h"

#include <memory>
#include <span>
#include <string_view>

namespace kelvora {

/// One kind of indicator the station reads: its id in Option.ini ([仪表] 型号) and the name the settings
/// window shows.
struct IndicatorFamily {
    std::string_view id;
    std::string_view name;
};

/// The indicator families the station knows, the two of the fixed decoders first.
class IndicatorFamilies {
public:
    static constexpr std::string_view kToledo = "toledo";
    static constexpr std::string_view kYaohua = "yaohua";
    /// The user's own format, described in 仪表格式.ini beside Option.ini.
    static constexpr std::string_view kUser = "user";

    static std::span<const IndicatorFamily> all();
    /// The family with this id; nullptr for an unknown one.
    static const IndicatorFamily* find(std::string_view id);
    /// The built-in format of a family (shared, immutable); nullptr for the user's format and unknown ids.
    static std::shared_ptr<const FrameFormat> format(std::string_view id);
};

} // namespace kelvora
