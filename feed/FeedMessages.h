#pragma once

#include "feed/StationStatus.h"
#include "feed/VerdictJournal.h"

#include <string>

namespace kelvora {

/// The topics of one station under its prefix and their JSON payloads (UTF-8, one object each):
///   <prefix>/verdict  every verdict (QoS 1)
///   <prefix>/state    the station's state, retained; the last will says offline
///   <prefix>/figures  the live lot's figures (built by LotFigures), retained
///   <prefix>/alert    each alert (QoS 1)
class FeedMessages {
public:
    FeedMessages(std::string prefix, std::string station);

    std::string topic(const char* name) const { return m_prefix + "/" + name; }
    const std::string& station() const { return m_station; }

    std::string verdict(const WeighingRecord& verdict) const;
    /// The state of an online station at time.
    std::string state(const StationStatus& status, const std::string& time) const;
    /// The state of a station that has gone: the last will, and what a station that closes publishes.
    std::string offline(const std::string& time) const;
    std::string alert(const StationAlert& alert) const;

    /// The default prefix "kelvora/<station>", with the characters a topic level must not hold ('/', '+',
    /// '#') replaced by '_'.
    static std::string defaultPrefix(const std::string& station);

private:
    std::string m_prefix;
    std::string m_station;
};

} // namespace kelvora
