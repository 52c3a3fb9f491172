#pragma once

#include <cstdint>
#include <string>

namespace kelvora {

/// The simulator's end of the serial line: the master side of a pseudo-terminal pair (the station opens
/// the slave side by its path), or a serial device given by path. Non-blocking; every wait goes through
/// wait(). Failures throw std::runtime_error with the system's reason. Linux only (SimulatorPort.cpp holds
/// every platform call of the simulator).
class SimulatorPort {
public:
    enum class WaitResult { Readable, Timeout };

    /// A new pseudo-terminal pair in raw mode. The slave side is closed again at once, so that the
    /// pair shows whether the station has its side open (see stationPresent()).
    static SimulatorPort openPseudoTerminal();
    /// A serial device (or another program's pseudo-terminal) in raw mode at the given rate: 7 data bits
    /// with even parity, or 8 data bits without parity; 1 stop bit.
    static SimulatorPort openDevice(const std::string& path, int baud, bool sevenEven);

    SimulatorPort(SimulatorPort&& other) noexcept;
    SimulatorPort& operator=(SimulatorPort&&) = delete;
    SimulatorPort(const SimulatorPort&) = delete;
    SimulatorPort& operator=(const SimulatorPort&) = delete;
    ~SimulatorPort();

    /// The path the station opens.
    const std::string& stationPath() const { return m_stationPath; }

    /// Whether anyone is on the other end: for a pseudo-terminal, whether the station has its side open;
    /// always true for a device.
    bool stationPresent() const;

    /// Waits until bytes can be read or the time-out (nanoseconds, 0 = just look) has passed. While the
    /// station is away, only sleeps.
    WaitResult wait(std::int64_t timeoutNanos) const;

    /// Writes as much as the line takes now; returns the number of bytes written (0 when it takes none).
    std::size_t write(const char* data, std::size_t length);
    /// Whatever has arrived (possibly nothing). Empty also when the station side is closed.
    std::string read();

private:
    SimulatorPort(int fd, std::string stationPath, bool pseudoTerminal);

    int m_fd = -1;
    std::string m_stationPath;
    bool m_pseudoTerminal = false;
};

} // namespace kelvora
