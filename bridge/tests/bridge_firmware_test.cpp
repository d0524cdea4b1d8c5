// The bridge against the notebook's firmware classes in root\WMI, served in
// the test prefix by the emulated notebook. The firmware state is read and
// set with emuctl.exe, a separate process, so every write is checked from
// outside the process that made it.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>

#include "Brindle.h"
#include "test_support.h"

namespace {

std::string Emuctl(const std::string& arguments) {
    return RunTool("emuctl.exe", arguments);
}

// One firmware register as emuctl prints it ("Name=value"), value only.
std::string Register(const std::string& name) {
    std::string line = Emuctl("get " + name);
    std::string prefix = name + "=";
    return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : "<" + line + ">";
}

class Firmware : public testing::Test {
protected:
    void SetUp() override {
        Emuctl("reset");
        ASSERT_EQ(Register("AP1"), "17") << "the emulated notebook is not installed in this prefix";
    }
};

TEST_F(Firmware, ReadsEveryClassAtItsInstance) {
    struct Case { const char* reg; const char* value; const char* command; };
    const Case cases[] = {
        {"Device", "25", R"(root\WMI:Q:ZEL_Device:Device:0)"},
        {"System0", "2", R"(root\WMI:Q:ZEL_System:System:0)"},
        {"System1", "5", R"(root\WMI:Q:ZEL_System:System:1)"},
        {"Software", "1", R"(root\WMI:Q:ZEL_Software:Software:0)"},
        {"AP0", "3", R"(root\WMI:Q:ZEL_AP:AP:0)"},
        {"AP1", "21", R"(root\WMI:Q:ZEL_AP:AP:1)"},
    };
    for (const Case& c : cases) Emuctl(std::string("set ") + c.reg + " " + c.value);
    for (const Case& c : cases) EXPECT_EQ(Reply(c.command), c.value) << c.command;
}

TEST_F(Firmware, RepliesWithTheFailureText) {
    struct Case { const char* command; const char* reply; };
    const Case cases[] = {
        {R"(root\WMI:Q:ZEL_Nothing:Device:0)", "WBEM_E_INVALID_CLASS"},
        {R"(root\WMI:S:ZEL_Nothing:Device:0:1)", "WBEM_E_INVALID_CLASS"},
        {R"(root\WMI:Q:ZEL_Device:Nothing:0)", "WBEM_E_NOT_FOUND"},
        {R"(root\WMI:S:ZEL_Device:Nothing:0:1)", "WBEM_E_NOT_FOUND"},
        {R"(root\WMI:Q:ZEL_System:System:2)", kTooFew},
        {R"(root\WMI:S:ZEL_System:System:2:1)", kTooFew},
        {R"(root\WMI:Q:ZEL_Device:Device:1)", kTooFew},
        {R"(root\WMI:Q:ZEL_Device:Device:2000000000)", kTooFew},
        {R"(root\WMI:Q:ZEL_System:System:1:2)", kMalformed},
    };
    for (const Case& c : cases) EXPECT_EQ(Reply(c.command), c.reply) << c.command;
}

TEST_F(Firmware, WriteStoresTheCanonicalValueForEveryProcess) {
    EXPECT_EQ(Reply(R"(root\WMI:S:ZEL_System:System:1:007)"), "7");
    EXPECT_EQ(Register("System1"), "7");
    EXPECT_EQ(Register("System0"), "0");  // the other object is left alone
    EXPECT_EQ(RunTool("bridge_cmd.exe", R"(root\WMI:Q:ZEL_System:System:1)"), "7");

    EXPECT_EQ(Reply(R"(root\WMI:S:ZEL_Software:Software:0:1)"), "1");
    EXPECT_EQ(Register("Software"), "1");
}

TEST_F(Firmware, OperationMChangesNothing) {
    Emuctl("set System1 5");
    CBrindle bridge;
    char reply[260];
    std::strcpy(reply, "previous reply");
    bridge.CallBrindleParser(R"(root\WMI:M:ZEL_System:System:1:3)", reply);
    EXPECT_STREQ(reply, "previous reply");
    EXPECT_EQ(Register("System1"), "5");
}

class FirmwareOperations : public Firmware {
protected:
    CBrindle bridge;
    Wide ns{L"root\\WMI"};
    Wide wql{L"WQL"};
    Wide query{L"Select * from ZEL_System"};
    Wide property{L"System"};
    char errorText[260] = {};
};

TEST_F(FirmwareOperations, QueryFillsOneElementPerObject) {
    Emuctl("set System0 2");
    Emuctl("set System1 5");
    char areas[3][260];
    CValueArray values;
    values.Add(areas[0]);
    values.Add(areas[1]);
    ASSERT_TRUE(bridge.QueryWMIProperty(query, property.Address(), values, errorText, ns, wql)) << errorText;
    EXPECT_STREQ(areas[0], "2");
    EXPECT_STREQ(areas[1], "5");

    values.Add(areas[2]);
    EXPECT_FALSE(bridge.QueryWMIProperty(query, property.Address(), values, errorText, ns, wql));
    EXPECT_STREQ(errorText, kTooFew);
}

TEST_F(FirmwareOperations, WriteChangesOnlyNonEmptyPositions) {
    Emuctl("set System0 2");
    Wide empty{L""}, six{L"6"};
    CValueArray values;
    values.Add(static_cast<BSTR>(empty));
    values.Add(static_cast<BSTR>(empty));
    const std::string before = Emuctl("get");
    EXPECT_TRUE(bridge.SetWMIProperty(query, property.Address(), values, errorText, ns, wql)) << errorText;
    EXPECT_EQ(Emuctl("get"), before);

    values.SetAt(1, static_cast<BSTR>(six));
    EXPECT_TRUE(bridge.SetWMIProperty(query, property.Address(), values, errorText, ns, wql)) << errorText;
    EXPECT_EQ(Register("System0"), "2");
    EXPECT_EQ(Register("System1"), "6");
}

}  // namespace
