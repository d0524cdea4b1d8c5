// The viewer's start-up and dialog decisions: brand options in the command
// line, the processor text, disk and memory figures and the bars' texts.
#include <gtest/gtest.h>

#include <cstdint>

#include "dialog_rules.h"

using namespace quillon;

TEST(InstanceMutex, AMutexThisCopyMayNotOpenMeansAnotherCopyRuns) {
    struct Case {
        InstanceMutex mutex;
        bool another;
    } cases[] = {{InstanceMutex::Created, false},
                 {InstanceMutex::Exists, true},
                 {InstanceMutex::AccessDenied, true},
                 {InstanceMutex::Failed, false}};
    for (const Case& c : cases) EXPECT_EQ(AnotherCopyRuns(c.mutex), c.another) << static_cast<int>(c.mutex);
}

TEST(Brand, SearchedCaseSensitivelyInTheWholeCommandLine) {
    struct Case {
        const char* line;
        Brand brand;
    } cases[] = {
        {"\"C:\\Program Files\\Quillon.exe\" /COMP_QN", Brand::QN},
        {"Quillon.exe /COMP_ZEL", Brand::ZEL},
        {"Quillon.exe /COMP_ZEL /COMP_QN", Brand::QN},  // QN wins whatever the order
        {"Quillon.exe /COMP_QN /COMP_ZEL", Brand::QN},
        {"Quillon.exe x/COMP_QNy", Brand::QN},           // inside a longer argument
        {"C:\\dir/COMP_ZEL\\Quillon.exe", Brand::ZEL},    // the program path counts too
        {"Quillon.exe /comp_qn", Brand::None},
        {"Quillon.exe /Comp_Zel", Brand::None},
        {"Quillon.exe /COMP_Q", Brand::None},
        {"Quillon.exe", Brand::None},
        {"", Brand::None},
    };
    for (const Case& c : cases) EXPECT_EQ(BrandFromCommandLine(c.line), c.brand) << c.line;
}

TEST(Brand, NoMatchStartsInsideATwoByteCharacter) {
    // In this code page 0x81 opens a two-byte character, so "\x81/" is one
    // character and the slash after it is not the option's.
    auto lead81 = [](unsigned char c) { return c == 0x81; };
    EXPECT_EQ(BrandFromCommandLine("Quillon.exe \x81/COMP_QN", lead81), Brand::None);
    EXPECT_EQ(BrandFromCommandLine("Quillon.exe \x81\x81/COMP_QN", lead81), Brand::QN);
    EXPECT_EQ(BrandFromCommandLine("Quillon.exe \x81/COMP_QN", NoLeadBytes), Brand::QN);
    EXPECT_EQ(BrandFromCommandLine("Quillon.exe \x81", lead81), Brand::None);  // lone lead byte at the end
}

TEST(Processor, RegistryNameElseInventoryName) {
    EXPECT_EQ(ProcessorText(std::string("  Emulated CPU @ 2.00GHz"), "Other"), "  Emulated CPU @ 2.00GHz");
    EXPECT_EQ(ProcessorText(std::string(), "Other"), "");  // a value that is empty is still the value
    EXPECT_EQ(ProcessorText(std::nullopt, "Inventory CPU"), "Inventory CPU");
    EXPECT_EQ(ProcessorText(std::nullopt, "Unknown"), "Unknown");
}

TEST(Disk, UsedPercentTruncatesAndHasNoFigureWithoutASize) {
    constexpr std::uint64_t GB = 1ull << 30;
    struct Case {
        std::optional<DiskSpace> space;
        std::optional<int> used;
    } cases[] = {
        {DiskSpace{100 * GB, 40 * GB}, 60},
        {DiskSpace{3, 1}, 67},                   // free 33.3 % truncates to 33, used 67
        {DiskSpace{3, 2}, 34},
        {DiskSpace{100, 0}, 100},
        {DiskSpace{100, 100}, 0},
        {DiskSpace{100, 150}, 0},                // more free than total: empty, never negative
        {DiskSpace{UINT64_MAX, UINT64_MAX / 4}, 75},  // the product would overflow 64 bits
        {DiskSpace{0, 0}, std::nullopt},         // a size of 0 bytes gives no figure
        {std::nullopt, std::nullopt},            // the query failed
    };
    for (const Case& c : cases) EXPECT_EQ(DiskUsedPercent(c.space), c.used);
}

TEST(Memory, ExtendedLoadUnlessMissingOrOutOfRange) {
    EXPECT_EQ(MemoryLoadPercent(37u, 50u), 37);
    EXPECT_EQ(MemoryLoadPercent(100u, 50u), 100);
    EXPECT_EQ(MemoryLoadPercent(101u, 50u), 50);
    EXPECT_EQ(MemoryLoadPercent(std::nullopt, 42u), 42);
    EXPECT_EQ(MemoryLoadPercent(std::nullopt, 0xFFFFFFFFu), 100);
}

TEST(Bars, PercentTextOrAnEmptyBarReadingUnknown) {
    BarState sixty = UsageBar(60, "Unknown");
    EXPECT_EQ(sixty.position, 60);
    EXPECT_EQ(sixty.text, "60%");
    EXPECT_EQ(UsageBar(0, "Unknown").text, "0%");
    BarState none = UsageBar(std::nullopt, "Unknown");
    EXPECT_EQ(none.position, 0);
    EXPECT_EQ(none.text, "Unknown");
}

TEST(Power, ChargingIsBitThreeUnlessTheFlagIsUnknown) {
    struct Case {
        unsigned flag;
        bool charging;
    } cases[] = {
        {8, true}, {1 | 8, true}, {2 | 8, true}, {1, false}, {2, false}, {4, false}, {128, false}, {0, false},
        {255, false},  // "unknown status" has every bit set
    };
    for (const Case& c : cases) EXPECT_EQ(ChargingFromBatteryFlag(static_cast<std::uint8_t>(c.flag)), c.charging) << c.flag;
}

TEST(Waits, WhatIsLeftOfAWaitCountedFromItsStart) {
    struct Case {
        std::uint32_t waitMs;
        std::uint64_t elapsedMs;
        std::uint32_t left;
    } cases[] = {
        {5000, 0, 5000}, {5000, 1200, 3800}, {5000, 4999, 1}, {5000, 5000, 0}, {5000, 7000, 0},
        {5000, 0x100000000ull + 10, 0},  // an elapsed time beyond 32 bits is past any bound
        {kWaitWithoutEnd, 0, kWaitWithoutEnd}, {kWaitWithoutEnd, 0xFFFFFFFFull + 1, kWaitWithoutEnd},
    };
    for (const Case& c : cases) EXPECT_EQ(RemainingWaitMs(c.waitMs, c.elapsedMs), c.left) << c.waitMs << " " << c.elapsedMs;
}
