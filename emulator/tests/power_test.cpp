// The emulated powrprof.dll through the Windows power-management functions,
// with emuctl's power commands, against the power schemes in the prefix.
#include <windows.h>
#include <powrprof.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emuctl_run.h"

namespace {

const GUID kBalanced = {0x381B4222, 0xF694, 0x41F0, {0x96, 0x85, 0xFF, 0x5B, 0xB2, 0x60, 0xDF, 0x2E}};
const GUID kHigh = {0x8C5E7FDA, 0xE8BF, 0x4A96, {0x9A, 0x85, 0xA6, 0xE2, 0x3A, 0x8C, 0x63, 0x5C}};
const GUID kSaver = {0xA1841308, 0x3541, 0x4FAB, {0xBC, 0x81, 0xF7, 0x15, 0x56, 0xF2, 0x0B, 0x4A}};
const GUID kImported = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const GUID kGaming = {0x98B32AC9, 0x6345, 0x4AB9, {0xA9, 0x81, 0x0F, 0x0E, 0x39, 0xC0, 0x85, 0x78}};

std::vector<GUID> Schemes() {
    std::vector<GUID> out;
    for (ULONG i = 0; i < 64; ++i) {
        GUID g{};
        DWORD size = sizeof g;
        DWORD rc = PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, i, reinterpret_cast<UCHAR*>(&g), &size);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(rc, ERROR_SUCCESS) << "index " << i;
        if (rc != ERROR_SUCCESS) break;
        out.push_back(g);
    }
    return out;
}

bool Has(const std::vector<GUID>& all, const GUID& g) {
    for (const auto& x : all)
        if (IsEqualGUID(x, g)) return true;
    return false;
}

GUID Active() {
    GUID* g = nullptr;
    EXPECT_EQ(PowerGetActiveScheme(nullptr, &g), ERROR_SUCCESS);
    GUID out = g ? *g : GUID{};
    LocalFree(g);
    return out;
}

std::wstring TempFile(const char* content) {
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"pow", 0, path);
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, content, static_cast<DWORD>(strlen(content)), &written, nullptr);
    CloseHandle(f);
    return path;
}

class PowerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(emutest::RunEmuctl(L"power reset").exitCode, 0u); }
    void TearDown() override {
        emutest::RunEmuctl(L"setting PowerFailCalls 0");
        emutest::RunEmuctl(L"power reset");
    }
};

TEST_F(PowerTest, SystemSchemesInRegistryOrderBalancedActive) {
    auto all = Schemes();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_TRUE(IsEqualGUID(all[0], kBalanced));
    EXPECT_TRUE(IsEqualGUID(all[1], kHigh));
    EXPECT_TRUE(IsEqualGUID(all[2], kSaver));
    EXPECT_TRUE(IsEqualGUID(Active(), kBalanced));
    // The buffer size is asked for and a small buffer refused, as on Windows.
    DWORD size = 0;
    EXPECT_EQ(PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, 0, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof(GUID));
    UCHAR small[4];
    size = sizeof small;
    EXPECT_EQ(PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, 0, small, &size), ERROR_MORE_DATA);
}

