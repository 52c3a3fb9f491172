#include "weighing/FrameAssembler.h"

namespace kelvora {

FrameAssembler::FrameAssembler(std::shared_ptr<const FrameFormat> format) : m_format(std::move(format)) {
    m_buffer.reserve(4 * m_format->shape().maxLength + 256);
}

void FrameAssembler::reset() {
    m_buffer.clear();
    m_pos = 0;
    m_synced = false;
    m_afterBad = false;
}

void FrameAssembler::feed(std::string_view bytes, FrameSink& sink) {
    m_buffer.append(bytes);
    while (step(sink)) {
    }
    // The used bytes are dropped once they are the larger part, so that appending stays cheap.
    if (m_pos > 0 && m_pos * 2 >= m_buffer.size()) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
}

bool FrameAssembler::step(FrameSink& sink) {
    return m_format->shape().start.empty() ? stepWithoutStart(sink) : stepWithStart(sink);
}

bool FrameAssembler::stepWithStart(FrameSink& sink) {
    const FrameShape& shape = m_format->shape();
    std::string_view data(m_buffer.data() + m_pos, m_buffer.size() - m_pos);
    const std::size_t begin = data.find(shape.start);
    if (begin != 0) {
        // A start marker split between reads keeps its first bytes.
        const std::size_t skip =
            begin != std::string_view::npos ? begin : data.size() - std::min(data.size(), shape.start.size() - 1);
        m_pos += skip;
        if (skip > 0 && m_synced && !m_afterBad) {
            bad("stray bytes", sink);
        }
        if (begin == std::string_view::npos) {
            return false;
        }
        data.remove_prefix(skip);
    }
    std::size_t length = shape.length;
    if (length == 0) {
        const std::size_t end = data.find(shape.end, shape.start.size());
        if (end == std::string_view::npos) {
            if (data.size() < shape.maxLength) {
                return false;
            }
            m_pos += shape.start.size();
            deliver("too long", sink);
            return true;
        }
        length = end + shape.end.size();
    } else if (data.size() < length) {
        return false;
    }
    const std::string_view frame = data.substr(0, length);
    const bool ended = shape.end.empty() || frame.substr(length - shape.end.size()) == shape.end;
    const char* reason = length > shape.maxLength ? "too long" : !ended ? "end" : m_format->read(frame, m_reading);
    // A frame that passed is used up; one that failed gives up its start marker only. The position moves
    // before the frame is reported, so that a failure further on never has the frame read twice.
    m_pos += reason == nullptr || reason == FrameFormat::kNoReading ? length : shape.start.size();
    deliver(reason, sink);
    return true;
}

bool FrameAssembler::stepWithoutStart(FrameSink& sink) {
    const FrameShape& shape = m_format->shape();
    const std::string_view data(m_buffer.data() + m_pos, m_buffer.size() - m_pos);
    const std::size_t end = data.find(shape.end);
    if (end == std::string_view::npos) {
        if (data.size() <= shape.maxLength) {
            return false;
        }
        // Keep the bytes that may begin the end marker.
        const bool report = m_synced;
        m_pos += data.size() - (shape.end.size() - 1);
        m_synced = false;
        if (report) {
            bad("too long", sink);
        }
        return true;
    }
    const std::size_t length = end + shape.end.size();
    const char* reason = length > shape.maxLength ? "too long" : m_format->read(data.substr(0, length), m_reading);
    m_pos += length;
    deliver(reason, sink);
    return true;
}

void FrameAssembler::deliver(const char* reason, FrameSink& sink) {
    if (reason == nullptr || reason == FrameFormat::kNoReading) {
        // Until the first whole frame the stream was joined in the middle of one: nothing before counts.
        m_synced = true;
        m_afterBad = false;
        if (reason == nullptr) {
            ++m_frames;
            sink.reading(m_reading);
        }
    } else if (m_synced) {
        bad(reason, sink);
    } else {
        m_afterBad = true; // what follows a dropped candidate is its rest, not stray bytes
    }
}

void FrameAssembler::bad(std::string_view reason, FrameSink& sink) {
    ++m_badFrames;
    m_afterBad = true;
    sink.badFrame(reason);
}

} // namespace kelvora
