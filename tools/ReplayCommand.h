#pragma once

namespace kelvora {

/// `kelvora-tool replay [--ini FILE] [--summary] SCRIPT`: runs the weighing core on a station script under a
/// virtual clock and prints the trace (or, with --summary, a summary) to standard output.
/// Exit status 0, or 2 for a bad script line or bad arguments.
int runReplayCommand(int argc, char** argv);

} // namespace kelvora
