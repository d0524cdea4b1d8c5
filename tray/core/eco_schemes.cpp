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
    if (!EcoSchemeExists()) return true;
    bool restored = false;
    if (restoreMode != kRestorePowerSaver && m_saved) restored = SetActiveRepeated(*m_saved);
    if (!restored) restored = SetActiveRepeated(kPowerSaverScheme);
    // Without another active scheme the ECO scheme cannot be deleted.
    if (!restored) return false;
    return DeleteRepeated(kEcoScheme);
}

bool EcoSchemes::EcoSchemeExists() {
    SchemeId scheme{};
    for (unsigned i = 0; i < kMaxEnumeratedSchemes && m_calls.Enumerate(i, scheme); ++i)
        if (scheme == kEcoScheme) return true;
    return false;
}

void EcoSchemes::Remove(int restoreMode) { Disable(restoreMode); }

bool EcoSchemes::RemoveLeftoverModeScheme() {
    SchemeId scheme{};
    for (unsigned i = 0; i < kMaxEnumeratedSchemes && m_calls.Enumerate(i, scheme); ++i) {
        for (const SchemeId& mode : kEcoModeSchemes) {
            if (!(scheme == mode)) continue;
            m_calls.SetActive(kPowerSaverScheme);
            DeleteRepeated(mode);
            return true;
        }
    }
    return false;
}

}  // namespace vx
