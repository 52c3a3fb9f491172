#pragma once

#include <optional>

namespace kelvora {

/// Process capability indices of values with mean μ and standard deviation σ against a lower limit L
/// and, where it applies, an upper limit U: CPL = (μ − L)/3σ, CPU = (U − μ)/3σ, Cp = (U − L)/6σ,
/// Cpk = min(CPL, CPU). Only CPL exists without an upper limit; nothing exists for σ ≤ 0.
struct Capability {
    std::optional<double> cp;
    std::optional<double> cpk;
    std::optional<double> cpl;
    std::optional<double> cpu;
};

Capability capability(double mean, double sigma, double lower, std::optional<double> upper);

} // namespace kelvora
