#include "app/WindowStationHost.h"

#include "app/Unit1.h"
#include "app/config/StationConfig.h"
#include "ui/LampShape.h"
#include "ui/MessageBox.h"
#include "ui/ToolButton.h"
#include "ui/WindowHandler.h"
#include "ui_Unit1.h"
#include "weighing/NumberText.h"

#include <limits>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QThread>

namespace kelvora {

namespace {

QColor lampColor(LampColor color) {
    switch (color) {
    case LampColor::Red:
        return QColor(255, 0, 0);
    case LampColor::Yellow:
        return QColor(255, 255, 0);
    case LampColor::Lime:
        break;
    }
    return QColor(0, 255, 0);
}

} // namespace

WindowStationHost::WindowStationHost(TForm1& form) : m_form(form) {
    for (Timer timer : {Timer::Timer1, Timer::Timer2}) {
        QTimer& qtimer = m_timers[index(timer)];
        qtimer.setTimerType(Qt::PreciseTimer); // the alarm's timing is part of the output frame's contract
        QObject::connect(&qtimer, &QTimer::timeout, &qtimer, [this, timer] { fire(timer); });
    }
    m_wakeTimer.setSingleShot(true);
    m_wakeTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_wakeTimer, &QTimer::timeout, &m_wakeTimer, [this] { wake(); });
    m_started.start();
}

WindowStationHost::~WindowStationHost() = default;

std::int64_t WindowStationHost::now() const {
    return m_virtualClock ? m_now : m_started.elapsed();
}

void WindowStationHost::fire(Timer timer) {
    runWindowHandler([&] {
        if (timer == Timer::Timer1) {
            m_form.core().Timer1Timer();
        } else {
            m_form.core().Timer2Timer();
        }
    });
}

void WindowStationHost::wake() {
    runWindowHandler([&] { m_form.core().Wake(); });
}

void WindowStationHost::wakeAt(std::optional<std::int64_t> time) {
    if (m_virtualClock) {
        m_due.setWake(time);
    } else if (time) {
        m_wakeTimer.start(static_cast<int>(std::max<std::int64_t>(0, *time - now())));
    } else {
        m_wakeTimer.stop();
    }
}

void WindowStationHost::advanceTo(std::int64_t limit) {
    m_due.runDue(
        limit, m_now, [this](Timer timer) { return m_timerInterval[index(timer)]; }, [this] { wake(); },
        [this](Timer timer) { fire(timer); });
    if (limit != std::numeric_limits<std::int64_t>::max()) {
        m_now = std::max(m_now, limit);
    }
}

void WindowStationHost::runDueTimers(std::int64_t maxTime) {
    advanceTo(maxTime);
}

QWidget* WindowStationHost::widgetFor(Control control) const {
    Ui::TForm1& ui = m_form.ui();
    switch (control) {
    case Control::Edit1:
        return ui.Edit1;
    case Control::Edit2:
        return ui.Edit2;
    case Control::Edit3:
        return ui.Edit3;
    case Control::Et1:
        return ui.Et1;
    case Control::Et2:
        return ui.Et2;
    case Control::Et3:
        return ui.Et3;
    case Control::ComboBox1:
        return ui.ComboBox1;
    case Control::LabeledEdit1:
        return ui.LabeledEdit1;
    case Control::LabeledEdit2:
        return ui.LabeledEdit2;
    }
    return nullptr;
}

std::string WindowStationHost::text(Control control) const {
    QWidget* widget = widgetFor(control);
    if (auto* box = qobject_cast<QComboBox*>(widget)) {
        return box->currentText().toStdString();
    }
    return static_cast<QLineEdit*>(widget)->text().toStdString();
}

void WindowStationHost::setText(Control control, const std::string& text) {
    QWidget* widget = widgetFor(control);
    const QString value = QString::fromStdString(text);
    if (auto* box = qobject_cast<QComboBox*>(widget)) {
        box->setEditText(value);
    } else {
        auto* edit = static_cast<QLineEdit*>(widget);
        edit->setText(value);
        edit->setCursorPosition(0);
    }
    if (m_trace && (control == Control::Edit1 || control == Control::Edit2 || control == Control::Edit3)) {
        m_trace->line(controlName(control)).add("text", text);
    }
}

