#pragma once

namespace kelvora {

/// kelvora-tool monitor --port PATH [--ini FILE] [--script FILE] [--record FILE] [--seconds N]
/// The live station without a window: the configuration loaded from --ini (the port name replaced by
/// --port), Comm1 opened, the weighing core on it, and the trace on standard output ("t" in ms since the
/// start). --script applies its lines at their times, --record writes the session as a station script
/// that `kelvora-tool replay` reproduces. Ends after --seconds, at a script's close line, or on SIGINT or
/// SIGTERM, closing the port. argv[0] is "monitor". Returns 0, 2 for bad arguments or a bad script, 1 when
/// the port does not open or a file cannot be written.
int runMonitorCommand(int argc, char** argv);

} // namespace kelvora
