#include "station/IndicatorDetector.h"

#include "weighing/FrameAssembler.h"
#include "weighing/IndicatorFamilies.h"

#include <algorithm>

namespace kelvora {

namespace {

// Counts the checked and the refused frames of one format.
class Tally : public FrameSink {
public:
    void reading(const IndicatorReading&) override { ++good; }
    void badFrame(std::string_view) override { ++bad; }
    bool convincing() const {
        return good >= IndicatorDetector::kFramesNeeded && bad * IndicatorDetector::kGoodPerBad <= good;
    }
    std::uint64_t good = 0;
    std::uint64_t bad = 0;
};

} // namespace

std::string LineChoice::parityText() const {
    return parity == ParityChoice::Even ? "Even" : parity == ParityChoice::Odd ? "Odd" : "None";
}

std::string LineChoice::text() const {
    const char parityLetter = parity == ParityChoice::Even ? 'E' : parity == ParityChoice::Odd ? 'O' : 'N';
    return std::to_string(baud) + " " + std::to_string(dataBits) + parityLetter + "1";
}

std::vector<IndicatorDetector::Candidate>
IndicatorDetector::knownFormats(std::shared_ptr<const FrameFormat> userFormat) {
    std::vector<Candidate> candidates;
    for (const IndicatorFamily& family : IndicatorFamilies::all()) {
        auto format = IndicatorFamilies::format(family.id);
        if (format && format->request().empty()) {
            candidates.push_back({std::string(family.id), std::move(format)});
        }
    }
    if (userFormat && userFormat->request().empty()) {
        candidates.push_back({std::string(IndicatorFamilies::kUser), std::move(userFormat)});
    }
    return candidates;
}

std::vector<LineChoice> IndicatorDetector::lineChoices(std::uint32_t currentBaud) {
    std::vector<std::uint32_t> bauds{currentBaud, 9600, 4800, 19200, 2400, 1200, 38400, 57600, 115200};
    std::vector<LineChoice> choices;
    for (std::size_t i = 0; i < bauds.size(); ++i) {
        if (bauds[i] < 1200 || bauds[i] > 115200 ||
            std::find(bauds.begin(), bauds.begin() + static_cast<std::ptrdiff_t>(i), bauds[i]) !=
                bauds.begin() + static_cast<std::ptrdiff_t>(i)) {
            continue;
        }
        // 8N1 first: text sent at 8N1 also reads at 7E1, while 7E1 read at 8N1 shows its parity bits.
        choices.push_back({bauds[i], ParityChoice::None, 8});
        choices.push_back({bauds[i], ParityChoice::Even, 7});
        choices.push_back({bauds[i], ParityChoice::Odd, 7});
    }
    return choices;
}

std::optional<DetectedIndicator>
IndicatorDetector::detect(LineListener& listener, const std::vector<LineChoice>& choices,
                          std::chrono::milliseconds window,
                          const std::function<void(const LineChoice&)>& progress) const {
    for (const LineChoice& choice : choices) {
        if (progress) {
            progress(choice);
        }
        std::vector<FrameAssembler> assemblers;
        std::vector<Tally> tallies(m_candidates.size());
        for (const Candidate& candidate : m_candidates) {
            assemblers.emplace_back(candidate.format);
        }
        std::optional<std::size_t> found;
        listener.listen(choice, window, [&](std::string_view bytes) {
            for (std::size_t i = 0; i < assemblers.size() && !found; ++i) {
                assemblers[i].feed(bytes, tallies[i]);
                if (tallies[i].convincing()) {
                    found = i;
                }
            }
            return found.has_value();
        });
        if (found) {
            return DetectedIndicator{m_candidates[*found].family, choice, tallies[*found].good};
        }
    }
    return std::nullopt;
}

} // namespace kelvora
