#include "feed/FeedMessages.h"

#include "feed/JsonText.h"

namespace kelvora {

FeedMessages::FeedMessages(std::string prefix, std::string station)
    : m_prefix(std::move(prefix)), m_station(std::move(station)) {}

std::string FeedMessages::verdict(const WeighingRecord& v) const {
    return JsonText()
        .add("time", v.time)
        .add("station", v.station.empty() ? m_station : v.station)
        .add("seq", v.seq)
        .add("model", v.model)
        .add("weight", v.weight)
        .add("verdict", v.verdict)
        .add("nominal", v.standard)
        .add("lower", v.lower)
        .add("upper", v.upper)
        .add("lot", v.lot)
        .add("operator", v.operatorName)
        .text();
}

std::string FeedMessages::state(const StationStatus& s, const std::string& time) const {
    return JsonText()
        .add("time", time)
        .add("station", m_station)
        .add("online", true)
        .add("running", s.running)
        .add("model", s.model)
        .add("nominal", s.nominal)
        .add("lower", s.lower)
        .add("upper", s.upper)
        .add("count", s.count)
        .add("operator", s.operatorName)
        .add("indicatorOnline", s.indicatorOnline)
        .add("databaseOnline", s.databaseOnline)
        .add("databaseWaiting", s.databaseWaiting)
        .text();
}

std::string FeedMessages::offline(const std::string& time) const {
    JsonText json;
    if (!time.empty()) {
        json.add("time", time);
    }
    return json.add("station", m_station).add("online", false).text();
}

std::string FeedMessages::alert(const StationAlert& a) const {
    return JsonText().add("time", a.time).add("station", m_station).add("kind", a.kind).add("text", a.text).text();
}

std::string FeedMessages::defaultPrefix(const std::string& station) {
    std::string level = station;
    for (char& c : level) {
        if (c == '/' || c == '+' || c == '#') {
            c = '_';
        }
    }
    return "kelvora/" + level;
}

} // namespace kelvora
