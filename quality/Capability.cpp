#include "quality/Capability.h"

#include <algorithm>

namespace kelvora {

Capability capability(double mean, double sigma, double lower, std::optional<double> upper) {
    Capability result;
    if (!(sigma > 0.0))
        return result;
    result.cpl = (mean - lower) / (3.0 * sigma);
    if (upper) {
        result.cpu = (*upper - mean) / (3.0 * sigma);
        result.cp = (*upper - lower) / (6.0 * sigma);
        result.cpk = std::min(*result.cpl, *result.cpu);
    }
    return result;
}

} // namespace kelvora
