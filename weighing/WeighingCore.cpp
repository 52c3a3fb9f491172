#include "weighing/WeighingCore.h"

#include "weighing/GbkText.h"
#include "weighing/NumberText.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kelvora {

namespace {

constexpr int kPeakWindowFill = 4; // SampleWindow[3] holds a real sample

const char* const kOverload = "超载";
const char* const kUnderload = "欠载";

const char* const kPortFailure = "串口出现故障，仪表已断开或不再应答：请检查连接和串口设置，然后按“继续”";

// Leading and trailing blanks and control characters removed.
std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') {
        --end;
    }
    return text.substr(begin, end - begin);
}

// 1-based position of the first occurrence, 0 when absent.
std::ptrdiff_t position(const std::string& text, std::string_view what) {
    std::size_t at = text.find(what);
    return at == std::string::npos ? 0 : static_cast<std::ptrdiff_t>(at) + 1;
}

} // namespace

WeighingCore::WeighingCore(StationHost& host) : m_host(host) {}

void WeighingCore::initialize() {
    m_state.SignalFlags = 0;
    m_state.ZeroOffset = 0.0;
    m_state.SignalFlags |= kBatchReminderBit;
    m_host.setButtonEnabled(Button::BtnSetTabs, false);
}

void WeighingCore::Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length) {
    const char* text = reinterpret_cast<const char*>(buffer);
    if (m_state.IndicatorFormat) {
        if (!m_checked || &m_checked->format() != m_state.IndicatorFormat.get()) {
            m_checked.emplace(m_state.IndicatorFormat, m_state.LineUnit);
        }
        m_checked->feed(std::string_view(text, length), *this);
        return;
    }
    std::string chunk(text, strnlen(text, length));
    if (m_state.IndicatorType == 1) {
        decodeToledo(chunk);
    } else {
        decodeYaohua(chunk);
    }
}

void WeighingCore::decodeToledo(const std::string& chunk) {
    std::ptrdiff_t p = position(chunk, "\x02");
    showDecoded(GbkText::copy(chunk, p + 5, 5), 100.0);
}

void WeighingCore::decodeYaohua(const std::string& chunk) {
    std::string joined = m_state.ChunkHistory[0] + m_state.ChunkHistory[1] + chunk;
    std::ptrdiff_t plus = position(joined, "\x02+");
    std::ptrdiff_t minus = position(joined, "\x02-");
    std::string field = minus < plus ? GbkText::copy(joined, plus + 2, 6) : "-" + GbkText::copy(joined, minus + 2, 6);
    // The history turns over for every chunk, whether or not its field converts.
    m_state.ChunkHistory[0] = std::move(m_state.ChunkHistory[1]);
    m_state.ChunkHistory[1] = chunk;
    showDecoded(field, 10.0);
}

void WeighingCore::showDecoded(const std::string& field, double divisor) {
    std::optional<double> counts = NumberText::parseFloat(field);
    if (!counts) {
        return; // a field that does not convert drops the chunk without a word
    }
    m_host.setText(Control::Edit1, NumberText::formatWeight(*counts / divisor - m_state.ZeroOffset));
    readingArrived();
    // The capture sees the value as shown, cut to three decimals.
    CaptureWeight(NumberText::toFloat(m_host.text(Control::Edit1)));
}

void WeighingCore::decoded(const LineReading& reading) {
    if (reading.state != ReadingState::Weight) {
        // Beyond the indicator's range: no weight to judge, but the indicator is talking.
        m_host.setText(Control::Edit1, reading.state == ReadingState::Overload ? kOverload : kUnderload);
        readingArrived();
        return;
    }
    m_host.setText(Control::Edit1, NumberText::formatWeight(reading.weight - m_state.ZeroOffset));
    readingArrived();
    m_readingDivision = reading.division;
    m_readingStable = reading.stable;
    CaptureWeight(NumberText::toFloat(m_host.text(Control::Edit1)));
}

void WeighingCore::refused(std::string_view reason) {
    m_host.badFrame(std::string(reason));
}

