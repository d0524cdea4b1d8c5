#include "log_format.h"

#include <gtest/gtest.h>

namespace {

std::string Joined(const std::vector<std::string>& pieces) {
    std::string all;
    for (const auto& p : pieces) all += p;
    return all;
}

TEST(LogFormat, OneEventGroupByteForByte) {
    const vx::LogTime t{3, 7, 9, 5, 1};
    std::string group = Joined(vx::FormatLogWrites(vx::kLogEventHeader, vx::FormatEventCode(0x5F), t)) +
                        Joined(vx::FormatLogWrites(vx::kLogEventName, "It's Wirelees's WMIevent", t)) +
                        Joined(vx::FormatLogWrites(vx::kLogDetail2, "Get Wireless's Flag in EC's rom : Enable", t));
    const std::string expected =
        "<<03\xA4\xEB" "07\xA4\xE9  09:05:01>> \r\n"
        "CVN receive WMI Event value : 5f  "
        "\t<< It's Wirelees's WMIevent >>\r\n"
        "\tGet Wireless's Flag in EC's rom : Enable\r\n";
    EXPECT_EQ(group, expected);
}

TEST(LogFormat, HeaderIsTwoWritesAndDetailKindsShareOneLayout) {
    const vx::LogTime t{12, 31, 23, 59, 58};
    auto header = vx::FormatLogWrites(0, "25", t);
    ASSERT_EQ(header.size(), 2u);
    EXPECT_EQ(header[0], "<<12\xA4\xEB" "31\xA4\xE9  23:59:58>> \r\n");
    EXPECT_EQ(header[1], "CVN receive WMI Event value : 25  ");
    for (int kind : {2, 3, 4}) EXPECT_EQ(Joined(vx::FormatLogWrites(kind, "x", t)), "\tx\r\n") << kind;
    for (int kind : {-1, 5, 100}) EXPECT_TRUE(vx::FormatLogWrites(kind, "x", t).empty()) << kind;
}

TEST(LogFormat, EventCodeIsLowerCaseHexWithoutPadding) {
    EXPECT_EQ(vx::FormatEventCode(0x5F), "5f");
    EXPECT_EQ(vx::FormatEventCode(0x08), "8");
    EXPECT_EQ(vx::FormatEventCode(0xFF), "ff");
}

}  // namespace
