#include "quality/ChartRules.h"

#include <cmath>

namespace kelvora {

namespace {

int sideOf(double z) {
    return z > 0.0 ? 1 : (z < 0.0 ? -1 : 0);
}

// Whether at least `needed` of the `window` points ending at `index` lie beyond `sigmas` on the side of
// the point at `index`, which must itself be beyond.
bool manyBeyond(const std::vector<double>& z, std::size_t index, std::size_t window, std::size_t needed,
                double sigmas) {
    const int side = sideOf(z[index]);
    if (std::fabs(z[index]) <= sigmas || index + 1 < needed)
        return false;
    std::size_t found = 0;
    const std::size_t first = index + 1 >= window ? index + 1 - window : 0;
    for (std::size_t i = first; i <= index; ++i)
        if (sideOf(z[i]) == side && std::fabs(z[i]) > sigmas)
            ++found;
    return found >= needed;
}

// Whether the `length` points ending at `index` all satisfy `test(i)`.
template <typename Test> bool runOf(std::size_t index, std::size_t length, Test test) {
    if (index + 1 < length)
        return false;
    for (std::size_t i = index + 1 - length; i <= index; ++i)
        if (!test(i))
            return false;
    return true;
}

bool oneSide(const std::vector<double>& z, std::size_t index, std::size_t length) {
    const int side = sideOf(z[index]);
    return side != 0 && runOf(index, length, [&](std::size_t i) { return sideOf(z[i]) == side; });
}

bool trending(const std::vector<double>& z, std::size_t index) {
    if (index < 5)
        return false;
    const int direction = sideOf(z[index] - z[index - 1]);
    return direction != 0 && runOf(index - 1, 5, [&](std::size_t i) { return sideOf(z[i + 1] - z[i]) == direction; });
}

bool alternating(const std::vector<double>& z, std::size_t index) {
    // 14 points make 13 steps, each opposite to the one before.
    return index >= 13 && runOf(index - 1, 12, [&](std::size_t i) {
               const int step = sideOf(z[i + 1] - z[i]);
               const int before = sideOf(z[i] - z[i - 1]);
               return step != 0 && step == -before;
           });
}

bool outsideBothSides(const std::vector<double>& z, std::size_t index) {
    if (!runOf(index, 8, [&](std::size_t i) { return std::fabs(z[i]) > 1.0; }))
        return false;
    bool above = false, below = false;
    for (std::size_t i = index - 7; i <= index; ++i)
        (z[i] > 0.0 ? above : below) = true;
    return above && below;
}

} // namespace

std::string ruleCaption(ChartRule rule) {
    switch (rule) {
    case ChartRule::Beyond3Sigma:
        return "1点超出3σ";
    case ChartRule::TwoOfThreeBeyond2:
        return "连续3点中2点同侧超出2σ";
    case ChartRule::FourOfFiveBeyond1:
        return "连续5点中4点同侧超出1σ";
    case ChartRule::EightOnOneSide:
        return "连续8点在中心线同侧";
    case ChartRule::NineOnOneSide:
        return "连续9点在中心线同侧";
    case ChartRule::SixTrending:
        return "连续6点递增或递减";
    case ChartRule::FourteenAlternating:
        return "连续14点交替上下";
    case ChartRule::FifteenWithin1:
        return "连续15点在1σ以内";
    case ChartRule::EightOutside1:
        return "连续8点在1σ以外且两侧都有";
    }
    return {};
}

std::vector<ChartRule> rulesBrokenAt(const std::vector<double>& z, std::size_t index, RuleSet set) {
    std::vector<ChartRule> broken;
    if (index >= z.size())
        return broken;
    if (std::fabs(z[index]) > 3.0)
        broken.push_back(ChartRule::Beyond3Sigma);
    if (manyBeyond(z, index, 3, 2, 2.0))
        broken.push_back(ChartRule::TwoOfThreeBeyond2);
    if (manyBeyond(z, index, 5, 4, 1.0))
        broken.push_back(ChartRule::FourOfFiveBeyond1);
    if (set == RuleSet::WesternElectric) {
        if (oneSide(z, index, 8))
            broken.push_back(ChartRule::EightOnOneSide);
        return broken;
    }
    if (oneSide(z, index, 9))
        broken.push_back(ChartRule::NineOnOneSide);
    if (trending(z, index))
        broken.push_back(ChartRule::SixTrending);
    if (alternating(z, index))
        broken.push_back(ChartRule::FourteenAlternating);
    if (runOf(index, kLongestRun, [&](std::size_t i) { return std::fabs(z[i]) <= 1.0; }))
        broken.push_back(ChartRule::FifteenWithin1);
    if (outsideBothSides(z, index))
        broken.push_back(ChartRule::EightOutside1);
    return broken;
}

} // namespace kelvora
