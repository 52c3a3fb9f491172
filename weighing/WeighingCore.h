#pragma once

#include "weighing/CheckedDecoding.h"
#include "weighing/OutputLine.h"
#include "weighing/PollSchedule.h"
#include "weighing/StableCapture.h"
#include "weighing/StationHost.h"
#include "weighing/WeighingState.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kelvora {

/// The check-weighing steps of the main window: decoding, capture and judgement, signalling and run
/// control. Each step does its work in a fixed order and lets failures (conversion errors, a port that
/// will not open) propagate to the caller's event dispatch, which shows them in the standard error box;
/// what a step did before the failure stays done.
class WeighingCore : private CheckedDecoding::Receiver {
public:
    explicit WeighingCore(StationHost& host);

    WeighingState& state() { return m_state; }
    const WeighingState& state() const { return m_state; }
    /// The stable capture's product in progress (used only when SamplingChoice is Stable).
    const StableCapture& stableCapture() const { return m_stable; }

    /// The first part of the window's creation: SignalFlags 0, ZeroOffset 0, then the batch-reminder bit
    /// set; Stop disabled. The configuration is loaded afterwards by the caller.
    void initialize();

    /// One received chunk. The fixed decoders take its text up to the first zero byte. With a checked
    /// decoding (state().IndicatorFormat) every byte joins the stream of frames, and each whole frame that
    /// passes its checks is shown and captured: a weight in the line's unit less the zero offset, or
    /// "超载"/"欠载" in Edit1 without a capture; a frame that fails goes to the host's badFrame.
    void Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length);
    /// The checked decoding's frames so far (nothing with the fixed decoders).
    const FrameAssembler* checkedFrames() const { return m_checked ? &m_checked->assembler() : nullptr; }
    /// One sample through the capture that SamplingChoice names. The peak capture takes the sample before
    /// a five-sample peak and judges again after every out-of-tolerance capture; the stable capture judges
    /// each product once, when it has settled or, at the latest, at the first sample at or below the
    /// threshold (before the product is reported over). Both hand the weight on through Edit2 and
    /// JudgeTolerance; a failing judgement does not give the stable capture's product a second one.
    void CaptureWeight(double x);
    bool JudgeTolerance();
    void SignalOverLimit();
    void SignalUnderLimit();
    void CountGoodProduct();
    void UpdateBatchReminder();
    void RecordResult(const std::string& verdict);
    /// Puts the 17-byte output frame, as it is now, on the line twice, 200 ms apart (OutputLine): a copy
    /// due now is handed over at once, a later one when the host wakes the core. Never waits; when sends
    /// come faster than the line carries them, a waiting send gives its place to the newer one.
    void SendSignalFrame(std::int32_t n);
    /// The alarm duration has run out: bit 2 cleared (kept while the indicator is silent) and sent twice.
    void Timer1Timer();
    /// The alarm delay has run out: Timer1 started and the flags sent twice, bit 2 set again for an alarm
    /// that was waiting for this delay (an earlier alarm's Timer1 may have cleared it meanwhile).
    void Timer2Timer();
    /// The host's clock reached the time the core asked for: the output copies due are handed over, a
    /// polled indicator is asked for its reading when that is due (PollSchedule), and the indicator's
    /// silence is checked.
    void Wake();
    /// Whether output copies still wait for their time.
    bool outputPending() const { return !m_output.idle(); }

    /// Start and Continue; senderName is the pressed button's name ("BtnClear" or "BtnWordWrap").
    void BtnClearClick(const std::string& senderName);
    /// Stop: the port closed, a product cut off without a weight counted as a disturbance, the count saved.
    void BtnSetTabsClick();
    /// Zero: the shown weight joins the offset, so the next reading shows about 0 however often it is
    /// pressed; refused with a notice while the shown weight is above the product threshold.
    void BtnBulletsClick();
    /// Opens the port (as Start and Continue do) and starts watching for the indicator's readings.
    void OpenPort();
    /// Closes the port; no more watching.
    void ClosePort();
    /// The port reported a failure it cannot recover from (the device gone): the run stops as with Stop,
    /// the indicator counts as silent at once, and the failure is thrown for the error box. Later reports
    /// of the same failure (the port already closed) do nothing.
    void PortFailed();
    /// Whether the indicator is silent (alarm raised, not yet cleared by a reading).
    bool indicatorSilent() const { return m_silent; }

    /// The signal reset that ends a model selection, after the model's values are shown.
    void ModelSelected();
    /// The close steps: the count saved, then the flags cleared and the last frame sent.
    void FormClose();

    /// The count is saved after a counted product when it was last saved this long before, or never.
    static constexpr std::int64_t kCountSaveIntervalMs = 10000;

    /// The status text "共N个产品，此产品是第M个" with the current count.
    std::string statusText() const;
    /// The status text for a batch size as shown (N) and a count (M); the one place it is built.
    static std::string statusText(const std::string& batchCountText, std::int32_t productCount);

    /// The 17-byte output frame carrying n as its ninth byte.
    static std::string outputFrame(std::int32_t n);

