#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

/// When the output frames go out. Each send puts its frame on the line twice, kCopySpacingMs apart. A
/// send's first copy is due at once when no copy is waiting, otherwise together with the previous send's
/// second copy, so back-to-back sends keep their spacing on the line. Nobody waits for a copy: the owner
/// hands over what is due whenever its clock reaches nextDue(). Times are milliseconds on that clock.
class OutputLine {
public:
    static constexpr std::int64_t kCopySpacingMs = 200;

    /// Plans both copies of frame for a send made at now.
    void send(const std::string& frame, std::int64_t now);
    /// The copies due at or before now, oldest first; they leave the plan.
    std::vector<std::string> takeDue(std::int64_t now);
    /// When the next copy is due; nothing when none waits.
    std::optional<std::int64_t> nextDue() const;
    bool idle() const { return m_copies.empty(); }

private:
    struct Copy {
        std::int64_t time;
        std::string bytes;
    };
    std::deque<Copy> m_copies;
};

} // namespace kelvora
