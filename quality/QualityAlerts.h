#pragma once

#include "quality/BatchQuality.h"
#include "quality/Verdict.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kelvora {

/// What an alert is about.
enum class AlertKind {
    RejectRun, ///< N products in a row out of tolerance
    BelowTu2,  ///< a package below TU2 that was judged 正常 (it left the line)
    Tu1Share,  ///< the share below TU1 of the packs that left the line has passed 2.5 %
    ChartRule, ///< the newest X̄ point breaks a run rule
};

/// One alert, with the time of the product that raised it and a caption for the operator.
struct QualityAlert {
    AlertKind kind = AlertKind::RejectRun;
    std::string time; ///< the product's "YYYY-MM-DD HH:MM:SS"
    std::string text;
};

/// Watches one batch product by product and raises the alerts a quality manager wants to see at once.
/// Each condition alerts when it arises, not at every product while it lasts: a run of rejects at its
/// Nth product, the TU1 share when it passes 2.5 % (again only after it has fallen back to 2.5 % or
/// less), a package below TU2 and a broken run rule at each occurrence.
class QualityAlerts {
public:
    static constexpr int kDefaultRejectRun = 3;

    /// Throws std::invalid_argument for a run length below 1.
    explicit QualityAlerts(int rejectRun = kDefaultRejectRun);

    int rejectRun() const { return m_rejectRun; }
    /// To be called after `batch` has counted the product (weight in the line's unit): the alerts this
    /// product raises, in the order of AlertKind.
    std::vector<QualityAlert> check(const BatchQuality& batch, double weight, Verdict verdict, const std::string& time);

private:
    int m_rejectRun;
    int m_rejects = 0; // out of tolerance in a row
    bool m_tu1ShareExceeded = false;
    std::size_t m_pointsSeen = 0; // X̄ points already looked at
};

} // namespace kelvora
