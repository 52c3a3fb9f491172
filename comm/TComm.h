#pragma once

#include "comm/CommTypes.h"
#include "comm/ECommsError.h"
#include "comm/LineSettings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QObject>

namespace kelvora {

class NotifyPoster;
class NotifyWindow;
class Notification;
class SerialPort;
class TReadThread;
class TWriteThread;
class WaitableEvent;

class TComm;

/// A chunk of received bytes: Buffer holds BufferLength bytes (1 to 128) followed by a zero byte; valid
/// only during the call.
using TReceiveDataEvent = std::function<void(TComm* Sender, const std::uint8_t* Buffer, std::uint16_t BufferLength)>;
/// Line errors: EventMask holds CE_* flags.
using TReceiveErrorEvent = std::function<void(TComm* Sender, std::uint32_t EventMask)>;
/// ModemEvent: ModemRing (4), ModemCarrierDetect (8) or both (12).
using TModemStateChangeEvent = std::function<void(TComm* Sender, std::uint32_t ModemEvent)>;
using TSendDataEmptyEvent = std::function<void(TComm* Sender)>;
using TNotifyEvent = std::function<void(TComm* Sender)>;
/// Runs one event handler and deals with what it throws; must not throw itself.
using THandlerRunner = std::function<void(const std::function<void()>& handler)>;

/// One serial port. OpenPort opens and programs it and starts a reader and a writer thread; every event is
/// raised on the main thread (the thread that created the component), by whatever event loop it runs,
/// modal loops included, in the order the threads posted them. All operations, setters and events belong
/// to the main thread. Every event handler runs through HandlerRunner, which the owner sets to its error
/// path (the standard error box); whatever a handler throws never leaves the event loop's dispatch, and
/// the component loses nothing by it.
///
/// Setters of line settings and time-outs store the value; when it differs from the stored one and the
/// port is open, the port is reprogrammed at once from all current settings (a setting the device rejects
/// leaves its previous settings, unreported). CommName and Parity are only stored: they take effect at the
/// next OpenPort (Parity also at the next reprogramming by another setter).
class TComm : public QObject {
public:
    explicit TComm(QObject* owner = nullptr);
    /// Closes an open port as ClosePort does.
    ~TComm() override;

    /// The open port's handle; 0 exactly while the port is closed.
    std::uint32_t ComHandle() const;

    /// Device name. A name starting with '/' is a path; COMn (any letter case) is /dev/ttyS(n-1); any other
    /// name is looked up under /dev/. Default "COM2".
    const std::string& CommName() const { return m_commName; }
    void setCommName(const std::string& value) { m_commName = value; }
    /// Bits per second; standard and other rates (where the device takes them). Default 9600.
    std::uint32_t BaudRate() const { return m_settings.BaudRate; }
    void setBaudRate(std::uint32_t value);
    /// Parity checking on reception; parity and framing errors are then reported. Default false.
    bool ParityCheck() const { return m_settings.ParityCheck; }
    void setParityCheck(bool value);
    /// Hardware (RTS/CTS) flow control; Linux has it only in both directions. Default true.
    bool Outx_CtsFlow() const { return m_settings.Outx_CtsFlow; }
    void setOutx_CtsFlow(bool value);
    /// Stored only: Linux cannot hold output on DSR. Default true.
    bool Outx_DsrFlow() const { return m_settings.Outx_DsrFlow; }
    void setOutx_DsrFlow(bool value);
    /// DTR on or off after programming; DtrHandshake is stored only. Default DtrEnable.
    TDtrControl DtrControl() const { return m_settings.DtrControl; }
    void setDtrControl(TDtrControl value);
    /// Received bytes are dropped while DSR is off, where the driver shows DSR (looked at every 50 ms).
    /// Default false.
    bool DsrSensitivity() const { return m_settings.DsrSensitivity; }
    void setDsrSensitivity(bool value);
    /// Stored only: Linux always goes on sending after it has sent XOFF. Default true.
    bool TxContinueOnXoff() const { return m_settings.TxContinueOnXoff; }
    void setTxContinueOnXoff(bool value);
    /// Output stops on receiving XoffChar and resumes on XonChar. Default false.
    bool Outx_XonXoffFlow() const { return m_settings.Outx_XonXoffFlow; }
    void setOutx_XonXoffFlow(bool value);
    /// The driver sends XoffChar when its input fills and XonChar when it drains. Default false.
    bool Inx_XonXoffFlow() const { return m_settings.Inx_XonXoffFlow; }
    void setInx_XonXoffFlow(bool value);
    /// With ParityCheck and a parity scheme: a byte received with a parity error becomes ReplacedChar.
    /// Default false.
    bool ReplaceWhenParityError() const { return m_settings.ReplaceWhenParityError; }
    void setReplaceWhenParityError(bool value);
    /// Received zero bytes are dropped. Default false.
    bool IgnoreNullChar() const { return m_settings.IgnoreNullChar; }
    void setIgnoreNullChar(bool value);
    /// RTS on or off after programming; RtsHandshake is hardware flow control; RtsTransmissionAvailable is
    /// stored only. Default RtsEnable.
    TRtsControl RtsControl() const { return m_settings.RtsControl; }
    void setRtsControl(TRtsControl value);
    /// Stored only: the Linux input flow-control thresholds are fixed. Default 10.
    std::uint16_t XonLimit() const { return m_settings.XonLimit; }
    void setXonLimit(std::uint16_t value);
    /// Stored only: the Linux input flow-control thresholds are fixed. Default 10.
    std::uint16_t XoffLimit() const { return m_settings.XoffLimit; }
    void setXoffLimit(std::uint16_t value);
    /// Data bits. Default _8.
    TByteSize ByteSize() const { return m_settings.ByteSize; }
    void setByteSize(TByteSize value);
    /// Parity scheme; only stored, see above. Default None.
    TParity Parity() const { return m_settings.Parity; }
    void setParity(TParity value) { m_settings.Parity = value; }
    /// Stop bits; _1_5 only with _5 data bits (otherwise the device keeps its previous settings). Default _1.
    TStopBits StopBits() const { return m_settings.StopBits; }
    void setStopBits(TStopBits value);
    /// Default 0x11.
    std::uint8_t XonChar() const { return m_settings.XonChar; }
    void setXonChar(std::uint8_t value);
    /// Default 0x13.
    std::uint8_t XoffChar() const { return m_settings.XoffChar; }
    void setXoffChar(std::uint8_t value);
    /// The replacement for bytes with parity errors. Default 0.
    std::uint8_t ReplacedChar() const { return m_settings.ReplacedChar; }
    void setReplacedChar(std::uint8_t value);