void WeighingCore::CaptureWeight(double x) {
    if (m_state.SamplingChoice == Sampling::Stable) {
        captureStable(x);
        return;
    }
    auto& window = m_state.SampleWindow;
    if (x <= m_state.ProductThreshold) {
        m_state.CaptureLatch = 0;
        m_host.productOver();
        return;
    }
    for (std::size_t i = window.size() - 1; i > 0; --i) {
        window[i] = window[i - 1];
    }
    window[0] = x;
    m_peakSamples = std::min(m_peakSamples + 1, kPeakWindowFill);
    bool peak = window[2] >= window[3] && window[2] >= window[1] && window[1] >= window[0] && window[3] >= window[4] &&
                m_state.CaptureLatch == 0;
    // The sample to be captured must be one that was read in this stretch of the line, not a start-up
    // zero or what was left of a product cut off by Stop.
    if (!peak || m_peakSamples < kPeakWindowFill) {
        return;
    }
    judgeCaptured(window[3]);
}

void WeighingCore::captureStable(double x) {
    m_stable.setMinimumReadings(static_cast<std::size_t>(std::max(m_state.MinimumReadings, 1)));
    if (x > m_state.ProductThreshold) {
        if (std::optional<double> weight = m_stable.add(x, division(), m_readingStable)) {
            judgeCaptured(*weight);
        }
        return;
    }
    std::optional<double> weight = m_stable.end(division());
    m_state.CaptureLatch = 0;
    if (m_stable.disturbance() > 0) {
        m_host.glitch(m_stable.disturbance());
    }
    if (weight) {
        // The verdict at the exit belongs to the product that is over: it goes before the report.
        try {
            judgeCaptured(*weight);
        } catch (...) {
            m_host.productOver();
            throw;
        }
        m_state.CaptureLatch = 0;
    }
    m_host.productOver();
}

void WeighingCore::judgeCaptured(double weight) {
    m_host.setText(Control::Edit2, NumberText::formatWeight(weight));
    if (!JudgeTolerance()) {
        CountGoodProduct();
        UpdateBatchReminder();
        m_state.CaptureLatch = 1;
        saveCountIfDue();
    }
}

void WeighingCore::saveCountIfDue() {
    if (m_countSavedAt && m_host.clock() - *m_countSavedAt < kCountSaveIntervalMs) {
        return;
    }
    saveCount();
}

void WeighingCore::saveCount() {
    // Taken as written before the attempt: a file that cannot be written is reported once per interval.
    m_countSavedAt = m_host.clock();
    m_host.saveProductCount(m_state.ProductCount);
}

void WeighingCore::lineInterrupted() {
    m_peakSamples = 0;
    if (const std::size_t readings = m_stable.interrupt()) {
        m_host.glitch(readings);
    }
}

bool WeighingCore::JudgeTolerance() {
    bool result = false;
    double weight = NumberText::toFloat(m_host.text(Control::Edit2));
    if (weight > NumberText::toFloat(m_host.text(Control::Et2))) {
        SignalOverLimit();
        result = true;
    }
    weight = NumberText::toFloat(m_host.text(Control::Edit2));
    if (weight < NumberText::toFloat(m_host.text(Control::Et3))) {
        SignalUnderLimit();
        result = true;
    }
    return result;
}

void WeighingCore::SignalOverLimit() {
    m_host.setLampColor(Lamp::Shape1, LampColor::Red);
    m_state.SignalFlags |= kToleranceAlarmBit;
    m_alarmOutput = true;
    m_alarmDue = true;
    m_host.setTimerEnabled(Timer::Timer2, true);
    RecordResult("超高");
}

void WeighingCore::SignalUnderLimit() {
    m_host.setLampColor(Lamp::Shape1, LampColor::Yellow);
    m_state.SignalFlags |= kToleranceAlarmBit;
    m_alarmOutput = true;
    m_alarmDue = true;
    m_host.setTimerEnabled(Timer::Timer2, true);
    RecordResult("超低");
}

void WeighingCore::CountGoodProduct() {
    // The count wraps like the 32-bit counter it is rather than overflowing.
    m_state.ProductCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_state.ProductCount) + 1U);
    m_host.setLampColor(Lamp::Shape1, LampColor::Lime);
    m_host.setText(Control::Edit3, statusText());
    RecordResult("正常");
}

