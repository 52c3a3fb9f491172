#include "bench/StreamDamage.h"

namespace kelvora {

namespace {

char noiseByte(std::mt19937& random) {
    static constexpr char kNasty[] = "\x02\x03\r\n+-=0123456789.";
    if (random() % 3 == 0) {
        return kNasty[random() % (sizeof kNasty - 1)];
    }
    return static_cast<char>(1 + random() % 255);
}

} // namespace

const char* damageName(Damage damage) {
    switch (damage) {
    case Damage::CutReads:
        return "reads cut at every position";
    case Damage::Garbage:
        return "garbage between frames";
    case Damage::NoiseBurst:
        return "bursts of line noise";
    case Damage::BadCheck:
        return "wrong checksums";
    }
    return "";
}

std::vector<DamagedRead> damageFrame(const std::string& frame, std::int64_t index, Damage damage, IndicatorKind kind,
                                     std::mt19937& random) {
    switch (damage) {
    case Damage::CutReads: {
        const auto cut = static_cast<std::size_t>(1 + index % static_cast<std::int64_t>(frame.size() - 1));
        return {{frame.substr(0, cut), index, false}, {frame.substr(cut), index, false}};
    }
    case Damage::Garbage:
        if (index % 5 == 0) {
            std::string garbage(1 + random() % 8, ' ');
            for (char& c : garbage) {
                c = noiseByte(random);
            }
            return {{garbage + frame, index, false}};
        }
        break;
    case Damage::NoiseBurst:
        if (index % 40 == 0) {
            std::string hit = frame;
            for (int i = 0; i < 8; ++i) {
                hit[random() % hit.size()] = noiseByte(random);
            }
            return {{hit, index, hit != frame}};
        }
        break;
    case Damage::BadCheck:
        if (index % 7 == 0) {
            // The weight's second digit (Toledo: the first the fixed decoder reads; Yaohua: its second).
            std::string bad = frame;
            const std::size_t at = kind == IndicatorKind::Toledo ? 5 : 3;
            bad[at] = bad[at] == '2' ? '3' : '2';
            return {{bad, index, true}};
        }
        break;
    }
    return {{frame, index, false}};
}

} // namespace kelvora
