#include "weighing/IndicatorFamilies.h"

#include "weighing/AsciiLineFormat.h"
#include "weighing/SicsFormat.h"
#include "weighing/ToledoFormat.h"
#include "weighing/YaohuaFormat.h"
#include "weighing/YaohuaReversedFormat.h"

#include <array>

namespace kelvora {

namespace {

constexpr std::array kFamilies{
    IndicatorFamily{IndicatorFamilies::kToledo, "托利多系列"},
    IndicatorFamily{IndicatorFamilies::kYaohua, "耀华系列"},
    IndicatorFamily{"toledo-nocheck", "托利多系列（无校验和）"},
    IndicatorFamily{"yaohua-reversed", "耀华系列（逆序连续输出）"},
    IndicatorFamily{"ascii-line", "通用文本行（ST,GS）"},
    IndicatorFamily{"sics", "查询式（SI 命令）"},
    IndicatorFamily{IndicatorFamilies::kUser, "自定义（仪表格式.ini）"},
};

} // namespace

std::span<const IndicatorFamily> IndicatorFamilies::all() {
    return kFamilies;
}

const IndicatorFamily* IndicatorFamilies::find(std::string_view id) {
    for (const IndicatorFamily& family : kFamilies) {
        if (family.id == id) {
            return &family;
        }
    }
    return nullptr;
}

std::shared_ptr<const FrameFormat> IndicatorFamilies::format(std::string_view id) {
    // Formats keep no state: one object of each serves every decoder.
    static const auto toledo = std::make_shared<const ToledoFormat>(true);
    static const auto toledoPlain = std::make_shared<const ToledoFormat>(false);
    static const auto yaohua = std::make_shared<const YaohuaFormat>();
    static const auto reversed = std::make_shared<const YaohuaReversedFormat>();
    static const auto ascii = std::make_shared<const AsciiLineFormat>();
    static const auto sics = std::make_shared<const SicsFormat>();
    const std::array<std::shared_ptr<const FrameFormat>, 6> formats{toledo, yaohua, toledoPlain, reversed, ascii, sics};
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (kFamilies[i].id == id) {
            return formats[i];
        }
    }
    return nullptr;
}

} // namespace kelvora
