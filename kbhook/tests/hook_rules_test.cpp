#include "hook_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(HookRules, OnlyVolumeKeyDownsAreReportedWithTheirScanCodes) {
    struct Case { unsigned vk; bool up; std::optional<unsigned> scan; };
    const Case cases[] = {
        {vxkb::kVkVolumeUp, false, 0x30}, {vxkb::kVkVolumeDown, false, 0x2E},
        {vxkb::kVkVolumeUp, true, std::nullopt}, {vxkb::kVkVolumeDown, true, std::nullopt},
        {0xAD /* mute */, false, std::nullopt}, {'B' /* scan code 0x30 */, false, std::nullopt},
        {0x2E /* delete */, false, std::nullopt},
    };
    for (const auto& c : cases) {
        auto lParam = vxkb::VolumeKeyLParam(c.vk, c.up);
        ASSERT_EQ(lParam.has_value(), c.scan.has_value()) << c.vk << " " << c.up;
        if (!lParam) continue;
        EXPECT_EQ((*lParam >> 16) & 0xFF, *c.scan) << c.vk;
        EXPECT_EQ(*lParam & 0xFFFF, 1u);
        EXPECT_EQ(*lParam >> 31, 0u);  // a key-down's transition bit
    }
}

}  // namespace
