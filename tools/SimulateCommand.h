#pragma once

namespace kelvora {

/// kelvora-tool simulate [--port PATH] [--indicator toledo|yaohua] [--baud B] [--rate R]
///     [--products-per-minute P] [--mean M] [--sd S] [--noise N] [--threshold T] [--seed S] [--count N]
/// An indicator on a pseudo-terminal (or on --port PATH) that streams its readings with products passing
/// and reports, as JSON lines on standard output, its port, each product and each output frame it
/// receives. argv[0] is "simulate". Returns the exit status: 0 done, 2 bad arguments, 1 a port failure.
/// With KELVORA_MONOTONIC_TRACE set in the environment it also reports the clock and each reading written
/// (SimulatorSession::reportReadings).
int runSimulateCommand(int argc, char** argv);

} // namespace kelvora
