// What the on-screen display says to screen-reader users: the language-table
// key of each picture's text, the level filled into a bar's text, the rule
// that holds a burst of results back until it settles, and which events
// carry the text. Free of Windows, so every rule is tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// The text of one result: a language-table key and, for a level, the
// percent put in place of "%1" in that key's text.
struct SpokenResult {
    const char* key = nullptr;  // nullptr: the request shows nothing to speak
    int percent = -1;           // -1: the text has no level
    bool operator==(const SpokenResult& other) const;
};

// The spoken result of an OSD request. Kinds 1, 3 and 4 speak their picture
// code; the level bar (kind 5) speaks its level type and level: the volume
// level as a percent of the bar's maximum, the brightness as `percent`,
// the percent the display reported (the bar's steps are coarser).
SpokenResult SpokenResultFor(int kind, int code, int level, int maximum, int percent);

// Every key SpokenResultFor can give, for the language table's tests.
inline constexpr const char* kSpokenKeys[] = {
    "IDS_SPEAK_WIRELESS_ON", "IDS_SPEAK_WIRELESS_OFF", "IDS_SPEAK_BLUETOOTH_ON", "IDS_SPEAK_BLUETOOTH_OFF",
    "IDS_SPEAK_TOUCHPAD_ON", "IDS_SPEAK_TOUCHPAD_OFF", "IDS_SPEAK_WEBCAM_ON",    "IDS_SPEAK_WEBCAM_OFF",
    "IDS_SPEAK_ECO_ON",      "IDS_SPEAK_ECO_OFF",      "IDS_SPEAK_3G_ON",        "IDS_SPEAK_3G_OFF",
    "IDS_SPEAK_TURBO_ON",    "IDS_SPEAK_TURBO_OFF",    "IDS_SPEAK_THEATER_ON",   "IDS_SPEAK_THEATER_OFF",
    "IDS_SPEAK_VOLUME",      "IDS_SPEAK_MUTED",        "IDS_SPEAK_BRIGHTNESS",
};

// The text with every "%1" replaced by the percent (nothing else in it is
// read as a format, so a translated text cannot ask for more than a number).
std::string FillPercent(std::string_view text, int percent);

// The code page a language-table section's texts are stored in (1252, 949,
// 950), so a text reads right whatever the system's ANSI code page is; 0
// (the system's own) for any other section.
unsigned SectionCodePage(std::string_view section);

// One window's announcement waiting for its burst to settle: a result is
// spoken once no newer one has come for kQuietMs; a newer result replaces
// one not yet spoken, and a hidden picture takes its text back.
class SpeechDebounce {
public:
    static constexpr std::uint64_t kQuietMs = 500;

    void Post(std::string text, std::uint64_t nowMs);
    void Cancel();
    bool Pending() const { return m_pending.has_value(); }
    // How long the pending text still waits (0 when it is due); nothing
    // when no text waits.
    std::optional<std::uint64_t> WaitMs(std::uint64_t nowMs) const;
    // The pending text once it is due, which is then no longer pending.
    std::optional<std::string> TakeDue(std::uint64_t nowMs);

private:
    std::optional<std::string> m_pending;
    std::uint64_t m_dueMs = 0;
};

// The events an announcement raises. The accessible alert (the window's
// name set to the text, then the alert event) reaches every screen reader:
// those that follow the older accessibility events directly, and UI
// Automation clients through the system's translation of it. UI
// Automation's notification is added only for a client that listens to UI
// Automation while no screen reader says it runs: a screen reader has
// already spoken the alert and would speak the text twice.
struct SpeechRoute {
    bool alert = false;
    bool notification = false;
    bool operator==(const SpeechRoute&) const = default;
};
SpeechRoute ChooseSpeechRoute(bool notificationBound, bool automationClientsListening, bool screenReaderRunning);

}  // namespace vx