void WindowStationHost::setLampColor(Lamp lamp, LampColor color) {
    LampShape* shape = lamp == Lamp::Shape1 ? m_form.ui().Shape1 : m_form.ui().Shape2;
    shape->setColor(lampColor(color));
    // The verdict shows when it is made: the lamp is painted now, not when the event loop next runs.
    shape->repaint();
    if (m_trace) {
        m_trace->line(lampName(lamp)).add("color", lampColorName(color));
    }
}

void WindowStationHost::setButtonEnabled(Button button, bool enabled) {
    Ui::TForm1& ui = m_form.ui();
    ToolButton* widgets[] = {ui.BtnClear, ui.BtnWordWrap, ui.BtnSetTabs, ui.BtnBullets};
    widgets[static_cast<std::size_t>(button)]->setEnabled(enabled);
}

void WindowStationHost::setTimerEnabled(Timer timer, bool enabled) {
    const std::size_t i = index(timer);
    if (m_timerEnabled[i] == enabled) {
        return; // an enabled timer keeps its schedule
    }
    m_timerEnabled[i] = enabled;
    if (m_trace) {
        m_trace->line("timer").add("name", timerName(timer)).add("enabled", enabled);
    }
    const bool runs = enabled && m_timerInterval[i] > 0; // an interval of 0 never fires
    if (m_virtualClock) {
        if (runs) {
            m_due.schedule(timer, m_now + m_timerInterval[i]);
        } else {
            m_due.cancel(timer);
        }
    } else if (runs) {
        m_timers[i].start(m_timerInterval[i]);
    } else {
        m_timers[i].stop();
    }
}

void WindowStationHost::setTimerInterval(Timer timer, int milliseconds) {
    m_timerInterval[index(timer)] = milliseconds;
    m_timers[index(timer)].setInterval(milliseconds);
}

bool WindowStationHost::portIsOpen() const {
    return m_virtualPort ? m_virtualPortOpen : m_form.Comm1.ComHandle() != 0;
}

bool WindowStationHost::writeRequest(const std::uint8_t* data, std::uint16_t length) {
    return m_virtualPort ? m_virtualPortOpen : m_form.Comm1.WriteData(data, length);
}

bool WindowStationHost::writeData(const std::uint8_t* data, std::uint16_t length) {
    const bool sent = m_virtualPort ? m_virtualPortOpen : m_form.Comm1.WriteData(data, length);
    if (sent) {
        m_writerIdle = false;
        // A challenge test under way looks for the alarm frames; what it throws is shown on its own.
        runWindowHandler([&] { m_form.statistics().outputSent(data, length); });
    }
    if (m_trace) {
        m_trace->frameBytes(data, length, sent);
    }
    return sent;
}

void WindowStationHost::openPort() {
    if (m_virtualPort) {
        if (m_virtualPortOpen) {
            throw std::runtime_error("This serial port already opened");
        }
        m_virtualPortOpen = true;
    } else {
        m_form.Comm1.OnSendDataEmpty = [this](TComm*) { m_writerIdle = true; };
        m_form.Comm1.OpenPort();
    }
    if (m_trace) {
        m_trace->line("port").add("open", true);
    }
}

void WindowStationHost::closePort() {
    if (!portIsOpen()) {
        return;
    }
    if (m_virtualPort) {
        m_virtualPortOpen = false;
    } else {
        m_form.Comm1.ClosePort();
    }
    if (m_trace) {
        m_trace->line("port").add("open", false);
    }
}

