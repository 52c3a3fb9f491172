#pragma once

#include "tools/CommandArguments.h"

#include <memory>
#include <optional>
#include <string>

#include <QString>

namespace kelvora {

class AuditTrail;
class TADOConnection;

/// A signature asked for on report's command line: --sign USER --meaning 审核|批准 (also reviewed|approved).
struct SignatureRequest {
    QString signer;
    QString meaning; ///< 审核 or 批准
};

/// The signature the arguments ask for; nullopt without --sign. Throws std::invalid_argument (a usage
/// error) for --sign without --pdf or --meaning, --meaning without --sign, or another meaning.
std::optional<SignatureRequest> signatureRequest(const CommandArguments& arguments);

/// The signer's password: the first line of standard input without its line end, typed without echo
/// when standard input is a terminal (a prompt goes to standard error then). Empty when there is none.
QString readPassword();

/// Checks `password` as the station's login would (its [安全] section from `iniPath`; none: the rules of
/// accounts with their defaults) and gives the trail the signature is to be recorded in (the station
/// [站点] 名称 of `iniPath`, else the host name). Throws SignatureRefused for a wrong password, a locked
/// user or an initial password; DatabaseError when the database fails.
std::unique_ptr<AuditTrail> verifiedSigner(TADOConnection& connection, const QString& target,
                                           const SignatureRequest& request, const QString& password,
                                           const std::string& iniPath);

} // namespace kelvora
