// Saves the battery gauge for a range of battery states in both languages
// as PNG files: gauge_gallery.exe OUTPUT_DIRECTORY. Prints one line per
// picture and exits non-zero when one could not be saved.
#include "text_convert.h"
#include "viewer_test_support.h"

#include <cstdio>
#include <string>

using quillon::GaugeState;

namespace {

struct Picture {
    const wchar_t* name;
    GaugeState state;
};

GaugeState Make(int percent, bool charging, std::uint32_t seconds, int critical, int low) {
    GaugeState s;
    s.percent = percent;
    s.charging = charging;
    s.remainingSeconds = seconds;
    s.criticalLevel = critical;
    s.lowLevel = low;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gauge_gallery OUTPUT_DIRECTORY\n");
        return 2;
    }
    if (!quillontest::StartGdiplus()) return 1;
    const std::wstring dir = quillon::WideFromAnsi(argv[1]) + L"\\";
    const Picture pictures[] = {
        {L"charging", Make(64, true, 0xFFFFFFFFu, 5, 10)},
        {L"normal", Make(72, false, 7708, 5, 10)},
        {L"low", Make(9, false, 1261, 5, 10)},
        {L"critical", Make(4, false, 59, 5, 10)},
        {L"unknown", Make(255, false, 0xFFFFFFFFu, 5, 10)},
        {L"full", Make(100, false, 0xFFFFFFFFu, 0, 10)},
        {L"empty", Make(0, false, 0, 5, 10)},
    };
    const struct {
        const wchar_t* suffix;
        LANGID language;
    } languages[] = {{L"en", 1033}, {L"ko", 1042}};
    int failures = 0;
    for (const auto& language : languages) {
        const quillon::GaugeTexts texts = quillon::LoadGaugeTexts(GetModuleHandleW(nullptr), language.language);
        for (const Picture& p : pictures) {
            quillontest::GaugeImage image = quillontest::RenderGauge(p.state, texts);
            const std::wstring path = dir + L"gauge-" + p.name + L"-" + language.suffix + L".png";
            const bool saved = image.bitmap && quillontest::SavePng(*image.bitmap, path);
            if (!saved) ++failures;
            std::printf("%ls state %d %s\n", path.c_str(), image.colourState, saved ? "saved" : "NOT SAVED");
        }
    }
    return failures ? 1 : 0;
}
