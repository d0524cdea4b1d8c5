#include "eco_schemes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using vx::SchemeId;

constexpr SchemeId kBalanced = {0x381B4222, 0xF694, 0x41F0, {0x96, 0x85, 0xFF, 0x5B, 0xB2, 0x60, 0xDF, 0x2E}};
constexpr SchemeId kHigh = {0x8C5E7FDA, 0xE8BF, 0x4A96, {0x9A, 0x85, 0xA6, 0xE2, 0x3A, 0x8C, 0x63, 0x5C}};

// Power schemes as Windows keeps them: deleting the active one is refused,
// only existing schemes can be made active; calls can be made to fail.
struct FakePower : vx::PowerSchemeCalls {
    std::vector<SchemeId> schemes{kBalanced, kHigh, vx::kPowerSaverScheme};
    SchemeId active = kBalanced;
    bool fileReadable = true;
    bool denySetActive = false;
    bool denyDelete = false;
    int calls = 0;
    int deletes = 0;
    int failNext = 0;  // the next N calls, whichever, fail and change nothing

    bool Failing() {
        if (failNext == 0) return false;
        --failNext;
        return true;
    }

    bool Has(const SchemeId& s) const { return std::find(schemes.begin(), schemes.end(), s) != schemes.end(); }
    bool GetActive(SchemeId& out) override {
        ++calls;
        if (Failing()) return false;
        out = active;
        return true;
    }
    bool ImportEcoFile(const SchemeId& as) override {
        ++calls;
        if (Failing() || !fileReadable) return false;
        if (!Has(as)) schemes.push_back(as);
        return true;
    }
    bool SetActive(const SchemeId& s) override {
        ++calls;
        if (Failing() || denySetActive || !Has(s)) return false;
        active = s;
        return true;
    }
    bool Delete(const SchemeId& s) override {
        ++calls;
        ++deletes;
        if (Failing() || denyDelete || s == active || !Has(s)) return false;
        schemes.erase(std::find(schemes.begin(), schemes.end(), s));
        return true;
    }
    vx::Enumerated Enumerate(unsigned index, SchemeId& out) override {
        ++calls;
        if (Failing()) return vx::Enumerated::Failed;
        if (index >= schemes.size()) return vx::Enumerated::End;
        out = schemes[index];
        return vx::Enumerated::Scheme;
    }
};

TEST(EcoSchemes, OnThenOffReturnsToTheSchemeActiveBefore) {
    FakePower power;
    power.active = kHigh;
    vx::EcoSchemes eco(power);
    ASSERT_TRUE(eco.Enable());
    EXPECT_EQ(power.active, vx::kEcoScheme);
    EXPECT_EQ(eco.SavedScheme(), kHigh);
    // A second switch-on keeps the scheme to return to.
    ASSERT_TRUE(eco.Enable());
    EXPECT_EQ(eco.SavedScheme(), kHigh);
    ASSERT_TRUE(eco.Disable(vx::kRestoreSavedScheme));
    EXPECT_EQ(power.active, kHigh);
    EXPECT_FALSE(power.Has(vx::kEcoScheme));
}

TEST(EcoSchemes, RemoveActsOnlyOnAnExistingEcoScheme) {
    struct Case {
        bool ecoPresent;
        int mode;
        SchemeId activeAfter;
    } cases[] = {
        {false, vx::kRestoreSavedScheme, kHigh},
        {false, vx::kRestorePowerSaver, kHigh},
        // A leftover from an earlier run: nothing saved, Power saver either way.
        {true, vx::kRestoreSavedScheme, vx::kPowerSaverScheme},
        {true, vx::kRestorePowerSaver, vx::kPowerSaverScheme},
    };
    for (const auto& c : cases) {
        FakePower power;
        power.active = kHigh;
        if (c.ecoPresent) {
            power.schemes.push_back(vx::kEcoScheme);
            power.active = vx::kEcoScheme;
        }
        vx::EcoSchemes eco(power);
        eco.Remove(c.mode);
        EXPECT_EQ(power.active, c.activeAfter) << c.ecoPresent << " " << c.mode;
        EXPECT_FALSE(power.Has(vx::kEcoScheme));
        EXPECT_EQ(power.schemes.size(), 3u);
    }
}

// The firmware's ECO bit can be set while Windows never entered ECO (left by
// an earlier run, or set by the firmware): the ECO key then reads "off", and
// leaving ECO must not replace the user's plan.
TEST(EcoSchemes, LeavingEcoWithoutAnEcoSchemeChangesNothing) {
    for (int mode : {vx::kRestoreSavedScheme, vx::kRestorePowerSaver}) {
        for (bool everEnabled : {false, true}) {
            FakePower power;
            power.active = kBalanced;
            vx::EcoSchemes eco(power);
            if (everEnabled) {  // ECO on, then its scheme removed by someone else
                ASSERT_TRUE(eco.Enable());
                power.active = kBalanced;
                ASSERT_TRUE(power.Delete(vx::kEcoScheme));
            }
            power.active = kHigh;
            power.deletes = 0;
            EXPECT_TRUE(eco.Disable(mode)) << mode << everEnabled;
            EXPECT_EQ(power.active, kHigh) << mode << everEnabled;
            EXPECT_EQ(power.deletes, 0) << mode << everEnabled;
            EXPECT_EQ(power.schemes.size(), 3u);
        }
    }
}

