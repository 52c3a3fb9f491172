#include "quality/PerformanceCheck.h"

#include "quality/RunningStatistics.h"
#include "weighing/WeighingState.h"

#include <cmath>
#include <cstdio>
#include <regex>
#include <stdexcept>

namespace kelvora {

namespace {

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string verdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Over:
        return "超高";
    case Verdict::Normal:
        return "正常";
    case Verdict::Under:
        return "超低";
    }
    return {};
}

} // namespace

std::optional<AccuracyClass> parseAccuracyClass(const std::string& text) {
    static const std::regex pattern(R"(X(I{1,4})\(([0-9.]+)\))");
    std::smatch match;
    if (!std::regex_match(text, match, pattern))
        return std::nullopt;
    char* end = nullptr;
    const std::string factorText = match[2].str();
    const double factor = std::strtod(factorText.c_str(), &end);
    if (end != factorText.c_str() + factorText.size() || !(factor > 0.0) || factor > 2.0)
        return std::nullopt;
    // 1, 2 or 5 × 10^k: the mantissa of the decimal form.
    const double mantissa = factor / std::pow(10.0, std::floor(std::log10(factor) + 1e-9));
    if (std::fabs(mantissa - 1.0) > 1e-9 && std::fabs(mantissa - 2.0) > 1e-9 && std::fabs(mantissa - 5.0) > 1e-9)
        return std::nullopt;
    return AccuracyClass{static_cast<int>(match[1].length()), factor};
}

std::string accuracyClassText(const AccuracyClass& accuracy) {
    char factor[32];
    std::snprintf(factor, sizeof factor, "%g", accuracy.factor);
    return "X" + std::string(static_cast<std::size_t>(accuracy.reference), 'I') + "(" + factor + ")";
}

double maxMeanError(const AccuracyClass& accuracy, double loadGrams, double intervalGrams) {
    // 2014/32/EU Annex VIII (MI-006) chapter II 4.1 table 1 (as OIML R 51-1:2006): the loads in e
    // at which the mean error may grow from 0.5 e to 1 e and to 1.5 e, per reference class.
    static const double kBands[4][2] = {{50000, 200000}, {5000, 20000}, {500, 2000}, {50, 200}};
    const double inE = loadGrams / intervalGrams;
    const auto& band = kBands[accuracy.reference - 1];
    const double e = inE <= band[0] ? 0.5 : (inE <= band[1] ? 1.0 : 1.5);
    return e * intervalGrams;
}

double maxStandardDeviation(const AccuracyClass& accuracy, double loadGrams) {
    // MI-006 chapter II 4.2 (as OIML R 51-1:2006), class X(1), times the factor x.
    struct Band {
        double upTo, value;
        bool percent;
    };
    static constexpr Band kBands[] = {{50, 0.48, true},    {100, 0.24, false}, {200, 0.24, true},
                                      {300, 0.48, false},  {500, 0.16, true},  {1000, 0.8, false},
                                      {10000, 0.08, true}, {15000, 8, false},  {INFINITY, 0.053, true}};
    for (const Band& band : kBands)
        if (loadGrams <= band.upTo)
            return accuracy.factor * (band.percent ? loadGrams * band.value / 100.0 : band.value);
    return 0.0;
}

