#include "eco_schemes.h"

#include <cstring>

namespace vx {

bool operator==(const SchemeId& a, const SchemeId& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

bool EcoSchemes::SetActiveRepeated(const SchemeId& scheme) {
    return Repeat([&] { return m_calls.SetActive(scheme); });
}

bool EcoSchemes::DeleteRepeated(const SchemeId& scheme) {
    return Repeat([&] { return m_calls.Delete(scheme); });
}

template <typename Match>
std::optional<bool> EcoSchemes::FindScheme(Match match, SchemeId& found) {
    SchemeId scheme{};
    for (unsigned i = 0; i < kMaxEnumeratedSchemes; ++i) {
        Enumerated step = Enumerated::Failed;
        for (int t = 0; t < kPowerCallTries && step == Enumerated::Failed; ++t) step = m_calls.Enumerate(i, scheme);
        if (step == Enumerated::Failed) return std::nullopt;
        if (step == Enumerated::End) return false;
        if (match(scheme)) {
            found = scheme;
            return true;
        }
    }
    return false;
}

bool EcoSchemes::Enable() {
    SchemeId active{};
    if (!Repeat([&] { return m_calls.GetActive(active); })) return false;
    // ECO already active (switched on twice): the scheme to return to stays.
    if (!(active == kEcoScheme)) m_saved = active;
    if (!Repeat([&] { return m_calls.ImportEcoFile(kEcoScheme); })) return false;
    if (SetActiveRepeated(kEcoScheme)) return true;
    DeleteRepeated(kEcoScheme);
    return false;
}

bool EcoSchemes::Disable(int restoreMode) {
    // ECO is on for Windows exactly while its scheme exists: without it there
    // is nothing to leave, and the user's plan stays as it is (the firmware's
    // ECO bit may be set while Windows never entered ECO).
    const std::optional<bool> exists = EcoSchemeExists();
    if (!exists) return false;
    if (!*exists) return true;
    bool restored = false;
    if (restoreMode != kRestorePowerSaver && m_saved) restored = SetActiveRepeated(*m_saved);
    if (!restored) restored = SetActiveRepeated(kPowerSaverScheme);
    // Without another active scheme the ECO scheme cannot be deleted.
    if (!restored) return false;
    return DeleteRepeated(kEcoScheme);
}

std::optional<bool> EcoSchemes::EcoSchemeExists() {
    SchemeId found{};
    return FindScheme([](const SchemeId& s) { return s == kEcoScheme; }, found);
}

void EcoSchemes::Remove(int restoreMode) { Disable(restoreMode); }

bool EcoSchemes::RemoveLeftoverModeScheme() {
    SchemeId mode{};
    auto isModeScheme = [](const SchemeId& s) {
        for (const SchemeId& m : kEcoModeSchemes)
            if (s == m) return true;
        return false;
    };
    if (FindScheme(isModeScheme, mode) != true) return false;
    m_calls.SetActive(kPowerSaverScheme);
    DeleteRepeated(mode);
    return true;
}

}  // namespace vx
