#pragma once

namespace kelvora {

/// `kelvora-tool report --db TARGET --from "YYYY-MM-DD HH:MM:SS" --to "YYYY-MM-DD HH:MM:SS" [--model M]
/// [--pdf FILE] [--csv FILE] [--unit kg|g]` (argv[0] is "report"): the figures of the records from
/// --from to --to (local times, both included), per model or of model M only, printed as a summary;
/// --pdf writes the shift report, --csv the records. --unit is the line's weight unit (default kg),
/// which the average-quantity rules need. Builds without the windows (KELVORA_GUI off) refuse --pdf.
/// Returns the exit code: 0 done, 1 failed (message on stderr), 2 usage error.
int runReportCommand(int argc, char** argv);

} // namespace kelvora