PerformanceResult judgePerformance(const std::vector<double>& readingsGrams, double referenceGrams,
                                   const CheckCriteria& criteria) {
    if (readingsGrams.size() < 2)
        throw std::invalid_argument("a performance check needs at least 2 readings");
    if (!(referenceGrams > 0.0))
        throw std::invalid_argument("the test weight must be above zero");
    if (!criteria.accuracy && !criteria.tGrams)
        throw std::invalid_argument("a performance check needs a class or the T/5 rule");
    PerformanceResult result;
    result.referenceGrams = referenceGrams;
    result.readingsGrams = readingsGrams;
    RunningStatistics errors;
    for (double reading : readingsGrams) {
        errors.add(reading - referenceGrams);
        result.largestError = std::fmax(result.largestError, std::fabs(reading - referenceGrams));
    }
    result.meanError = errors.mean();
    result.sd = errors.standardDeviation();
    if (criteria.accuracy) {
        result.meanErrorLimit = maxMeanError(*criteria.accuracy, referenceGrams, criteria.intervalGrams);
        result.sdLimit = maxStandardDeviation(*criteria.accuracy, referenceGrams);
        if (std::fabs(result.meanError) > *result.meanErrorLimit + 1e-9)
            result.failures.push_back("平均误差" + fixed(result.meanError, 2) + " g超出±" +
                                      fixed(*result.meanErrorLimit, 2) + " g");
        if (result.sd > *result.sdLimit + 1e-9)
            result.failures.push_back("标准差" + fixed(result.sd, 3) + " g超出" + fixed(*result.sdLimit, 3) + " g");
    }
    if (criteria.tGrams) {
        result.errorLimit = *criteria.tGrams / 5.0;
        if (result.largestError > *result.errorLimit + 1e-9)
            result.failures.push_back("最大误差" + fixed(result.largestError, 2) + " g超出T/5（" +
                                      fixed(*result.errorLimit, 2) + " g）");
    }
    result.passed = result.failures.empty();
    return result;
}

std::vector<ChallengePack> challengePacks(const QualitySettings& settings) {
    const auto limits = quantityLimits(settings.regime, settings.nominal * gramsPer(settings.unit));
    if (!limits)
        return {};
    const double toUnit = 1.0 / gramsPer(settings.unit);
    const double d = settings.division;
    std::vector<ChallengePack> packs{
        {ChallengePack::Kind::AtLower, settings.lower, Verdict::Normal, "下限值"},
        {ChallengePack::Kind::ShortT, limits->tu1 * toUnit - d, Verdict::Under, "短缺超过T"},
        {ChallengePack::Kind::Short2T, limits->tu2 * toUnit - d, Verdict::Under, "短缺超过2T"},
    };
    if (settings.upper > settings.lower)
        packs.push_back({ChallengePack::Kind::OverUpper, settings.upper + d, Verdict::Over, "超过上限值"});
    return packs;
}

bool ChallengeRun::addVerdict(Verdict verdict) {
    if (complete())
        return false;
    m_verdicts.push_back(verdict);
    m_alarmed.push_back(false);
    return true;
}

void ChallengeRun::addAlarmFrame() {
    if (!m_alarmed.empty())
        m_alarmed.back() = true;
}

bool ChallengeRun::passed() const {
    return complete() && failures().empty();
}

std::vector<std::string> ChallengeRun::failures() const {
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < m_verdicts.size(); ++i) {
        const ChallengePack& pack = m_packs[i];
        if (m_verdicts[i] != pack.expected)
            failures.push_back(pack.caption + "：判为" + verdictName(m_verdicts[i]) + "，应为" +
                               verdictName(pack.expected));
        else if (pack.expected != Verdict::Normal && !m_alarmed[i])
            failures.push_back(pack.caption + "：剔除后没有发出报警信号");
    }
    if (!complete())
        failures.push_back("还有" + std::to_string(m_packs.size() - m_verdicts.size()) + "件测试包未通过");
    return failures;
}

int AlarmFrameWatch::add(const std::uint8_t* data, std::size_t length) {
    static constexpr std::size_t kLength = 17; // STX + "+000000" + flags + "0000000" + CR
    int alarms = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char byte = static_cast<char>(data[i]);
        if (byte == '\x02')
            m_frame.clear();
        m_frame += byte;
        if (m_frame.size() > kLength) {
            m_frame.clear();
            continue;
        }
        if (byte != '\r' || m_frame.size() != kLength || m_frame.compare(0, 8, "\x02+000000") != 0)
            continue;
        const char flags = m_frame[8];
        if (flags >= '0' && flags <= '9' && ((flags - '0') & kToleranceAlarmBit) != 0)
            ++alarms;
        m_frame.clear();
    }
    return alarms;
}

} // namespace kelvora
