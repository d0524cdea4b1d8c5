// When the tray program subscribes again to the firmware's events. Its
// subscription can end under it (Windows' WMI service stopped or restarted):
// the bridge says so, or a periodic check finds the connection behind it
// gone. The program then subscribes again after a wait that doubles with
// each failed attempt, up to a cap, and never gives up while it runs; a
// successful subscription resets the wait.
#pragma once

namespace vx {

// How often the program asks whether its subscription still stands: one
// cheap call to the WMI service, so a subscription that ended without a word
// is noticed within a few seconds at a cost nobody sees.
inline constexpr unsigned kEventsCheckPeriodMs = 3000;
// Waits before the attempts: 1 s, 2 s, 4 s, 8 s, 16 s, then 30 s each.
inline constexpr unsigned kEventsRetryFirstMs = 1000;
inline constexpr unsigned kEventsRetryMaxMs = 30000;

class EventRenewal {
public:
    // What the window does next: nothing, or try to subscribe after delayMs.
    struct Step {
        bool retry = false;
        unsigned delayMs = 0;
        bool operator==(const Step&) const = default;
    };

    // The outcome of a subscription attempt (the first one included).
    Step Subscribed(bool ok);
    // The bridge said the subscription ended.
    Step Ended();
    // The outcome of the periodic check.
    Step Checked(bool alive);
    // Whether an attempt is waiting (checks and ends change nothing then).
    bool Pending() const { return m_pending; }

private:
    Step Schedule();

    bool m_pending = false;
    unsigned m_failures = 0;  // attempts scheduled since the last success
};

}  // namespace vx
