#pragma once

#include "weighing/StationHost.h"

#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvora {

/// A script line that cannot be used; what() names the line number.
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ScriptVerb { Chunk, Set, Select, Click, Close };

/// The latest time a script line may carry (about 31 years), so that a timer scheduled from it can never
/// overflow the clock.
inline constexpr std::int64_t kMaxScriptTime = 1'000'000'000'000;

/// One line of a station script: `T chunk HEX`, `T set NAME TEXT`, `T select NAME STD UPPER LOWER`,
/// `T click BUTTON` or `T close`, T in whole milliseconds from 0 to kMaxScriptTime.
struct ScriptCommand {
    int lineNumber = 0;
    std::int64_t time = 0;
    ScriptVerb verb = ScriptVerb::Close;
    std::string bytes;              ///< chunk: the received bytes
    Control control = Control::Et1; ///< set: the control
    std::string text;               ///< set: the new text; select: the model name; click: the button name
    double standard = 0.0;          ///< select: the model's standard weight
    double upper = 0.0;             ///< select: the upper limit
    double lower = 0.0;             ///< select: the lower limit
};

/// Reads a station script line by line (UTF-8; blank lines and lines starting with "#" are skipped).
/// Buttons a click may name: BtnClear, BtnWordWrap, BtnSetTabs, BtnBullets, OpenPort, ClosePort.
class StationScript {
public:
    explicit StationScript(std::istream& in) : m_in(in) {}

    /// The next command, or nothing at the end. Throws ScriptError for a bad line or a time that decreases.
    std::optional<ScriptCommand> next();

    /// One line on its own, without the check on the order of times.
    static ScriptCommand parseLine(std::string_view line, int lineNumber);

    /// The bytes as a chunk line's hexadecimal pairs, upper case, without blanks.
    static std::string toHex(std::string_view bytes);

private:
    std::istream& m_in;
    int m_lineNumber = 0;
    std::int64_t m_lastTime = 0;
};

} // namespace kelvora
