#pragma once

#include "weighing/FrameAssembler.h"

#include <memory>
#include <optional>
#include <string_view>

namespace kelvora {

/// A checked reading in the line's unit.
struct LineReading {
    ReadingState state = ReadingState::Weight;
    double weight = 0.0;   ///< in the line's unit; 0 unless state is Weight
    double division = 0.0; ///< the indicator's division in the line's unit
    std::optional<bool> stable;
};

/// The checked decoding ([仪表] 解码=完整帧): whole frames of the indicator's format, checked, read with
/// their sign, decimals, unit and states, and converted into the line's unit ([统计] 重量单位). A frame
/// without a unit is taken to be in the line's unit.
class CheckedDecoding : private FrameSink {
public:
    class Receiver {
    public:
        virtual ~Receiver() = default;
        virtual void decoded(const LineReading& reading) = 0;
        virtual void refused(std::string_view reason) = 0;
    };

    CheckedDecoding(std::shared_ptr<const FrameFormat> format, MassUnit lineUnit);

    const FrameFormat& format() const { return m_assembler.format(); }
    const FrameAssembler& assembler() const { return m_assembler; }

    /// One read's bytes; each frame they complete goes to receiver, in order.
    void feed(std::string_view bytes, Receiver& receiver);
    /// The stream starts anew (the port was opened again).
    void reset() { m_assembler.reset(); }

private:
    void reading(const IndicatorReading& reading) override;
    void badFrame(std::string_view reason) override;

    FrameAssembler m_assembler;
    MassUnit m_lineUnit;
    Receiver* m_receiver = nullptr;
};

} // namespace kelvora
