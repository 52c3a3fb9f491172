#pragma once

#include "weighing/StationHost.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace kelvora {

/// The two window timers and the weighing core's wake-up on a virtual clock. Timers due at the same time
/// fire in the order they were scheduled; a repeated timer keeps its place; a wake-up goes before a timer
/// due at the same time.
class VirtualTimers {
public:
    /// The core's wake-up is wanted at time (replacing the earlier one), or no more.
    void setWake(std::optional<std::int64_t> time) { m_wake = time; }
    bool wakePending() const { return m_wake.has_value(); }

    /// Runs, earliest first, the wake-ups due at or before limit and the timers due before it, moving now
    /// to each: onWake for a wake-up, onTimer for a timer, which is due again `interval(timer)` later
    /// (a window timer repeats until its handler disables it).
    void runDue(std::int64_t limit, std::int64_t& now, const std::function<int(Timer)>& interval,
                const std::function<void()>& onWake, const std::function<void(Timer)>& onTimer) {
        for (;;) {
            const std::optional<Due> due = nextBefore(limit);
            if (m_wake && *m_wake <= limit && (!due || *m_wake <= due->time)) {
                now = std::max(now, *m_wake);
                m_wake.reset();
                onWake();
            } else if (due) {
                now = std::max(now, due->time);
                repeat(due->timer, now + interval(due->timer));
                onTimer(due->timer);
            } else {
                return;
            }
        }
    }
    /// Runs the wake-ups alone while more() holds, each at its time (the output after the close).
    void runWakes(std::int64_t& now, const std::function<bool()>& more, const std::function<void()>& onWake) {
        while (more() && m_wake) {
            now = std::max(now, *m_wake);
            m_wake.reset();
            onWake();
        }
    }

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
    std::optional<std::int64_t> m_wake;
};

} // namespace kelvora