private:
    void decodeToledo(const std::string& chunk);
    void decodeYaohua(const std::string& chunk);
    void showDecoded(const std::string& field, double divisor);
    void decoded(const LineReading& reading) override;
    void refused(std::string_view reason) override;
    void captureStable(double x);
    /// Shows the captured weight and runs the judgement and the steps after it.
    void judgeCaptured(double weight);
    /// The line went away in the middle of a run: no verdict from what was left of it.
    void lineInterrupted();
    void saveCountIfDue();
    void saveCount();
    /// Stop's steps, also when the port failed: buttons idle, port closed, a cut-off product dropped.
    void stopRun();
    /// The two sends of one alarm step (Timer2, Timer1), as one group.
    void sendAlarmStep();
    /// The port is open and the indicator's silence is looked for.
    bool watchingSilence() const;
    /// SendSignalFrame; the sends of one alarm step (alarmGroup, not 0) overtake all the others still
    /// waiting for the line.
    void sendFrame(std::int32_t n, std::uint64_t alarmGroup);
    void handOverDue();
    void pollIfDue();
    void scheduleWake();
    void readingArrived();
    void raiseSilence();
    /// The indicator is no longer silent; bit 2 stays only for a tolerance alarm under way.
    void clearSilence();

    /// The indicator's division as the decoder reads it: hundredths (Toledo) or tenths (Yaohua), or what the
    /// checked decoding's last reading says.
    double division() const {
        return m_checked && m_readingDivision > 0 ? m_readingDivision : m_state.IndicatorType == 1 ? 0.01 : 0.1;
    }

    StationHost& m_host;
    WeighingState m_state;
    StableCapture m_stable;
    std::optional<CheckedDecoding> m_checked;
    PollSchedule m_poll;
    double m_readingDivision = 0.0;
    /// The motion state of the reading being captured, where the indicator reports one.
    std::optional<bool> m_readingStable;
    OutputLine m_output;
    /// Peak capture: samples above the threshold since the start or the last interruption (up to 4), so
    /// that no start-up zero or stale sample of a cut-off product is taken for a weight.
    int m_peakSamples = 0;
    bool m_portOpen = false;
    bool m_silent = false;
    bool m_closing = false;
    /// A tolerance alarm's output is under way (Timer2, then Timer1): bit 2 stays set for it.
    bool m_alarmOutput = false;
    /// A tolerance alarm waits for its delay (Timer2): when it runs out the bit goes out, whatever the end of
    /// an earlier alarm's output did to it meanwhile.
    bool m_alarmDue = false;
    std::uint64_t m_alarmGroup = 0; // the alarm steps so far
    std::int64_t m_silenceDeadline = 0;
    std::optional<std::int64_t> m_countSavedAt;
};

} // namespace kelvora
