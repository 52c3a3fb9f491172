#pragma once

namespace kelvora {

/// `kelvora-tool report --db TARGET --from "YYYY-MM-DD HH:MM:SS" --to "YYYY-MM-DD HH:MM:SS" [--model M]
/// [--pdf FILE] [--csv FILE] [--unit kg|g] [--regime china|eu|oiml] [--json] [--lots]
/// [--lot-split shift|hour] [--shifts HH:MM,...]` (argv[0] is "report"): the figures of the records from
/// --from to --to (local times, both included), per model or of model M only, printed as a summary;
/// --pdf writes the shift report, --csv the records. --unit is the line's weight unit (default kg),
/// which the net-content rules need; --regime the rules (default china). --json prints one JSON object a
/// line per model instead, --lots adds the lots (cut per shift of --shifts, default 00:00,08:00,16:00, or
/// per hour) with their verdicts and inspection readiness. Builds without the windows (KELVORA_GUI off)
/// refuse --pdf.
/// Returns the exit code: 0 done, 1 failed (message on stderr), 2 usage error.
int runReportCommand(int argc, char** argv);

} // namespace kelvora
