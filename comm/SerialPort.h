#pragma once

#include "comm/LineSettings.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kelvora {

/// A manual-reset event: once set it stays set until reset. It can be waited on together with a port.
class WaitableEvent {
public:
    /// A new, unset event; nullptr when the system cannot create one.
    static std::shared_ptr<WaitableEvent> create();
    ~WaitableEvent();
    WaitableEvent(const WaitableEvent&) = delete;
    WaitableEvent& operator=(const WaitableEvent&) = delete;

    void set();
    void reset();
    bool isSet() const;
    int nativeHandle() const { return m_handle; }

private:
    explicit WaitableEvent(int handle) : m_handle(handle) {}
    int m_handle;
};

/// The outcome of a read or a write on a port.
enum class IoStatus {
    Done,          ///< count bytes were transferred (at least one)
    WouldBlock,    ///< nothing can be transferred now
    EndOfStream,   ///< the device has gone away (the other side hung up)
    InvalidHandle, ///< the port was closed under the caller
    Failed,        ///< any other error
};

struct IoResult {
    IoStatus status;
    std::size_t count = 0;
};

/// The outcome of waiting on a port and events.
enum class WaitResult { Stopped, PortReady, EventSet, TimedOut, Failed };

/// The outcome of asking the driver for line state that not every driver offers.
enum class QueryStatus { Ok, NotAvailable, InvalidHandle, Failed };

/// Counts of line events since the port was opened, where the driver keeps them.
struct LineCounters {
    std::uint32_t frame = 0;
    std::uint32_t overrun = 0;
    std::uint32_t parity = 0;
    std::uint32_t brk = 0;
    std::uint32_t bufOverrun = 0;
    std::uint32_t dcd = 0;
    std::uint32_t rng = 0;
};

/// The modem input lines.
struct ModemLines {
    bool carrierDetect = false;
    bool ring = false;
    bool dsr = false;
};

/// What the reader needs of the settings to turn the driver's input into data: the options Linux leaves
/// to user space.
struct ReceiveOptions {
    bool parityCheck = false;
    bool parityEnabled = false;
    bool replaceParityErrors = false;
    bool ignoreNullChar = false;
    bool dsrSensitivity = false;
    std::uint8_t replacedChar = 0;
};

/// One open serial port, opened exclusively. All waits go through wait(), never through a blocking call,
/// so that a stop event always ends them. Shared by the component and its two threads; the device is
/// released when the last holder lets go. The platform's implementation comes from open(); the settings
/// the threads read (time-outs, receive options) are kept here, safe to change while they run.
class SerialPort {
public:
    enum class OpenStatus { Opened, Unavailable, NotATerminal };
    enum class Direction { None, Read, Write };

    /// Opens the device at path for reading and writing, exclusively (no other opener, root included, can
    /// hold it at the same time). Unavailable: absent, no access, or held by another opener.
    static OpenStatus open(const std::string& path, std::shared_ptr<SerialPort>& port);
    virtual ~SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    /// The handle of the open device; never 0.
    virtual std::uint32_t handle() const = 0;

    /// Programs the line from settings. False when the device did not take them all: a combination it
    /// cannot have (1.5 stop bits with more than 5 data bits) changes nothing, otherwise what it took holds.
    virtual bool applySettings(const LineSettings& settings) = 0;
    /// Drops what the driver holds of input and/or output.
    virtual void purge(bool input, bool output) = 0;

    virtual IoResult read(std::uint8_t* buffer, std::size_t size) = 0;
    virtual IoResult write(const std::uint8_t* data, std::size_t size) = 0;

    /// Waits until stop is set (Stopped, checked first), the port is ready for direction or has gone away
    /// (PortReady), event is set (EventSet), or deadline passes (TimedOut; none: no deadline).
    virtual WaitResult wait(const WaitableEvent& stop, Direction direction, const WaitableEvent* event,
                            std::optional<std::chrono::steady_clock::time_point> deadline) = 0;

    /// Error counts since opening; NotAvailable where the driver keeps none.
    virtual QueryStatus counters(LineCounters& counters) const = 0;
    /// The modem input lines; NotAvailable where the driver cannot show them.
    virtual QueryStatus modemLines(ModemLines& lines) const = 0;

    /// The time-outs that the reader and the writer use from their next operation on.
    void setTimeouts(const PortTimeouts& timeouts);
    PortTimeouts timeouts() const;
    /// The options of the last settings applied.
    ReceiveOptions receiveOptions() const;

protected:
    SerialPort() = default;
    /// Called by applySettings.
    void storeReceiveOptions(const LineSettings& settings);

private:
    std::atomic<std::uint32_t> m_readInterval{0};
    std::atomic<std::uint32_t> m_readMultiplier{0};
    std::atomic<std::uint32_t> m_readConstant{0};
    std::atomic<std::uint32_t> m_writeMultiplier{0};
    std::atomic<std::uint32_t> m_writeConstant{0};
    std::atomic<std::uint32_t> m_receiveOptions{0};
};

/// Raises the calling thread's scheduling priority by steps where the system allows it; silently keeps
/// the priority where it does not (an unprivileged process cannot raise it on Linux).
void raiseCurrentThreadPriority(int steps);

} // namespace kelvora
