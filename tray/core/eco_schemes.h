// The ECO power modes' decisions: which power schemes to switch to, save,
// import and delete, and how often a failing power-management call is
// tried. The calls themselves come through PowerSchemeCalls, so the rules
// run without Windows.
#pragma once

#include <cstdint>
#include <optional>

namespace vx {

// A scheme identity, laid out as a Windows GUID (16 bytes).
struct SchemeId {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
bool operator==(const SchemeId& a, const SchemeId& b);

// The identity under which the ECO scheme file is imported.
inline constexpr SchemeId kEcoScheme = {0xEED382F9, 0x0245, 0x44EA, {0xB7, 0x7F, 0xA0, 0xEA, 0x5E, 0xCB, 0x19, 0xC1}};
// The system's own Power saver scheme.
inline constexpr SchemeId kPowerSaverScheme = {0xA1841308, 0x3541, 0x4FAB, {0xBC, 0x81, 0xF7, 0x15, 0x56, 0xF2, 0x0B, 0x4A}};
// The ECO mode schemes an earlier installation may have left: Gaming, Movie,
// Presentation, Office, TurboBattery, in the order they are looked for.
inline constexpr SchemeId kEcoModeSchemes[5] = {
    {0x98B32AC9, 0x6345, 0x4AB9, {0xA9, 0x81, 0x0F, 0x0E, 0x39, 0xC0, 0x85, 0x78}},
    {0x0BC57CB5, 0x5E55, 0x4DF1, {0xBA, 0x8D, 0x20, 0xF9, 0x0B, 0x9F, 0x21, 0x3B}},
    {0xC3407F92, 0xA518, 0x430B, {0x94, 0xBF, 0x98, 0x74, 0x57, 0x5E, 0x93, 0x1E}},
    {0xDF8734A4, 0xF9A5, 0x49CF, {0xA3, 0x36, 0xB8, 0xF6, 0xE6, 0x20, 0x78, 0x07}},
    {0xDB5648DC, 0xC820, 0x4FD8, {0xB4, 0x13, 0x2C, 0xCC, 0xD4, 0x8C, 0x27, 0x3F}},
};

// A power-management call that keeps failing is given up after this many
// tries, made at once one after another (each is a quick local call).
inline constexpr int kPowerCallTries = 5;
// Enumeration stops after this many schemes even if the system offers more.
inline constexpr unsigned kMaxEnumeratedSchemes = 256;

// What one step of the scheme enumeration gave: a scheme, the end of the
// list, or a failed call (which says nothing about the list).
enum class Enumerated { Scheme, End, Failed };

// The power-management calls, one attempt each: true on success.
class PowerSchemeCalls {
public:
    virtual ~PowerSchemeCalls() = default;
    virtual bool GetActive(SchemeId& active) = 0;
    virtual bool ImportEcoFile(const SchemeId& as) = 0;
    virtual bool SetActive(const SchemeId& scheme) = 0;
    virtual bool Delete(const SchemeId& scheme) = 0;
    virtual Enumerated Enumerate(unsigned index, SchemeId& scheme) = 0;
};

// Restore modes of leaving ECO.
inline constexpr int kRestoreSavedScheme = 0;
inline constexpr int kRestorePowerSaver = 1;

class EcoSchemes {
public:
    explicit EcoSchemes(PowerSchemeCalls& calls) : m_calls(calls) {}

    // Saves the active scheme, imports the ECO scheme and makes it active.
    // On failure nothing is left half made: an imported ECO scheme that
    // cannot be made active is deleted again. True when ECO is active.
    bool Enable();
    // When the ECO scheme exists, makes the saved scheme (mode 0) or Power
    // saver (mode 1) active, then deletes the ECO scheme; without an ECO
    // scheme it changes nothing and returns true. Without a saved scheme, or
    // when the saved one cannot be made active (deleted meanwhile), Power
    // saver is used, so the ECO scheme never stays active with nothing to
    // return to. True when the ECO scheme is gone. When the schemes cannot
    // be listed it changes nothing and returns false: a failed listing is
    // never taken for a list without the ECO scheme.
    bool Disable(int restoreMode);
    // Leaving ECO on start-up, exit and resume: the same as Disable.
    void Remove(int restoreMode);
    // Of the schemes found, the first that is one of the ECO mode schemes is
    // deleted (Power saver made active first, once). True when one was
    // found: the firmware's ECO bit is then to be cleared.
    bool RemoveLeftoverModeScheme();

    // Whether the ECO scheme exists; nullopt when the schemes cannot be listed.
    std::optional<bool> EcoSchemeExists();
    const std::optional<SchemeId>& SavedScheme() const { return m_saved; }

private:
    template <typename Call>
    static bool Repeat(Call call) {
        for (int i = 0; i < kPowerCallTries; ++i)
            if (call()) return true;
        return false;
    }
    bool SetActiveRepeated(const SchemeId& scheme);
    bool DeleteRepeated(const SchemeId& scheme);
    // The first listed scheme `match` accepts: true found, false none,
    // nullopt when a step of the listing kept failing.
    template <typename Match>
    std::optional<bool> FindScheme(Match match, SchemeId& found);

    PowerSchemeCalls& m_calls;
    std::optional<SchemeId> m_saved;
};

}  // namespace vx
