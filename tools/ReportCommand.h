#pragma once

namespace kelvora {

/// `kelvora-tool report --db TARGET --from "YYYY-MM-DD HH:MM:SS" --to "YYYY-MM-DD HH:MM:SS" [--model M]
/// [--pdf FILE] [--csv FILE] [--unit kg|g] [--regime china|eu|oiml] [--json] [--lots]
/// [--lot-split shift|hour] [--shifts HH:MM,...] [--sign USER --meaning M] [--ini FILE]` (argv[0] is "report"): the figures of the records from
/// --from to --to (local times, both included), per model or of model M only, printed as a summary;
/// --pdf writes the shift report, --csv the records. --unit is the line's weight unit (default kg),
/// which the net-content rules need; --regime the rules (default china). --json prints one JSON object a
/// line per model instead, --lots adds the lots (cut per shift of --shifts, default 00:00,08:00,16:00, or
/// per hour) with their verdicts and inspection readiness. Builds without the windows (KELVORA_GUI off)
/// refuse --pdf. Every report verifies the links of the range's rows (a warning on stderr and in the PDF
/// when they break) and gives each station's legal counter. --sign USER --meaning 审核|批准 (reviewed,
/// approved) signs the PDF: the password is the first line of standard input, checked as the login
/// checks it (the station's [安全] from --ini FILE, else accounts' rules), and the signature is recorded
/// in the audit trail (the station of --ini's [站点] 名称, else the host name); a refused password
/// writes no PDF and exits 1.
/// Returns the exit code: 0 done, 1 failed (message on stderr), 2 usage error.
int runReportCommand(int argc, char** argv);

} // namespace kelvora