    /// Longest gap in ms between two received bytes before a chunk ends; 0 = none (chunks then end at 128
    /// bytes or at the total time-out); 0xFFFFFFFF = each chunk is what has arrived. Default 10.
    std::uint32_t ReadIntervalTimeout() const { return m_timeouts.ReadIntervalTimeout; }
    void setReadIntervalTimeout(std::uint32_t value);
    /// Total read time-out: multiplier x 128 + constant ms from the start of each read; both 0 = none. A
    /// read that times out empty is simply issued again. Defaults 0.
    std::uint32_t ReadTotalTimeoutMultiplier() const { return m_timeouts.ReadTotalTimeoutMultiplier; }
    void setReadTotalTimeoutMultiplier(std::uint32_t value);
    std::uint32_t ReadTotalTimeoutConstant() const { return m_timeouts.ReadTotalTimeoutConstant; }
    void setReadTotalTimeoutConstant(std::uint32_t value);
    /// Total write time-out per block: multiplier x length + constant ms; both 0 = none. A block not out in
    /// time ends the writer after a hang-up request. Defaults 0.
    std::uint32_t WriteTotalTimeoutMultiplier() const { return m_timeouts.WriteTotalTimeoutMultiplier; }
    void setWriteTotalTimeoutMultiplier(std::uint32_t value);
    std::uint32_t WriteTotalTimeoutConstant() const { return m_timeouts.WriteTotalTimeoutConstant; }
    void setWriteTotalTimeoutConstant(std::uint32_t value);

    /// Opens the port named by CommName exclusively (no other opener, root included, may hold it),
    /// programs it and starts the reader and the writer. Throws ECommsError with "This serial port already
    /// opened" (the open port stays open), "没有打开串口,原因可能是串口被某个程序打开或者不存在" (absent, no
    /// access or held by another opener), "File handle is not a comm handle " (not a terminal), "Unable to
    /// create event", "Unable to create read thread" or "Unable to create write thread"; after any but the
    /// first the component is closed.
    void OpenPort();
    /// Stops both threads (waiting at most 10 s for each; a thread still running then is left detached with
    /// its resources) and closes the port; chunks already posted are still delivered. Nothing when closed.
    void ClosePort();
    /// Queues a copy of Length bytes for the writer and returns at once; blocks leave in call order. False,
    /// with nothing queued, when the port is closed, Length is 0 or the writer has ended. Never throws.
    bool WriteData(const void* Buffer, std::uint16_t Length);

    /// Maps a port name to its device path (see CommName).
    static std::string DevicePath(const std::string& name);
    /// How long ClosePort waits for each thread.
    static constexpr std::chrono::milliseconds kThreadStopTimeout{10000};

    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    /// A worker thread met a failure it cannot recover from (the device gone, a write that failed or timed
    /// out) and has ended; the component stays open until ClosePort.
    TNotifyEvent OnRequestHangup;
    /// The writer found its queue empty: once after the start and once after each run of writes.
    TSendDataEmptyEvent OnSendDataEmpty;
    /// How the events' handlers are run. Unset, a handler's exception is written to standard error with
    /// the event it came from, and the next event is handled as usual.
    THandlerRunner HandlerRunner;

private:
    template <typename T> void setDeviceControl(T LineSettings::*field, T value);
    void setTimeout(std::uint32_t PortTimeouts::*field, std::uint32_t value);
    void ApplyTimeouts();
    void ApplyDeviceControl();
    void StartThreads();
    void StopReaderThread();
    void StopWriterThread();
    void ReleasePort();
    void DispatchNotification(const Notification& message);
    void RaiseEvent(const std::function<void()>& handler);

    std::string m_commName = "COM2";
    LineSettings m_settings;
    PortTimeouts m_timeouts;
    std::shared_ptr<SerialPort> m_port;
    std::shared_ptr<WaitableEvent> StopEvent;
    std::unique_ptr<TReadThread> ReaderThread;
    std::unique_ptr<TWriteThread> WriterThread;
    std::unique_ptr<NotifyWindow> m_notifyWindow;
    std::shared_ptr<NotifyPoster> m_poster;
};

} // namespace kelvora
