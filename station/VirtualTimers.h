#pragma once

#include "weighing/StationHost.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace kelvora {

/// The two window timers on a virtual clock. Timers due at the same time fire in the order they were
/// scheduled; a repeated timer keeps its place.
class VirtualTimers {
public:
    struct Due {
        Timer timer;
        std::int64_t time;
    };

    /// The timer falls due at time (replacing any earlier schedule).
    void schedule(Timer timer, std::int64_t time) { m_due[index(timer)] = Slot{time, m_nextOrder++}; }
    void cancel(Timer timer) { m_due[index(timer)].reset(); }
    /// A fired timer is due again at time, keeping its order among timers due at one time.
    void repeat(Timer timer, std::int64_t time) { m_due[index(timer)]->time = time; }

    /// The timer due first before limit, or nothing.
    std::optional<Due> nextBefore(std::int64_t limit) const {
        std::optional<std::size_t> next;
        for (std::size_t i = 0; i < m_due.size(); ++i) {
            if (m_due[i] && m_due[i]->time < limit &&
                (!next || m_due[i]->time < m_due[*next]->time ||
                 (m_due[i]->time == m_due[*next]->time && m_due[i]->order < m_due[*next]->order))) {
                next = i;
            }
        }
        if (!next) {
            return std::nullopt;
        }
        return Due{static_cast<Timer>(*next), m_due[*next]->time};
    }

private:
    struct Slot {
        std::int64_t time;
        std::uint64_t order;
    };
    static std::size_t index(Timer timer) { return static_cast<std::size_t>(timer); }

    std::uint64_t m_nextOrder = 0;
    std::array<std::optional<Slot>, 2> m_due;
};

} // namespace kelvora
