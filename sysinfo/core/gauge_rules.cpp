#include "gauge_rules.h"

#include <cstdio>
#include <cwchar>

namespace quillon {

GaugeGeometry ComputeGaugeGeometry(int width, int height) {
    GaugeGeometry g{};
    g.w = width - 48;
    g.h = height - 62;
    g.dx = g.w / 8 - g.w / 2;
    g.dy = g.h / 8 - g.h / 2;
    g.outer = {24, 40, g.w, g.h};
    g.inner = {24 - g.dx, 40 - g.dy, g.w + 2 * g.dx, g.h + 2 * g.dy};
    g.centre = {24 + g.w / 2, 40 + g.h / 2};
    return g;
}

float PercentAngle(int percent) {
    return static_cast<float>(percent) * 360.0f / 100.0f;
}

int GaugeColourStateFor(const GaugeState& state) {
    if (state.criticalEnabled && state.percent <= state.criticalLevel) return kStateCritical;
    if (state.lowEnabled && state.percent <= state.lowLevel) return kStateLow;
    return kStateNormal;
}

bool ChargeUnknown(const GaugeState& state) {
    return state.percent > 100;
}

Argb BaseColour(int colourState) {
    switch (colourState) {
        case kStateCritical: return {255, 255, 0, 0};
        case kStateLow: return {255, 255, 0, 255};
        default: return {255, 50, 255, 50};
    }
}

namespace {
std::uint8_t Scaled(std::uint8_t component, double factor) {
    return static_cast<std::uint8_t>(static_cast<int>(component * factor));
}
Argb Translucent(Argb base, double factor) {
    return {150, Scaled(base.r, factor), Scaled(base.g, factor), Scaled(base.b, factor)};
}

std::string Formatted(const char* format, int number, const std::string& text) {
    char buffer[512];
    const int n = std::snprintf(buffer, sizeof buffer, format, number, text.c_str());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, number, text.c_str());
    big.resize(static_cast<std::size_t>(n));
    return big;
}
}  // namespace

RingColours RingColoursFor(int colourState) {
    const Argb base = BaseColour(colourState);
    return {Translucent(base, 1.0), Translucent(base, 0.5), Translucent(base, 0.6)};
}

LabelSides ChooseLabelSides(GaugePoint critical, GaugePoint low) {
    const bool criticalLeft = critical.x < low.x;
    return {criticalLeft, !criticalLeft};
}

GaugePoint LabelOrigin(GaugePoint marker, bool extendsLeft) {
    return {extendsLeft ? marker.x - 8 : marker.x + 8, marker.y - 20};
}

LabelBox PullLabelIn(LabelBox box, bool extendsLeft, GaugePoint marker, int imageWidth) {
    if (extendsLeft) {
        if (box.left < 0) {
            box.left = 3;
            box.top = static_cast<float>(marker.y - 30);
        }
    } else if (box.left + box.width > static_cast<float>(imageWidth)) {
        box.left = static_cast<float>(imageWidth) - box.width - 3;
        box.top = static_cast<float>(marker.y - 30);
    }
    return box;
}

std::string AlarmLabelText(const std::string& name, bool enabled, int level, const std::string& disabledText) {
    if (enabled) return name + " " + std::to_string(level) + "%";
    return name + " " + disabledText;
}

std::string FormatRemainingTime(std::uint32_t seconds, const GaugeTexts& texts) {
    // Counts stay below 2^32 / 3600, so they fit an int.
    std::string out;
    std::uint32_t s = seconds;
    const std::uint32_t hours = s / 3600;
    if (hours >= 1) {
        out += Formatted("%d %s ", static_cast<int>(hours), hours == 1 ? texts.hour : texts.hours);
        s %= 3600;
    }
    const std::uint32_t minutes = s / 60;
    if (minutes >= 1) {
        out += Formatted("%d %s ", static_cast<int>(minutes), minutes == 1 ? texts.min : texts.mins);
        s -= 60 * minutes;
    }
    if (hours == 0 && s >= 1) out += Formatted("%d %s ", static_cast<int>(s), s == 1 ? texts.sec : texts.secs);
    return out;
}

std::string FooterText(const GaugeState& state, const GaugeTexts& texts) {
    if (state.charging) return texts.charging + "......";
    if (state.remainingSeconds > kMaxFooterSeconds) return {};
    const std::string time = FormatRemainingTime(state.remainingSeconds, texts);
    if (time.empty()) return {};
    return texts.remainingPrefix + " " + time;
}

std::wstring CentrePercentText(int percent) {
    wchar_t buffer[32];
    const int n = std::swprintf(buffer, 32, L"%3d%%", percent);
    return n > 0 ? std::wstring(buffer, static_cast<std::size_t>(n)) : std::wstring();
}

std::string GaugeValueText(const GaugeState& state, const GaugeTexts& texts) {
    if (state.percent < 0 || state.percent > 100) return texts.unknown;
    std::string value = std::to_string(state.percent) + " %";
    if (state.charging && !texts.charging.empty()) value += ", " + texts.charging;
    return value;
}

bool ToldValue::Update(const std::string& value) {
    if (m_told && value == m_value) return false;
    m_told = true;
    m_value = value;
    return true;
}

}  // namespace quillon
