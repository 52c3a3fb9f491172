#pragma once

#include "quality/BatchQuality.h"
#include "quality/Verdict.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

/// An accuracy class of a checkweigher for prepackages: the reference class XI, XII, XIII or XIIII
/// (1 to 4) with the factor x of the standard deviation, written "XIII(1)" or "XIIII(0.5)".
struct AccuracyClass {
    int reference = 3;
    double factor = 1.0;
};
/// "XI(x)" to "XIIII(x)" with x of the form 1, 2 or 5 × 10^k (k ≤ 0) and at most 2; nothing for another
/// text.
std::optional<AccuracyClass> parseAccuracyClass(const std::string& text);
/// The class as written, "XIII(1)".
std::string accuracyClassText(const AccuracyClass& accuracy);
/// The largest mean error allowed at initial verification for a load of `loadGrams` on a scale of
/// interval e `intervalGrams`: ±0.5 e, 1 e or 1.5 e by the load in e (the class's bands).
double maxMeanError(const AccuracyClass& accuracy, double loadGrams, double intervalGrams);
/// The largest standard deviation allowed for a load: x times the X(1) table (0.48 % to 50 g, 0.24 g to
/// 100 g, 0.24 % to 200 g, 0.48 g to 300 g, 0.16 % to 500 g, 0.8 g to 1 kg, 0.08 % to 10 kg, 8 g to
/// 15 kg, 0.053 % above).
double maxStandardDeviation(const AccuracyClass& accuracy, double loadGrams);

/// What a performance check is judged by: a class, the rule that every reading's error stays within
/// T/5 of the product the line packs, or both.
struct CheckCriteria {
    std::optional<AccuracyClass> accuracy;
    double intervalGrams = 1.0;   ///< the scale interval e
    std::optional<double> tGrams; ///< T of the product: every error within T/5
};

/// A performance check: a test weight (or a reference pack) of known mass passed N times.
struct PerformanceResult {
    double referenceGrams = 0.0;
    std::vector<double> readingsGrams;
    double meanError = 0.0;                                    ///< grams
    double sd = 0.0;                                           ///< grams, divisor N − 1
    double largestError = 0.0;                                 ///< the largest |error|, grams
    std::optional<double> meanErrorLimit, sdLimit, errorLimit; ///< the limits applied
    bool passed = false;
    std::vector<std::string> failures; ///< why it failed, for the operator
};

/// Judges the readings (grams) of a weight of `referenceGrams` by `criteria`. Throws
/// std::invalid_argument for fewer than 2 readings, a reference not above zero or no criteria.
PerformanceResult judgePerformance(const std::vector<double>& readingsGrams, double referenceGrams,
                                   const CheckCriteria& criteria);

/// One pack of a challenge test: how it is made and what the station must do with it.
struct ChallengePack {
    enum class Kind { AtLower, ShortT, Short2T, OverUpper };
    Kind kind = Kind::AtLower;
    double weight = 0.0; ///< in the line's unit
    Verdict expected = Verdict::Normal;
    std::string caption; ///< "下限值", "短缺超过T", "短缺超过2T", "超过上限值"
};

/// The packs of a challenge test for a model: at the lower limit (must pass), one division below Qn − T
/// and below Qn − 2T (both short by more than the rules allow: must be rejected) and one division above
/// the upper limit (must be rejected; left out without an upper limit). Nothing where the rules do not
/// cover the nominal.
std::vector<ChallengePack> challengePacks(const QualitySettings& settings);

/// A challenge test run: the packs passed one after the other, each verdict matched to the next pack, each
/// reject to the alarm frame that must follow it before the next pack.
class ChallengeRun {
public:
    explicit ChallengeRun(std::vector<ChallengePack> packs) : m_packs(std::move(packs)) {}

    /// The verdict of the next pack; false when every pack has one already.
    bool addVerdict(Verdict verdict);
    /// An alarm frame went out (counted for the latest pack).
    void addAlarmFrame();

    bool complete() const { return m_verdicts.size() == m_packs.size(); }
    const std::vector<ChallengePack>& packs() const { return m_packs; }
    /// Per pack passed so far: its verdict and whether an alarm frame followed it.
    const std::vector<Verdict>& verdicts() const { return m_verdicts; }
    const std::vector<bool>& alarmed() const { return m_alarmed; }
    /// Every pack passed, judged as it must be, and every reject followed by an alarm frame.
    bool passed() const;
    /// Why it failed, one line per pack that went wrong.
    std::vector<std::string> failures() const;

private:
    std::vector<ChallengePack> m_packs;
    std::vector<Verdict> m_verdicts;
    std::vector<bool> m_alarmed;
};

/// Watches the bytes the station sends on its output line for alarm frames: frames "\x02+000000F0000000\r"
/// whose flags digit F has the tolerance alarm bit (4).
class AlarmFrameWatch {
public:
    /// The bytes sent; returns the alarm frames they complete.
    int add(const std::uint8_t* data, std::size_t length);

private:
    std::string m_frame;
};

} // namespace kelvora
