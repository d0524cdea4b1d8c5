#include "event_renewal.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Step = vx::EventRenewal::Step;

TEST(EventRenewal, FailedAttemptsWaitLongerUpToTheCapAndNeverStop) {
    vx::EventRenewal r;
    std::vector<unsigned> waits{r.Ended().delayMs};
    for (int i = 0; i < 8; ++i) {
        const Step next = r.Subscribed(false);
        ASSERT_TRUE(next.retry);
        waits.push_back(next.delayMs);
    }
    EXPECT_EQ(waits, (std::vector<unsigned>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000, 30000}));
}

TEST(EventRenewal, ASuccessResetsTheWait) {
    vx::EventRenewal r;
    r.Ended();
    r.Subscribed(false);
    r.Subscribed(false);
    EXPECT_EQ(r.Subscribed(true), Step{});
    EXPECT_FALSE(r.Pending());
    EXPECT_EQ(r.Checked(false), (Step{true, 1000}));
}

TEST(EventRenewal, OnlyAnEndOrAFailedCheckOrAttemptSchedulesOneAttempt) {
    struct Case {
        const char* what;
        Step (*act)(vx::EventRenewal&);
        Step expected;
    };
    const Case cases[] = {
        {"live check", [](vx::EventRenewal& r) { return r.Checked(true); }, Step{}},
        {"failed check", [](vx::EventRenewal& r) { return r.Checked(false); }, Step{true, 1000}},
        {"ended", [](vx::EventRenewal& r) { return r.Ended(); }, Step{true, 1000}},
        {"first subscription failed", [](vx::EventRenewal& r) { return r.Subscribed(false); }, Step{true, 1000}},
        {"first subscription made", [](vx::EventRenewal& r) { return r.Subscribed(true); }, Step{}},
    };
    for (const Case& c : cases) {
        vx::EventRenewal r;
        EXPECT_EQ(c.act(r), c.expected) << c.what;
        EXPECT_EQ(r.Pending(), c.expected.retry) << c.what;
        // While an attempt waits, neither an end nor a failed check adds one.
        if (r.Pending()) {
            EXPECT_EQ(r.Ended(), Step{}) << c.what;
            EXPECT_EQ(r.Checked(false), Step{}) << c.what;
        }
    }
}

}  // namespace