TEST_F(PowerTest, SetActiveOnlyToExistingSchemesAndSeenByEmuctl) {
    ASSERT_EQ(PowerSetActiveScheme(nullptr, &kSaver), ERROR_SUCCESS);
    EXPECT_TRUE(IsEqualGUID(Active(), kSaver));
    EXPECT_EQ(emutest::RunEmuctl(L"power active").out, "Active={A1841308-3541-4FAB-BC81-F71556F20B4A} Power saver\n");
    EXPECT_EQ(PowerSetActiveScheme(nullptr, &kImported), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(IsEqualGUID(Active(), kSaver));
}

TEST_F(PowerTest, ImportUnderGivenGuidThenDeleteRefusedWhileActive) {
    std::wstring file = TempFile("Windows Registry Editor Version 5.00\r\n\r\n[x]\r\n\"FriendlyName\"=\"Test plan\"\r\n");
    GUID wanted = kImported;
    GUID* dest = &wanted;
    ASSERT_EQ(PowerImportPowerScheme(nullptr, file.c_str(), &dest), ERROR_SUCCESS);
    EXPECT_EQ(dest, &wanted);
    EXPECT_TRUE(Has(Schemes(), kImported));
    EXPECT_NE(emutest::RunEmuctl(L"power list").out.find("{11111111-2222-3333-4444-555555555555} Test plan"),
              std::string::npos);

    ASSERT_EQ(PowerSetActiveScheme(nullptr, &kImported), ERROR_SUCCESS);
    EXPECT_EQ(PowerDeleteScheme(nullptr, &kImported), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Has(Schemes(), kImported));
    ASSERT_EQ(PowerSetActiveScheme(nullptr, &kBalanced), ERROR_SUCCESS);
    EXPECT_EQ(PowerDeleteScheme(nullptr, &kImported), ERROR_SUCCESS);
    EXPECT_FALSE(Has(Schemes(), kImported));
    EXPECT_EQ(PowerDeleteScheme(nullptr, &kImported), ERROR_FILE_NOT_FOUND);
    DeleteFileW(file.c_str());
}

TEST_F(PowerTest, ImportOfAMissingOrUnnamedFileAddsNothing) {
    struct Case {
        std::wstring path;
        DWORD error;
    } cases[] = {
        {L"C:\\no\\such\\scheme.pow", ERROR_PATH_NOT_FOUND},
        {TempFile("not a scheme"), ERROR_INVALID_DATA},
        {TempFile(""), ERROR_INVALID_DATA},
    };
    for (const auto& c : cases) {
        GUID wanted = kImported;
        GUID* dest = &wanted;
        EXPECT_EQ(PowerImportPowerScheme(nullptr, c.path.c_str(), &dest), c.error);
        EXPECT_EQ(Schemes().size(), 3u);
        DeleteFileW(c.path.c_str());
    }
}

TEST_F(PowerTest, EmuctlCreatesLeftoverModeSchemes) {
    auto r = emutest::RunEmuctl(L"power add gaming");
    ASSERT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_TRUE(Has(Schemes(), kGaming));
    EXPECT_TRUE(IsEqualGUID(Active(), kBalanced));
}

TEST_F(PowerTest, GlobalPolicyCarriesTheAlarmLevels) {
    ASSERT_EQ(emutest::RunEmuctl(L"power alarm 20 7").exitCode, 0u);
    GLOBAL_POWER_POLICY policy{};
    ASSERT_TRUE(ReadGlobalPwrPolicy(&policy));
    EXPECT_EQ(policy.user.DischargePolicy[DISCHARGE_POLICY_LOW].BatteryLevel, 20u);
    EXPECT_EQ(policy.user.DischargePolicy[DISCHARGE_POLICY_CRITICAL].BatteryLevel, 7u);
    EXPECT_TRUE(policy.user.DischargePolicy[DISCHARGE_POLICY_LOW].Enable);
}

// emuctl setting PowerFailCalls N: the next N scheme calls fail, whichever
// they are, and change nothing; then the calls work again.
TEST_F(PowerTest, RequestedFailuresRefuseTheNextSchemeCallsAndChangeNothing) {
    const std::wstring file = TempFile("\"FriendlyName\"=\"Imported\"\r\n");
    ASSERT_EQ(emutest::RunEmuctl(L"setting PowerFailCalls 5").exitCode, 0u);
    GUID* active = nullptr;
    EXPECT_EQ(PowerGetActiveScheme(nullptr, &active), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(active, nullptr);
    EXPECT_EQ(PowerSetActiveScheme(nullptr, &kSaver), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    GUID g{};
    DWORD size = sizeof g;
    EXPECT_EQ(PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, 0, reinterpret_cast<UCHAR*>(&g), &size),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    GUID destination = kImported;
    GUID* dest = &destination;
    EXPECT_EQ(PowerImportPowerScheme(nullptr, file.c_str(), &dest), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(PowerDeleteScheme(nullptr, &kHigh), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    auto left = emutest::RunEmuctl(L"setting PowerFailCalls");
    EXPECT_EQ(left.out, "PowerFailCalls=0\n");
    EXPECT_TRUE(IsEqualGUID(Active(), kBalanced));
    auto all = Schemes();
    EXPECT_EQ(all.size(), 3u);
    EXPECT_TRUE(Has(all, kHigh));
    EXPECT_FALSE(Has(all, kImported));
    EXPECT_EQ(PowerSetActiveScheme(nullptr, &kSaver), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(IsEqualGUID(Active(), kSaver));
    DeleteFileW(file.c_str());
}

}  // namespace
