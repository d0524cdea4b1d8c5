// Every command the system itself sends, through the installed service and
// the pipe client, against the emulated notebook's firmware: reads see the
// firmware's state, writes change it for every other process.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Brindle.h"
#include "service_test_support.h"

using namespace harrowd_test;

namespace {

std::string Emuctl(const std::string& arguments) {
    const ProgramRun run = RunBeside("emuctl.exe", arguments);
    EXPECT_TRUE(run.finished && run.exitCode == 0) << "emuctl " << arguments << ": " << run.output;
    return run.output;
}

// What the tray program does for every command: 80-byte request, 800-byte reply.
std::string ThroughService(const std::string& command) {
    char request[80] = {};
    std::memcpy(request, command.data(), std::min<std::size_t>(command.size(), 79));
    char reply[800] = {};
    EXPECT_TRUE(ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply)) << command << ": " << GetLastError();
    reply[sizeof reply - 1] = 0;
    return reply;
}

class FirmwareThroughService : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RemoveServiceIfPresent());
        Emuctl("reset");
        ASSERT_EQ(RunHarrowd("-install").output, "Zelmont CVN installed.\nZelmont CVN started.\n");
        SERVICE_STATUS status{};
        ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, status));
    }
    void TearDown() override {
        EXPECT_TRUE(RemoveServiceIfPresent());
        Emuctl("reset");
    }
};

}  // namespace

TEST_F(FirmwareThroughService, CommandsTheSystemSends) {
    Emuctl("set Device 9");
    Emuctl("set System0 2");
    Emuctl("set System1 5");
    char bios[1024] = {};
    {
        CBrindle bridge;
        bridge.CallBrindleParser("root\\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0", bios);
    }
    const struct {
        const char* command;
        std::string reply;
        const char* registerAfter;  // "Name=value" the firmware holds afterwards, or nullptr
    } steps[] = {
        {"root\\WMI:Q:ZEL_Device:Device:0", "9", nullptr},
        {"root\\WMI:Q:ZEL_System:System:0", "2", nullptr},
        {"root\\WMI:Q:ZEL_System:System:1", "5", nullptr},
        {"root\\WMI:Q:ZEL_AP:AP:1", "17", nullptr},
        {"root\\WMI:S:ZEL_Software:Software:0:1", "1", "Software=1"},
        {"root\\WMI:S:ZEL_System:System:1:4", "4", "System1=4"},
        {"root\\WMI:Q:ZEL_System:System:1", "4", nullptr},
        {"root\\WMI:S:ZEL_System:System:1:007", "7", "System1=7"},
        {"root\\WMI:S:ZEL_Software:Software:0:0", "0", "Software=0"},
        {"root\\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0", bios, nullptr},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(ThroughService(step.command), step.reply) << step.command;
        if (step.registerAfter) {
            const std::string name(step.registerAfter, std::strchr(step.registerAfter, '=') - step.registerAfter);
            EXPECT_EQ(Emuctl("get " + name), std::string(step.registerAfter) + "\n") << step.command;
        }
    }
}

TEST_F(FirmwareThroughService, FlagWritesOverAFirmwareBitAboveTheFlags) {
    // The register carries the firmware's bit 0x20 beside ECO and theater
    // (0x25); each write starts from there.
    const struct {
        const char* value;
        const char* reply;
        const char* registerAfter;
    } steps[] = {
        {"37", "37", "System1=37"},                     // theater on as the tray writes it: the bit kept
        {"4", "4", "System1=4"},                        // ECO off as the tray writes it (AND 0x1E)
        {"33", "33", "System1=33"},                     // a flag cleared, the bit kept
        {"64", "WBEM_E_ACCESS_DENIED", "System1=37"},   // the firmware's bit cleared, another set
        {"101", "WBEM_E_ACCESS_DENIED", "System1=37"},  // a firmware bit added
    };
    for (const auto& step : steps) {
        Emuctl("set System1 0x25");
        const std::string command = std::string("root\\WMI:S:ZEL_System:System:1:") + step.value;
        EXPECT_EQ(ThroughService(command), step.reply) << command;
        EXPECT_EQ(Emuctl("get System1"), std::string(step.registerAfter) + "\n") << command;
    }
}
