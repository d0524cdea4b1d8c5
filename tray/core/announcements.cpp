#include "announcements.h"

#include "level_rules.h"
#include "osd_layout.h"

#include <algorithm>
#include <cstring>

namespace vx {

namespace {

struct CodeKey {
    int code;
    const char* key;
};

// Kinds 1 and 4 by picture code. The touchpad's code 6 is its "disabled" picture.
constexpr CodeKey kDeviceKeys[] = {
    {1, "IDS_SPEAK_WIRELESS_ON"}, {2, "IDS_SPEAK_WIRELESS_OFF"}, {3, "IDS_SPEAK_BLUETOOTH_ON"},
    {4, "IDS_SPEAK_BLUETOOTH_OFF"}, {5, "IDS_SPEAK_TOUCHPAD_ON"}, {6, "IDS_SPEAK_TOUCHPAD_OFF"},
    {7, "IDS_SPEAK_WEBCAM_ON"},   {8, "IDS_SPEAK_WEBCAM_OFF"},   {11, "IDS_SPEAK_ECO_ON"},
    {12, "IDS_SPEAK_ECO_OFF"},    {15, "IDS_SPEAK_3G_ON"},       {16, "IDS_SPEAK_3G_OFF"},
};
// Kind 3 by picture code.
constexpr CodeKey kCentreKeys[] = {
    {7, "IDS_SPEAK_TURBO_ON"},
    {8, "IDS_SPEAK_TURBO_OFF"},
    {9, "IDS_SPEAK_THEATER_ON"},
    {10, "IDS_SPEAK_THEATER_OFF"},
};

template <std::size_t N>
const char* KeyOf(const CodeKey (&table)[N], int code) {
    for (const auto& row : table)
        if (row.code == code) return row.key;
    return nullptr;
}

int Clamp(int percent) { return std::clamp(percent, 0, 100); }

}  // namespace

bool SpokenResult::operator==(const SpokenResult& other) const {
    const bool sameKey = key == other.key || (key && other.key && std::strcmp(key, other.key) == 0);
    return sameKey && percent == other.percent;
}

SpokenResult SpokenResultFor(int kind, int code, int level, int maximum, int percent) {
    switch (kind) {
    case kOsdDevice:
    case kOsdSecondDevice: return {KeyOf(kDeviceKeys, code)};
    case kOsdCentre: return {KeyOf(kCentreKeys, code)};
    case kOsdLevelBar:
        switch (code) {
        case kLevelMutedVolume: return {"IDS_SPEAK_MUTED"};
        case kLevelVolume:
            if (maximum <= 0) return {};
            return {"IDS_SPEAK_VOLUME", Clamp(static_cast<int>(static_cast<long long>(level) * 100 / maximum))};
        case kLevelBrightness:
            if (percent < 0) return {};
            return {"IDS_SPEAK_BRIGHTNESS", Clamp(percent)};
        default: return {};
        }
    default: return {};
    }
}

std::string FillPercent(std::string_view text, int percent) {
    std::string out;
    const std::string number = std::to_string(percent);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '1') {
            out += number;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

unsigned SectionCodePage(std::string_view section) {
    if (section == "1033") return 1252;
    if (section == "1042") return 949;
    if (section == "1028") return 950;
    return 0;
}

void SpeechDebounce::Post(std::string text, std::uint64_t nowMs) {
    m_pending = std::move(text);
    m_dueMs = nowMs + kQuietMs;
}

void SpeechDebounce::Cancel() { m_pending.reset(); }

std::optional<std::uint64_t> SpeechDebounce::WaitMs(std::uint64_t nowMs) const {
    if (!m_pending) return std::nullopt;
    return nowMs >= m_dueMs ? 0 : m_dueMs - nowMs;
}

std::optional<std::string> SpeechDebounce::TakeDue(std::uint64_t nowMs) {
    if (!m_pending || nowMs < m_dueMs) return std::nullopt;
    std::optional<std::string> text = std::move(m_pending);
    m_pending.reset();
    return text;
}

SpeechRoute ChooseSpeechRoute(bool notificationBound, bool automationClientsListening, bool screenReaderRunning) {
    return {true, notificationBound && automationClientsListening && !screenReaderRunning};
}

}  // namespace vx
