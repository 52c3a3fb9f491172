#include "comm/TComm.h"

#include "comm/Block.h"
#include "comm/Notification.h"
#include "comm/NotifyPoster.h"
#include "comm/NotifyWindow.h"
#include "comm/SerialPort.h"
#include "comm/TReadThread.h"
#include "comm/TWriteThread.h"

#include <cctype>
#include <exception>
#include <iostream>
#include <new>
#include <utility>

namespace kelvora {

namespace {

const char* const kNotOpened = "没有打开串口,原因可能是串口被某个程序打开或者不存在";

// Linux sizes the driver's queues itself; these are the sizes the port is meant to have.
[[maybe_unused]] constexpr std::size_t kInputQueueSize = 2048;
[[maybe_unused]] constexpr std::size_t kOutputQueueSize = 1024;

bool isLegacyName(const std::string& name) {
    if (name.size() < 4 || std::tolower(static_cast<unsigned char>(name[0])) != 'c' ||
        std::tolower(static_cast<unsigned char>(name[1])) != 'o' ||
        std::tolower(static_cast<unsigned char>(name[2])) != 'm') {
        return false;
    }
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return name.size() <= 9 && std::stoul(name.substr(3)) >= 1;
}

} // namespace

TComm::TComm(QObject* owner)
    : QObject(owner), m_notifyWindow(std::make_unique<NotifyWindow>(
                          [this](const Notification& message) { DispatchNotification(message); })),
      m_poster(std::make_shared<NotifyPoster>(m_notifyWindow.get())) {}

TComm::~TComm() {
    ClosePort();
    // A thread left running may still try to post: cut it off before the window goes (with any
    // notifications still queued for it, and their blocks).
    m_poster->disconnect();
    m_notifyWindow.reset();
}

std::uint32_t TComm::ComHandle() const {
    return m_port ? m_port->handle() : 0;
}

std::string TComm::DevicePath(const std::string& name) {
    if (!name.empty() && name.front() == '/') {
        return name;
    }
    if (isLegacyName(name)) {
        return "/dev/ttyS" + std::to_string(std::stoul(name.substr(3)) - 1);
    }
    return "/dev/" + name;
}

void TComm::OpenPort() {
    if (m_port) {
        throw ECommsError("This serial port already opened");
    }
    std::shared_ptr<SerialPort> port;
    switch (SerialPort::open(DevicePath(m_commName), port)) {
    case SerialPort::OpenStatus::Unavailable:
        throw ECommsError(kNotOpened);
    case SerialPort::OpenStatus::NotATerminal:
        throw ECommsError("File handle is not a comm handle ");
    case SerialPort::OpenStatus::Opened:
        break;
    }
    m_port = std::move(port);
    m_port->purge(true, true);
    ApplyTimeouts();
    ApplyDeviceControl();
    StopEvent = WaitableEvent::create();
    if (!StopEvent) {
        ReleasePort();
        throw ECommsError("Unable to create event");
    }
    StartThreads();
}

void TComm::StartThreads() {
    try {
        ReaderThread = std::make_unique<TReadThread>(m_port, StopEvent, m_poster);
    } catch (const std::exception&) {
        ReleasePort();
        throw ECommsError("Unable to create read thread");
    }
    try {
        WriterThread = std::make_unique<TWriteThread>(m_port, StopEvent, m_poster);
    } catch (const std::exception&) {
        StopReaderThread();
        ReleasePort();
        throw ECommsError("Unable to create write thread");
    }
    try {
        ReaderThread->Start();
    } catch (const std::exception&) {
        ReaderThread.reset();
        WriterThread.reset();
        ReleasePort();
        throw ECommsError("Unable to create read thread");
    }
    try {
        WriterThread->Start();
    } catch (const std::exception&) {
        StopReaderThread();
        WriterThread.reset();
        ReleasePort();
        throw ECommsError("Unable to create write thread");
    }
}

void TComm::ClosePort() {
    if (!m_port) {
        return;
    }
    StopReaderThread();
    StopWriterThread();
    ReleasePort();
}

void TComm::StopReaderThread() {
    if (!ReaderThread) {
        return;
    }
    StopEvent->set();
    m_port->purge(true, false);
    ReaderThread->WaitFor(kThreadStopTimeout);
    ReaderThread.reset();
}

void TComm::StopWriterThread() {
    if (!WriterThread) {
        return;
    }
    StopEvent->set();
    m_port->purge(false, true);
    WriterThread->WaitFor(kThreadStopTimeout);
    WriterThread.reset();
}

// A thread left running holds its own references: the device is closed when the last of them goes.
void TComm::ReleasePort() {
    StopEvent.reset();
    m_port.reset();
}

bool TComm::WriteData(const void* Buffer, std::uint16_t Length) {
    if (!WriterThread || Length == 0 || !Buffer) {
        return false;
    }
    try {
        return WriterThread->Post(Block(Buffer, Length));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void TComm::ApplyTimeouts() {
    m_port->setTimeouts(m_timeouts);
}

// A setting the device rejects leaves its previous settings; that is not reported.
void TComm::ApplyDeviceControl() {
    m_port->applySettings(m_settings);
}

void TComm::DispatchNotification(const Notification& message) {
    switch (message.message()) {
    case MsgDataReceived:
        if (OnReceiveData) {
            RaiseEvent(
                [&] { OnReceiveData(this, message.block().data(), static_cast<std::uint16_t>(message.value())); });
        }
        break;
    case MsgReceiveError:
        if (OnReceiveError) {
            RaiseEvent([&] { OnReceiveError(this, message.value()); });
        }
        break;
    case MsgModemStateChange:
        if (OnModemStateChange) {
            RaiseEvent([&] { OnModemStateChange(this, message.value()); });
        }
        break;
    case MsgRequestHangup:
        if (OnRequestHangup) {
            RaiseEvent([&] { OnRequestHangup(this); });
        }
        break;
    case MsgSendDataEmpty:
        if (OnSendDataEmpty) {
            RaiseEvent([&] { OnSendDataEmpty(this); });
        }
        break;
    default:
        break;
    }
}

// Called from a Qt event handler, so nothing may escape: the owner's runner decides what the operator
// sees; without one the error still reaches standard error rather than vanishing.
void TComm::RaiseEvent(const std::function<void()>& handler) {
    if (HandlerRunner) {
        HandlerRunner(handler);
        return;
    }
    try {
        handler();
    } catch (const std::exception& error) {
        std::cerr << "TComm: an event handler failed: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "TComm: an event handler failed\n";
    }
}

template <typename T> void TComm::setDeviceControl(T LineSettings::*field, T value) {
    if (m_settings.*field == value) {
        return;
    }
    m_settings.*field = value;
    if (m_port) {
        ApplyDeviceControl();
    }
}

void TComm::setTimeout(std::uint32_t PortTimeouts::*field, std::uint32_t value) {
    if (m_timeouts.*field == value) {
        return;
    }
    m_timeouts.*field = value;
    if (m_port) {
        ApplyTimeouts();
    }
}

void TComm::setBaudRate(std::uint32_t value) {
    setDeviceControl(&LineSettings::BaudRate, value);
}
void TComm::setParityCheck(bool value) {
    setDeviceControl(&LineSettings::ParityCheck, value);
}
void TComm::setOutx_CtsFlow(bool value) {
    setDeviceControl(&LineSettings::Outx_CtsFlow, value);
}
void TComm::setOutx_DsrFlow(bool value) {
    setDeviceControl(&LineSettings::Outx_DsrFlow, value);
}
void TComm::setDtrControl(TDtrControl value) {
    setDeviceControl(&LineSettings::DtrControl, value);
}
void TComm::setDsrSensitivity(bool value) {
    setDeviceControl(&LineSettings::DsrSensitivity, value);
}
void TComm::setTxContinueOnXoff(bool value) {
    setDeviceControl(&LineSettings::TxContinueOnXoff, value);
}
void TComm::setOutx_XonXoffFlow(bool value) {
    setDeviceControl(&LineSettings::Outx_XonXoffFlow, value);
}
void TComm::setInx_XonXoffFlow(bool value) {
    setDeviceControl(&LineSettings::Inx_XonXoffFlow, value);
}
void TComm::setReplaceWhenParityError(bool value) {
    setDeviceControl(&LineSettings::ReplaceWhenParityError, value);
}
void TComm::setIgnoreNullChar(bool value) {
    setDeviceControl(&LineSettings::IgnoreNullChar, value);
}
void TComm::setRtsControl(TRtsControl value) {
    setDeviceControl(&LineSettings::RtsControl, value);
}
void TComm::setXonLimit(std::uint16_t value) {
    setDeviceControl(&LineSettings::XonLimit, value);
}
void TComm::setXoffLimit(std::uint16_t value) {
    setDeviceControl(&LineSettings::XoffLimit, value);
}
void TComm::setByteSize(TByteSize value) {
    setDeviceControl(&LineSettings::ByteSize, value);
}
void TComm::setStopBits(TStopBits value) {
    setDeviceControl(&LineSettings::StopBits, value);
}
void TComm::setXonChar(std::uint8_t value) {
    setDeviceControl(&LineSettings::XonChar, value);
}
void TComm::setXoffChar(std::uint8_t value) {
    setDeviceControl(&LineSettings::XoffChar, value);
}
void TComm::setReplacedChar(std::uint8_t value) {
    setDeviceControl(&LineSettings::ReplacedChar, value);
}
void TComm::setReadIntervalTimeout(std::uint32_t value) {
    setTimeout(&PortTimeouts::ReadIntervalTimeout, value);
}
void TComm::setReadTotalTimeoutMultiplier(std::uint32_t value) {
    setTimeout(&PortTimeouts::ReadTotalTimeoutMultiplier, value);
}
void TComm::setReadTotalTimeoutConstant(std::uint32_t value) {
    setTimeout(&PortTimeouts::ReadTotalTimeoutConstant, value);
}
void TComm::setWriteTotalTimeoutMultiplier(std::uint32_t value) {
    setTimeout(&PortTimeouts::WriteTotalTimeoutMultiplier, value);
}
void TComm::setWriteTotalTimeoutConstant(std::uint32_t value) {
    setTimeout(&PortTimeouts::WriteTotalTimeoutConstant, value);
}

} // namespace kelvora
