#pragma once

#include <cstdint>
#include <string>

namespace kelvora {

/// The station's state as the feed publishes it, retained, on …/state.
struct StationStatus {
    bool running = false;
    std::string model;
    double nominal = 0.0;
    double lower = 0.0;
    double upper = 0.0;
    std::int64_t count = 0;
    std::string operatorName;
    bool indicatorOnline = true;
    bool databaseOnline = true;
    /// Verdicts kept in the journal that the database has not stored yet.
    std::int64_t databaseWaiting = 0;

    bool operator==(const StationStatus&) const = default;
};

/// One alert as the station raised it: its kind (a short English word for programs), the local time,
/// and the operator's text.
struct StationAlert {
    std::string kind;
    std::string time;
    std::string text;
};

} // namespace kelvora