TEST(EcoSchemes, SavedSchemeGoneMeanwhileFallsBackToPowerSaver) {
    FakePower power;
    power.active = kHigh;
    vx::EcoSchemes eco(power);
    ASSERT_TRUE(eco.Enable());
    power.schemes.erase(std::find(power.schemes.begin(), power.schemes.end(), kHigh));
    EXPECT_TRUE(eco.Disable(vx::kRestoreSavedScheme));
    EXPECT_EQ(power.active, vx::kPowerSaverScheme);
    EXPECT_FALSE(power.Has(vx::kEcoScheme));
}

TEST(EcoSchemes, FailingCallsGiveUpAfterTheBoundLeavingNoHalfMadeState) {
    {
        FakePower power;  // the scheme file is missing
        power.fileReadable = false;
        vx::EcoSchemes eco(power);
        EXPECT_FALSE(eco.Enable());
        EXPECT_EQ(power.calls, 1 + vx::kPowerCallTries);
        EXPECT_EQ(power.active, kBalanced);
        EXPECT_FALSE(power.Has(vx::kEcoScheme));
    }
    {
        FakePower power;  // no right to change the active scheme
        power.denySetActive = true;
        vx::EcoSchemes eco(power);
        EXPECT_FALSE(eco.Enable());
        EXPECT_EQ(power.active, kBalanced);
        EXPECT_FALSE(power.Has(vx::kEcoScheme));
        EXPECT_LE(power.calls, 2 + 2 * vx::kPowerCallTries);
    }
    {
        FakePower power;  // no right to delete: ECO stays only while nothing else could be made active
        vx::EcoSchemes eco(power);
        ASSERT_TRUE(eco.Enable());
        power.denyDelete = true;
        EXPECT_FALSE(eco.Disable(vx::kRestoreSavedScheme));
        EXPECT_EQ(power.deletes, vx::kPowerCallTries);
        EXPECT_EQ(power.active, kBalanced);
    }
}

// Calls that fail a few times in a row (fewer than the tries) are tried past
// wherever they come; a listing that keeps failing is never read as a list
// without the ECO scheme, so leaving ECO then changes nothing and says so.
TEST(EcoSchemes, FailuresInARowAreTriedPastAndAFailedListingIsNoAnswer) {
    for (int n = 1; n < vx::kPowerCallTries; ++n) {
        SCOPED_TRACE(testing::Message() << n << " failing calls");
        FakePower power;
        power.active = kHigh;
        vx::EcoSchemes eco(power);
        power.failNext = n;
        ASSERT_TRUE(eco.Enable());
        EXPECT_EQ(power.active, vx::kEcoScheme);
        power.failNext = n;
        EXPECT_EQ(eco.EcoSchemeExists(), true);
        power.failNext = n;
        ASSERT_TRUE(eco.Disable(vx::kRestoreSavedScheme));
        EXPECT_EQ(power.active, kHigh);
        EXPECT_FALSE(power.Has(vx::kEcoScheme));
    }
    FakePower power;
    vx::EcoSchemes eco(power);
    ASSERT_TRUE(eco.Enable());
    power.failNext = 1000;
    EXPECT_EQ(eco.EcoSchemeExists(), std::nullopt);
    EXPECT_FALSE(eco.Disable(vx::kRestoreSavedScheme));
    EXPECT_FALSE(eco.Enable());
    EXPECT_EQ(power.active, vx::kEcoScheme);  // nothing changed, nothing claimed
    power.failNext = 0;
    EXPECT_TRUE(eco.Disable(vx::kRestoreSavedScheme));
    EXPECT_EQ(power.active, kBalanced);
    EXPECT_FALSE(power.Has(vx::kEcoScheme));
}

TEST(EcoSchemes, OnlyTheFirstLeftoverModeSchemeFoundIsDeleted) {
    FakePower power;
    const SchemeId office = vx::kEcoModeSchemes[3], gaming = vx::kEcoModeSchemes[0];
    power.schemes.push_back(office);
    power.schemes.push_back(gaming);
    power.active = office;
    vx::EcoSchemes eco(power);
    EXPECT_TRUE(eco.RemoveLeftoverModeScheme());
    EXPECT_FALSE(power.Has(office));
    EXPECT_TRUE(power.Has(gaming));
    EXPECT_EQ(power.active, vx::kPowerSaverScheme);

    FakePower clean;
    clean.active = kHigh;
    vx::EcoSchemes none(clean);
    EXPECT_FALSE(none.RemoveLeftoverModeScheme());
    EXPECT_EQ(clean.active, kHigh);
    EXPECT_EQ(clean.schemes.size(), 3u);
}

}  // namespace
