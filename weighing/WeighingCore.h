#pragma once

#include "weighing/StableCapture.h"
#include "weighing/StationHost.h"
#include "weighing/WeighingState.h"

#include <cstdint>
#include <string>

namespace kelvora {

/// The check-weighing steps of the main window: decoding, capture and judgement, signalling and run
/// control. Each step does its work in a fixed order and lets failures (conversion errors, a port that
/// will not open) propagate to the caller's event dispatch, which shows them in the standard error box;
/// what a step did before the failure stays done.
class WeighingCore {
public:
    explicit WeighingCore(StationHost& host);

    WeighingState& state() { return m_state; }
    const WeighingState& state() const { return m_state; }
    /// The stable capture's product in progress (used only when SamplingChoice is Stable).
    const StableCapture& stableCapture() const { return m_stable; }

    /// The first part of the window's creation: SignalFlags 0, ZeroOffset 0, then the batch-reminder bit
    /// set; Stop disabled. The configuration is loaded afterwards by the caller.
    void initialize();

    /// One received chunk; the text is taken up to the first zero byte.
    void Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length);
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
    /// Hands the 17-byte output frame over twice, 200 ms apart.
    void SendSignalFrame(std::int32_t n);
    void Timer1Timer();
    void Timer2Timer();

    /// Start and Continue; senderName is the pressed button's name ("BtnClear" or "BtnWordWrap").
    void BtnClearClick(const std::string& senderName);
    /// Stop.
    void BtnSetTabsClick();
    /// Zero.
    void BtnBulletsClick();

    /// The signal reset that ends a model selection, after the model's values are shown.
    void ModelSelected();
    /// The close steps: the count saved, then the flags cleared and the last frame sent.
    void FormClose();

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
    void captureStable(double x);
    /// Shows the captured weight and runs the judgement and the steps after it.
    void judgeCaptured(double weight);

    /// The indicator's division as the decoder reads it: hundredths (Toledo) or tenths (Yaohua).
    double division() const { return m_state.IndicatorType == 1 ? 0.01 : 0.1; }

    StationHost& m_host;
    WeighingState m_state;
    StableCapture m_stable;
};

} // namespace kelvora
