#pragma once

#include "simulator/IndicatorSimulation.h"
#include "simulator/OutputFrameReader.h"
#include "simulator/SimulatorPort.h"

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace kelvora {

/// Plays an indicator simulation onto a port in real time and reports, as JSON lines, the port, each
/// product as it starts, each output frame the station sends back, and the end:
///   {"ev":"port","path":P} {"ev":"product","n":N,"weight":W,"t":MS} {"ev":"frame","t":MS,"hex":H}
///   {"ev":"done","products":N}
/// and, when they happen, {"ev":"xoff","t":MS} / {"ev":"xon","t":MS} (the station's flow control),
/// {"ev":"stray","t":MS,"hex":H} (bytes from the station that are no output frame) and, before "done",
/// {"ev":"lost","bytes":N} (bytes the station's side did not take in time). "t" counts milliseconds from
/// the session's construction. Each line is flushed at once.
///
/// A polled indicator (IndicatorKind::Sics) sends nothing of itself: its readings follow the same
/// schedule, and each request "SI" CR LF from the station is answered at once with the latest reading
/// (requests are not reported as stray bytes; one that comes while an answer is on the line is answered
/// after it).
///
/// Pacing: each byte is handed to the port when its last bit would have left the line at the
/// simulation's baud rate. XOFF stops the line after the byte in progress; XON resumes the interrupted
/// frame, and readings that fell due meanwhile are skipped, as a continuous-output indicator does. On a
/// pseudo-terminal the stream starts when the station first opens its side, and readings that fall due
/// while the station has its side closed go nowhere.
class SimulatorSession {
public:
    SimulatorSession(IndicatorSimulation& simulation, SimulatorPort& port, std::ostream& out);

    /// Runs the whole simulation; returns the number of products passed.
    int run();

    /// Also reports, right after the port, {"ev":"clock","monotonic_ns":N}, the steady clock at "t" 0, and
    /// each reading once its last byte is handed to the port, {"ev":"reading","monotonic_ns":N,"hex":H}.
    /// The steady clock is CLOCK_MONOTONIC on Linux, which every process reads alike: a benchmark joins
    /// these times with the station's.
    void reportReadings(bool on) { m_reportReadings = on; }

private:
    using Clock = std::chrono::steady_clock;

    std::int64_t nanosSinceStart() const;
    long long millisSinceStart() const { return nanosSinceStart() / 1000000; }
    void announceProduct(const ProductStart& product, std::int64_t startNanos);
    bool loadNextReading(std::int64_t lineFreeNanos);
    void sendDueBytes(std::int64_t now);
    void readStation();
    void report(const StationOutput& output);
    void reportReading(const std::string& frame);
    bool polled() const { return m_simulation.indicator() == IndicatorKind::Sics; }
    /// Polled: the readings due by now become the latest, the answers due go out.
    void answerRequests(std::int64_t now);
    /// Polled: takes the requests out of the station's bytes; returns the rest.
    std::string takeRequests(const std::string& bytes);

    IndicatorSimulation& m_simulation;
    SimulatorPort& m_port;
    std::ostream& m_out;
    OutputFrameReader m_reader;
    Clock::time_point m_start;
    std::int64_t m_streamStart = 0;
    std::optional<Reading> m_current;
    std::int64_t m_frameStart = 0;
    std::size_t m_sent = 0;
    bool m_held = false;
    std::int64_t m_heldAt = 0;
    int m_products = 0;
    std::uint64_t m_lost = 0;
    bool m_reportReadings = false;
    std::string m_latest;      ///< polled: the latest reading's frame
    std::string m_requestTail; ///< polled: the start of a request cut by the read
    int m_requests = 0;        ///< polled: requests not yet answered
    std::string m_answer;
    std::int64_t m_answerStart = 0;
    std::size_t m_answerSent = 0;
};

} // namespace kelvora
