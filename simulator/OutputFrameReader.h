#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

/// What the station sent, as the outside device on the line sees it.
struct StationOutput {
    enum class Kind {
        Frame, ///< a 17-byte output frame: STX ... CR
        Xoff,  ///< the station asks the indicator to stop sending
        Xon,   ///< the station lets the indicator send again
        Stray  ///< bytes that do not form an output frame
    };
    Kind kind = Kind::Frame;
    std::string bytes; ///< the frame's or the stray bytes; empty for Xon and Xoff
};

/// Splits the bytes read from the station into output frames and flow-control characters. 0x11 and 0x13
/// are flow control wherever they occur (they never occur in an output frame); a frame starts at STX and
/// ends at the CR that makes it 17 bytes long. Keeps a partial frame across reads.
class OutputFrameReader {
public:
    static constexpr std::size_t kFrameLength = 17;
    static constexpr char kXon = 0x11;
    static constexpr char kXoff = 0x13;

    std::vector<StationOutput> feed(std::string_view bytes);
    /// Reports what is left over (a frame cut short) as stray bytes.
    std::vector<StationOutput> finish();

private:
    void flushStray(std::vector<StationOutput>& out);

    std::string m_frame;
    std::string m_stray;
};

} // namespace kelvora