void WeighingCore::UpdateBatchReminder() {
    std::int32_t reminder = NumberText::toInteger(m_host.text(Control::LabeledEdit2));
    if (m_state.ProductCount < reminder) {
        m_host.setLampColor(Lamp::Shape2, LampColor::Lime);
        m_state.SignalFlags &= ~kBatchReminderBit;
    } else {
        m_host.setLampColor(Lamp::Shape2, LampColor::Red);
        m_state.SignalFlags |= kBatchReminderBit;
    }
    SendSignalFrame(m_state.SignalFlags);
    SendSignalFrame(m_state.SignalFlags);
    std::int32_t batch = NumberText::toInteger(m_host.text(Control::LabeledEdit1));
    if (m_state.ProductCount > batch) {
        m_state.SignalFlags &= ~kBatchReminderBit;
        SendSignalFrame(m_state.SignalFlags);
        SendSignalFrame(m_state.SignalFlags);
    }
}

void WeighingCore::RecordResult(const std::string& verdict) {
    m_host.recordResult(verdict);
}

std::string WeighingCore::outputFrame(std::int32_t n) {
    std::string frame = "\x02+000000" + std::string(1, std::to_string(n).front()) + "0000000\r";
    return frame;
}

void WeighingCore::SendSignalFrame(std::int32_t n) {
    sendFrame(n, 0);
}

void WeighingCore::sendFrame(std::int32_t n, std::uint64_t alarmGroup) {
    m_output.send(outputFrame(n), m_host.clock(), alarmGroup);
    handOverDue();
    scheduleWake();
}

void WeighingCore::handOverDue() {
    for (const std::string& frame : m_output.takeDue(m_host.clock())) {
        for (char byte : frame) {
            auto value = static_cast<std::uint8_t>(byte);
            m_host.writeData(&value, 1);
        }
    }
}

bool WeighingCore::watchingSilence() const {
    return m_portOpen && !m_silent && !m_closing && m_state.SilenceLimitMs > 0;
}

void WeighingCore::pollIfDue() {
    if (m_portOpen && !m_closing && m_poll.due(m_host.clock(), m_output.nextDue())) {
        const std::string_view request = m_state.IndicatorFormat->request();
        m_host.writeRequest(reinterpret_cast<const std::uint8_t*>(request.data()),
                            static_cast<std::uint16_t>(request.size()));
    }
}

void WeighingCore::scheduleWake() {
    std::optional<std::int64_t> next = m_output.nextDue();
    if (m_poll.next() && (!next || *m_poll.next() < *next)) {
        next = m_poll.next();
    }
    if (watchingSilence() && (!next || m_silenceDeadline < *next)) {
        next = m_silenceDeadline;
    }
    m_host.wakeAt(next);
}

void WeighingCore::Wake() {
    handOverDue();
    pollIfDue();
    if (watchingSilence() && m_host.clock() >= m_silenceDeadline) {
        raiseSilence();
    }
    scheduleWake();
}

void WeighingCore::readingArrived() {
    m_silenceDeadline = m_host.clock() + m_state.SilenceLimitMs;
    if (m_silent) {
        clearSilence();
        SendSignalFrame(m_state.SignalFlags);
    }
    scheduleWake();
}

void WeighingCore::clearSilence() {
    m_silent = false;
    m_host.indicatorSilent(false);
    if (!m_alarmOutput) {
        m_state.SignalFlags &= ~kToleranceAlarmBit;
    }
}

void WeighingCore::raiseSilence() {
    if (m_silent) {
        return;
    }
    m_silent = true;
    m_host.indicatorSilent(true);
    // Fail-safe: the outside device sees the alarm bit and stops or alarms the line.
    m_state.SignalFlags |= kToleranceAlarmBit;
    sendFrame(m_state.SignalFlags, ++m_alarmGroup);
}

void WeighingCore::Timer2Timer() {
    m_host.setTimerEnabled(Timer::Timer1, true);
    m_host.setTimerEnabled(Timer::Timer2, false);
    if (m_alarmDue) {
        // The end of an earlier alarm's output (Timer1) may have cleared the bit meanwhile: the pack this
        // alarm is for reaches the rejector now all the same.
        m_state.SignalFlags |= kToleranceAlarmBit;
        m_alarmOutput = true;
        m_alarmDue = false;
    }
    sendAlarmStep();
}

