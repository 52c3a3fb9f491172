#pragma once

#include "simulator/IndicatorFrame.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kelvora {

/// How a capture-accuracy scenario damages the indicator's stream on its way to the station.
enum class Damage {
    CutReads,   ///< every frame in two reads, cut at each position in turn
    Garbage,    ///< 1 to 8 stray bytes (STX and digits among them) before every 5th frame
    NoiseBurst, ///< every 40th frame hit by a burst: 8 of its bytes replaced by noise
    BadCheck,   ///< every 7th frame with a weight digit changed and its check left as it was
};

const char* damageName(Damage damage);

/// One read the station gets: its bytes, the frame it belongs to, and whether that frame was damaged.
struct DamagedRead {
    std::string bytes;
    std::int64_t frame = 0;
    bool damaged = false;
};

/// The reads that carry frame number index (from 0) under the damage. Never a zero byte (the fixed
/// decoders would stop reading there, which is not what is measured).
std::vector<DamagedRead> damageFrame(const std::string& frame, std::int64_t index, Damage damage, IndicatorKind kind,
                                     std::mt19937& random);

} // namespace kelvora
