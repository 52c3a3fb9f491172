#pragma once

#include "weighing/FrameFormat.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kelvora {

/// Receives what FrameAssembler finds in the stream, in the stream's order.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    /// A frame that passed every check of its format.
    virtual void reading(const IndicatorReading& reading) = 0;
    /// A frame that failed (reason from the format, or the assembler's own: "stray bytes", "too long").
    virtual void badFrame(std::string_view reason) = 0;
};

/// Cuts a byte stream, however its reads split it, into whole frames of one format and has each one
/// checked; a frame is never read from a part of itself.
///
/// With a start marker, bytes before it are skipped: silently until the first frame (the stream was
/// joined in the middle of one) and right after a failed frame, as one bad frame "stray bytes" otherwise.
/// A failed frame gives up only its start marker, so that a frame cut short and followed by a whole one
/// costs one bad frame, not two. Without a start marker a frame ends at the end marker. Until the first
/// frame passes after reset() the stream was joined in the middle of something (a frame, line noise, a
/// wrong line setting): what fails before it is dropped without a count. Anything longer than the
/// format's longest frame without its end is a bad frame "too long". Holds at most about twice the
/// longest frame plus the last read.
class FrameAssembler {
public:
    explicit FrameAssembler(std::shared_ptr<const FrameFormat> format);

    const FrameFormat& format() const { return *m_format; }

    /// The bytes of one read, in the stream's order; frames completed by them go to sink.
    void feed(std::string_view bytes, FrameSink& sink);
    /// Forgets the bytes held (the port was closed): the next bytes are a stream joined anew.
    void reset();

    std::uint64_t frames() const { return m_frames; }
    std::uint64_t badFrames() const { return m_badFrames; }

private:
    /// One step over the bytes held; false when more bytes are needed.
    bool step(FrameSink& sink);
    bool stepWithStart(FrameSink& sink);
    bool stepWithoutStart(FrameSink& sink);
    /// Reports the candidate frame read last (reason as FrameFormat::read gave it; a failure only once a
    /// frame has passed since reset()).
    void deliver(const char* reason, FrameSink& sink);
    void bad(std::string_view reason, FrameSink& sink);

    std::shared_ptr<const FrameFormat> m_format;
    std::string m_buffer;
    std::size_t m_pos = 0; ///< first byte of m_buffer not yet used
    bool m_synced = false; ///< a frame has passed since reset()
    bool m_afterBad = false;
    std::uint64_t m_frames = 0;
    std::uint64_t m_badFrames = 0;
    IndicatorReading m_reading;
};

} // namespace kelvora
