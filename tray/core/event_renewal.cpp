#include "event_renewal.h"

namespace vx {

EventRenewal::Step EventRenewal::Schedule() {
    m_pending = true;
    unsigned delay = kEventsRetryFirstMs;
    for (unsigned i = 0; i < m_failures && delay < kEventsRetryMaxMs; ++i) delay *= 2;
    if (delay > kEventsRetryMaxMs) delay = kEventsRetryMaxMs;
    if (delay < kEventsRetryMaxMs) ++m_failures;  // stops growing at the cap
    return {true, delay};
}

EventRenewal::Step EventRenewal::Subscribed(bool ok) {
    m_pending = false;
    if (ok) {
        m_failures = 0;
        return {};
    }
    return Schedule();
}

EventRenewal::Step EventRenewal::Ended() { return m_pending ? Step{} : Schedule(); }

EventRenewal::Step EventRenewal::Checked(bool alive) { return alive || m_pending ? Step{} : Schedule(); }

}  // namespace vx
