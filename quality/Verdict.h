#pragma once

#include <optional>
#include <string_view>

namespace kelvora {

/// A judged product's verdict: above the upper limit, in tolerance, below the lower limit.
enum class Verdict { Over, Normal, Under };

/// "超高", "正常" or "超低"; nothing for any other text.
inline std::optional<Verdict> parseVerdict(std::string_view text) {
    if (text == "超高")
        return Verdict::Over;
    if (text == "正常")
        return Verdict::Normal;
    if (text == "超低")
        return Verdict::Under;
    return std::nullopt;
}

} // namespace kelvora