void WeighingCore::Timer1Timer() {
    m_host.setTimerEnabled(Timer::Timer1, false);
    m_alarmOutput = m_alarmDue; // a later alarm still waiting for its delay owns the bit from its verdict
    if (!m_silent) {            // a silent indicator keeps the alarm on
        m_state.SignalFlags &= ~kToleranceAlarmBit;
    }
    sendAlarmStep();
}

void WeighingCore::sendAlarmStep() {
    // Due now, for the pack that is reaching the rejector: the two sends overtake those still waiting.
    const std::uint64_t group = ++m_alarmGroup;
    sendFrame(m_state.SignalFlags, group);
    sendFrame(m_state.SignalFlags, group);
}

void WeighingCore::BtnClearClick(const std::string& senderName) {
    m_state.CaptureLatch = 0;
    m_host.productOver();
    if (trimmed(m_host.text(Control::ComboBox1)).empty()) {
        m_host.showMessage("提示", "请选择型号或选择合法型号！");
        return;
    }
    m_host.setButtonEnabled(Button::BtnClear, false);
    m_host.setButtonEnabled(Button::BtnWordWrap, false);
    m_host.setButtonEnabled(Button::BtnSetTabs, true);
    if (senderName.substr(0, 10) == "BtnClear") {
        m_state.ProductCount = 0;
    }
    m_host.setText(Control::Edit3, statusText());
    OpenPort();
}

void WeighingCore::BtnSetTabsClick() {
    stopRun();
    if (m_silent) {
        clearSilence(); // the operator stopped the line: the next frame goes without the alarm
    }
    saveCount();
}

void WeighingCore::stopRun() {
    m_host.setButtonEnabled(Button::BtnClear, true);
    m_host.setButtonEnabled(Button::BtnWordWrap, true);
    m_host.setButtonEnabled(Button::BtnSetTabs, false);
    ClosePort();
    lineInterrupted();
}

void WeighingCore::BtnBulletsClick() {
    const std::string shownText = m_host.text(Control::Edit1);
    if (shownText == kOverload || shownText == kUnderload) {
        m_host.showMessage("提示", "仪表" + shownText + "，不能清零");
        return;
    }
    const double shown = NumberText::toFloat(m_host.text(Control::Edit1));
    if (shown > m_state.ProductThreshold) {
        m_host.showMessage("提示", "平台上有产品，不能清零");
        return;
    }
    const double old = m_state.ZeroOffset;
    // The shown weight already has the old offset taken off: the new zero is the old one moved by it.
    m_state.ZeroOffset = old + shown;
    m_host.zeroed(old, m_state.ZeroOffset);
}

void WeighingCore::OpenPort() {
    m_host.openPort();
    m_portOpen = true;
    if (m_checked) {
        m_checked->reset(); // the stream is joined anew: no frame is made of bytes from both sides of Stop
    }
    if (m_state.IndicatorFormat && !m_state.IndicatorFormat->request().empty()) {
        m_poll.start(m_host.clock(), m_state.PollIntervalMs);
    }
    m_silenceDeadline = m_host.clock() + m_state.SilenceLimitMs;
    scheduleWake();
}

void WeighingCore::ClosePort() {
    m_host.closePort();
    m_portOpen = false;
    m_poll.stop();
    scheduleWake();
}

void WeighingCore::PortFailed() {
    if (!m_portOpen) {
        return; // the reader and the writer each report the same failure
    }
    stopRun();
    raiseSilence();
    saveCount();
    throw std::runtime_error(kPortFailure);
}

void WeighingCore::ModelSelected() {
    m_host.productOver();
    m_alarmOutput = false; // an alarm still due sets the bit again when its delay has run out
    m_state.SignalFlags = 0;
    SendSignalFrame(0);
    SendSignalFrame(m_state.SignalFlags);
}

void WeighingCore::FormClose() {
    m_host.productOver();
    m_host.saveProductCount(m_state.ProductCount);
    m_closing = true; // the last frames go out; the indicator is no longer watched
    m_state.SignalFlags = 0;
    SendSignalFrame(0);
}

std::string WeighingCore::statusText() const {
    return statusText(m_host.text(Control::LabeledEdit1), m_state.ProductCount);
}

std::string WeighingCore::statusText(const std::string& batchCountText, std::int32_t productCount) {
    return "共" + batchCountText + "个产品，此产品是第" + std::to_string(productCount) + "个";
}

} // namespace kelvora
