#include "tools/ReportSigning.h"

#include "app/config/StationConfig.h"
#include "data/AuditTrail.h"
#include "users/SignatureCheck.h"

#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kelvora {

namespace {

// Echo off on the terminal for as long as the object lives.
class NoEcho {
public:
    NoEcho() : m_terminal(isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &m_saved) == 0) {
        if (!m_terminal)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::fputs("签名密码: ", stderr);
    }
    ~NoEcho() {
        if (!m_terminal)
            return;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
        std::fputs("\n", stderr);
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    termios m_saved{};
    bool m_terminal;
};

} // namespace

std::optional<SignatureRequest> signatureRequest(const CommandArguments& arguments) {
    if (!arguments.has("sign")) {
        if (arguments.has("meaning"))
            throw std::invalid_argument("--meaning needs --sign USER");
        return std::nullopt;
    }
    if (!arguments.has("pdf"))
        throw std::invalid_argument("--sign needs --pdf FILE: only the PDF report is signed");
    const std::string meaning = arguments.text("meaning", "");
    SignatureRequest request{QString::fromStdString(arguments.text("sign", "")).trimmed(), {}};
    if (meaning == "审核" || meaning == "reviewed")
        request.meaning = QStringLiteral("审核");
    else if (meaning == "批准" || meaning == "approved")
        request.meaning = QStringLiteral("批准");
    else
        throw std::invalid_argument("--meaning is 审核 (reviewed) or 批准 (approved), not '" + meaning + "'");
    if (request.signer.isEmpty())
        throw std::invalid_argument("--sign needs the signer's user name");
    return request;
}

QString readPassword() {
    const NoEcho quiet;
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

std::unique_ptr<AuditTrail> verifiedSigner(TADOConnection& connection, const QString& target,
                                           const SignatureRequest& request, const QString& password,
                                           const std::string& iniPath) {
    AccountSettings accounts;
    accounts.enabled = true;
    QString station;
    if (!iniPath.empty()) {
        accounts = StationConfig::loadAccounts(iniPath);
        station = QString::fromStdString(StationConfig::stationName(iniPath).value_or(std::string()));
    }
    auto trail = std::make_unique<AuditTrail>(target, station);
    SignatureCheck(connection, accounts, trail.get()).verify(request.signer, password);
    return trail;
}

} // namespace kelvora