void WindowStationHost::drainPort(int timeoutMs) {
    if (m_virtualClock) {
        // The planned copies go out on the virtual clock; no timer runs for them.
        m_due.runWakes(
            m_now, [this] { return m_form.core().outputPending(); }, [this] { wake(); });
    }
    if (m_virtualPort || !portIsOpen()) {
        return;
    }
    // The writer reports an empty queue through the event loop; chunks are no longer handled. A report
    // of an earlier run of writes may still be queued, and closing purges what the driver has not sent
    // yet, so the wait also covers the line time of the last frames (34 bytes at 9600 baud: 36 ms).
    constexpr int kLineTimeMs = 100;
    m_form.Comm1.OnReceiveData = nullptr;
    QElapsedTimer waited;
    waited.start();
    const QDeadlineTimer deadline(timeoutMs);
    while (!(m_writerIdle && !m_form.core().outputPending() && waited.elapsed() >= kLineTimeMs) &&
           !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(1);
    }
}

void WindowStationHost::showMessage(const std::string& title, const std::string& text) {
    MessageBox::Request request;
    request.title = QString::fromStdString(title);
    request.text = QString::fromStdString(text);
    MessageBox::show(&m_form, request);
}

void WindowStationHost::startRecording() {
    StationRuntime::RecordingOptions options;
    options.iniPath = m_form.iniPath().toStdString();
    const std::string iniPath = options.iniPath;
    options.timeText = [this] { return recordTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString(); };
    options.reportError = [](const std::string& message) {
        WindowErrorBox().showError(NumberText::errorBoxText(message));
    };
    StationRuntime& runtime = m_form.runtime();
    runtime.startRecording(std::move(options));
    // The statistics run inside the weighing's step: whatever they throw is shown on its own, so that the
    // step and the row's storing go on.
    runtime.setRowListener(
        [this](const WeighingRecord& row) { runWindowHandler([&] { m_form.statistics().productRow(row); }); });
    // The feed only reads the station: what it publishes, and when, changes nothing of the weighing.
    m_publisher = StationPublisher::start(
        runtime, *this, iniPath, journalFileFor({}), [this] { return m_form.ui().BtnSetTabs->isEnabled(); },
        [](const std::string& message) { WindowErrorBox().showError(message); });
}

StationRuntime::FinishReport WindowStationHost::finishRecording(int waitMs) {
    const StationRuntime::FinishReport report = m_form.runtime().finishRecording(waitMs);
    m_publisher.reset(); // the last verdicts are in the journal: the feed hands them over and says offline
    return report;
}

void WindowStationHost::recordResult(const std::string& verdict) {
    m_form.runtime().recordVerdict(verdict, m_form.ui().RzFieldStatus3->text().toStdString());
    if (m_trace) {
        m_trace->line("record")
            .add("verdict", verdict)
            .add("model", text(Control::ComboBox1))
            .add("weight", text(Control::Edit2));
    }
}

QDateTime WindowStationHost::recordTime() const {
    // On the virtual clock a product's time follows the script, so that a shift's rates are its own.
    return m_virtualClock ? m_origin.addMSecs(m_now) : QDateTime::currentDateTime();
}

void WindowStationHost::productOver() {
    m_form.runtime().productOver();
}

void WindowStationHost::glitch(std::size_t readings) {
    if (m_trace) {
        m_trace->glitch(readings);
    }
    runWindowHandler([&] { m_form.statistics().glitch(); });
}

void WindowStationHost::indicatorSilent(bool silent) {
    m_form.showIndicatorSilent(silent, recordTime());
    m_form.runAudit().indicatorSilent(silent);
    if (m_trace) {
        m_trace->indicatorSilent(silent);
    }
}

void WindowStationHost::zeroed(double oldOffset, double newOffset) {
    m_form.runAudit().zeroed(oldOffset, newOffset);
    if (m_trace) {
        m_trace->zeroed(oldOffset, newOffset);
    }
}

void WindowStationHost::badFrame(const std::string& reason) {
    if (m_trace) {
        m_trace->badFrame(reason);
    }
    ++m_badFrames;
    m_form.ui().RzMarqueeStatus1->setToolTip(QStringLiteral("已丢弃的损坏帧：%1 个").arg(m_badFrames));
}

void WindowStationHost::saveProductCount(std::int32_t count) {
    StationConfig::saveProductCount(m_form.iniPath().toStdString(), count);
    if (m_trace) {
        m_trace->line("ini").add("section", "Word").add("key", "SC_Num").add("value", std::to_string(count));
    }
}

} // namespace kelvora
