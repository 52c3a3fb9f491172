#pragma once

namespace kelvora {

/// `kelvora-tool replay [--ini FILE] [--db TARGET] [--summary] SCRIPT`: runs the weighing core on a station
/// script under a virtual clock and prints the trace (or, with --summary, a summary) to standard output;
/// with --db the verdicts are stored, one row per product.
/// Exit status 0; 1 when some rows could not be stored (they are kept in unsaved-records.csv); 2 for a bad
/// script line, bad arguments or a database that does not open.
int runReplayCommand(int argc, char** argv);

} // namespace kelvora
