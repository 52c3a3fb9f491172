#include "simulator/OutputFrameReader.h"

namespace kelvora {

namespace {
constexpr char kStx = 0x02;
constexpr char kCr = 0x0D;
} // namespace

std::vector<StationOutput> OutputFrameReader::feed(std::string_view bytes) {
    std::vector<StationOutput> out;
    for (char c : bytes) {
        if (c == kXon || c == kXoff) {
            // Flow control takes effect at once, even in the middle of a frame.
            out.push_back({c == kXon ? StationOutput::Kind::Xon : StationOutput::Kind::Xoff, {}});
            continue;
        }
        if (c == kStx) {
            m_stray += m_frame;
            m_frame.assign(1, c);
            continue;
        }
        if (m_frame.empty()) {
            m_stray += c;
            continue;
        }
        m_frame += c;
        if (c == kCr && m_frame.size() == kFrameLength) {
            flushStray(out);
            out.push_back({StationOutput::Kind::Frame, m_frame});
            m_frame.clear();
        } else if (c == kCr || m_frame.size() >= kFrameLength) {
            m_stray += m_frame;
            m_frame.clear();
        }
    }
    flushStray(out);
    return out;
}

std::vector<StationOutput> OutputFrameReader::finish() {
    std::vector<StationOutput> out;
    m_stray += m_frame;
    m_frame.clear();
    flushStray(out);
    return out;
}

void OutputFrameReader::flushStray(std::vector<StationOutput>& out) {
    if (!m_stray.empty()) {
        out.push_back({StationOutput::Kind::Stray, m_stray});
        m_stray.clear();
    }
}

} // namespace kelvora
