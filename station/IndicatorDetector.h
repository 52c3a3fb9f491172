#pragma once

#include "app/config/StationConfig.h"
#include "weighing/FrameFormat.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

/// One way the line may be set: baud rate, parity and data bits (8N1, 7E1, 7O1; one stop bit).
struct LineChoice {
    std::uint32_t baud = 9600;
    ParityChoice parity = ParityChoice::None;
    int dataBits = 8;

    /// "9600 8N1".
    std::string text() const;
    /// The settings window's parity text: "None", "Even" or "Odd".
    std::string parityText() const;
};

/// Where the detector hears the line. Never writes to it: an outside device listens there.
class LineListener {
public:
    virtual ~LineListener() = default;
    /// Sets the line to choice and hands what arrives to bytes until window has passed or bytes returns
    /// true (enough heard). Throws std::runtime_error when the port cannot be used.
    virtual void listen(const LineChoice& choice, std::chrono::milliseconds window,
                        const std::function<bool(std::string_view)>& bytes) = 0;
};

/// What the detector proposes.
struct DetectedIndicator {
    std::string family; ///< the id of IndicatorFamilies
    LineChoice line;
    std::uint64_t frames = 0; ///< checked frames heard
};

/// "Find my indicator": listens at each common line setting in turn and tries every known continuous
/// format on what it hears; proposes the first setting and format that give kFramesNeeded checked frames
/// with at most one bad frame for every kGoodPerBad good ones (the first frame heard may be cut). A polled
/// indicator cannot be found this way: it speaks only when asked, and the detector never writes.
class IndicatorDetector {
public:
    static constexpr std::uint64_t kFramesNeeded = 4;
    static constexpr std::uint64_t kGoodPerBad = 4;

    struct Candidate {
        std::string family;
        std::shared_ptr<const FrameFormat> format;
    };

    /// The built-in continuous families, the user's format (when given) last.
    static std::vector<Candidate> knownFormats(std::shared_ptr<const FrameFormat> userFormat = nullptr);
    /// 1200 to 115200 baud, each at 8N1, 7E1 and 7O1; the line's current baud rate first, then the common
    /// ones before the rare.
    static std::vector<LineChoice> lineChoices(std::uint32_t currentBaud);

    explicit IndicatorDetector(std::vector<Candidate> candidates) : m_candidates(std::move(candidates)) {}

    /// Tries the choices in order, each for up to window; progress (when set) is told each choice first.
    std::optional<DetectedIndicator> detect(LineListener& listener, const std::vector<LineChoice>& choices,
                                            std::chrono::milliseconds window = std::chrono::seconds(2),
                                            const std::function<void(const LineChoice&)>& progress = {}) const;

private:
    std::vector<Candidate> m_candidates;
};

} // namespace kelvora
