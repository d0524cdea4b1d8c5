#include "tray_callback.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using vx::TrayCallback;

TEST(TrayCallback, DecodedForEachVersion) {
    struct Case { bool v4; std::uintptr_t w; std::intptr_t l; TrayCallback want; };
    const Case cases[] = {
        {false, 1, 0x0205, {0x0205, 1, false, 0, 0}},
        {false, 1, 0x0401, {0x0401, 1, false, 0, 0}},
        {true, (300u << 16) | 1200u, (1 << 16) | 0x007B, {0x007B, 1, true, 1200, 300}},
        {true, (780u << 16) | 1270u, (1 << 16) | 0x0401, {0x0401, 1, true, 1270, 780}},
        // A monitor left of the primary one: negative x.
        {true, (20u << 16) | 0xFF38u, (1 << 16) | 0x0205, {0x0205, 1, true, -200, 20}},
    };
    for (const auto& c : cases) {
        const TrayCallback got = vx::DecodeTrayCallback(c.v4, c.w, c.l);
        EXPECT_EQ(got, c.want) << std::hex << c.l << " event " << got.event << " id " << got.iconId << " at " << std::dec
                               << got.x << "," << got.y;
    }
}

// What the shell sends for each user action, and how many menus open.
TEST(TrayCallback, OneMenuPerRequestFromMouseOrKeyboard) {
    struct Case { const char* action; bool v4; std::vector<unsigned> events; int menus; };
    const Case cases[] = {
        {"right click, newer version", true, {0x0204, 0x0205, 0x007B}, 1},
        {"menu key or Shift+F10", true, {0x007B}, 1},
        {"Enter", true, {0x0401}, 1},
        {"left click", true, {0x0201, 0x0202, 0x0400}, 0},
        {"space", true, {0x0400}, 0},
        {"double click", true, {0x0203, 0x0202, 0x0400}, 0},
        {"right click, older version", false, {0x0204, 0x0205}, 1},
        {"left click, older version", false, {0x0201, 0x0202, 0x0203}, 0},
    };
    for (const auto& c : cases) {
        int menus = 0;
        for (unsigned e : c.events) menus += vx::OpensTrayMenu(c.v4, e) ? 1 : 0;
        EXPECT_EQ(menus, c.menus) << c.action;
    }
}

}  // namespace
