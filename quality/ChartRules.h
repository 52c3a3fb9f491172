#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kelvora {

/// Which run rules a control chart applies.
enum class RuleSet { WesternElectric, Nelson };

/// The run rules. A point's position is z = (value − centre) / σ; "beyond kσ" means |z| > k on one side,
/// and the counts of points beyond 2σ or 1σ include the points further out.
enum class ChartRule {
    Beyond3Sigma,        ///< one point beyond 3σ (both sets)
    TwoOfThreeBeyond2,   ///< 2 of 3 in a row beyond 2σ on one side (both sets)
    FourOfFiveBeyond1,   ///< 4 of 5 in a row beyond 1σ on one side (both sets)
    EightOnOneSide,      ///< 8 in a row on one side of the centre (Western Electric)
    NineOnOneSide,       ///< 9 in a row on one side of the centre (Nelson)
    SixTrending,         ///< 6 in a row steadily rising or falling (Nelson)
    FourteenAlternating, ///< 14 in a row alternating up and down (Nelson)
    FifteenWithin1,      ///< 15 in a row within 1σ of the centre, either side (Nelson)
    EightOutside1,       ///< 8 in a row beyond 1σ, on both sides, none within (Nelson)
};

/// The most points a rule of either set looks at, the point itself included (FifteenWithin1).
constexpr std::size_t kLongestRun = 15;

/// The rule's caption, as the windows and the report name it.
std::string ruleCaption(ChartRule rule);

/// The rules of `set` that the point `index` of the series `z` breaks: those whose run of points ends
/// at that point, the point itself counting toward the run. Points after `index` are not looked at.
std::vector<ChartRule> rulesBrokenAt(const std::vector<double>& z, std::size_t index, RuleSet set);

} // namespace kelvora
