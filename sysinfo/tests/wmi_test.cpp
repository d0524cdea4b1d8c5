// The viewer's inventory and firmware method access through real COM under
// Wine: Wine's root\CIMV2 (with per-test overrides from the emulator) and the
// emulated firmware's root\WMI, driven by emuctl.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "WAcpi.h"
#include "WmiInventory.h"
#include "emuctl_run.h"
#include "mta_worker.h"
#include "viewer_rules.h"

namespace {

using emutest::RunEmuctl;
using quillon::InventoryText;

void Emuctl(const std::wstring& args) {
    auto r = RunEmuctl(args);
    ASSERT_EQ(r.exitCode, 0u) << r.out;
}

unsigned long Setting(const wchar_t* name) {
    auto r = RunEmuctl(std::wstring(L"setting ") + name);
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    auto eq = r.out.find('=');
    return eq == std::string::npos ? 0xFFFFFFFFul : std::stoul(r.out.substr(eq + 1));
}

// Debug output of this process: OutputDebugStringA raises
// DBG_PRINTEXCEPTION_C, which a vectored handler sees before the system
// handles it.
class DebugCapture {
public:
    DebugCapture() {
        Lines().clear();
        m_handler = AddVectoredExceptionHandler(1, &DebugCapture::Handler);
    }
    ~DebugCapture() { RemoveVectoredExceptionHandler(m_handler); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    int Count(const std::string& text) const {
        int n = 0;
        for (const auto& line : Lines()) n += line == text;
        return n;
    }
    std::string All() const {
        std::string all;
        for (const auto& line : Lines()) all += line;
        return all;
    }

private:
    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* e) {
        const EXCEPTION_RECORD* r = e->ExceptionRecord;
        if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2 && r->ExceptionInformation[0] > 0)
            Lines().emplace_back(reinterpret_cast<const char*>(r->ExceptionInformation[1]),
                                 static_cast<std::size_t>(r->ExceptionInformation[0] - 1));
        return EXCEPTION_CONTINUE_SEARCH;
    }
    PVOID m_handler;
};

class ViewerEnvironment : public ::testing::Environment {
public:
    // As the viewer's start-up does: the multithreaded apartment and
    // process-wide packet privacy with impersonation.
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_SECURE_REFS, nullptr);
        Emuctl(L"install");
    }
    void TearDown() override { CoUninitialize(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ViewerEnvironment);

class Viewer : public ::testing::Test {
protected:
    void SetUp() override { Emuctl(L"reset"); }
    // Settings and overrides end with the test.
    void TearDown() override { Emuctl(L"reset"); }
};

TEST_F(Viewer, InventoryTrimsSpacesAsEachTextsRuleSays) {
    Emuctl(L"cimv2 Win32_VideoController \"Name= Emulated Display  \"");
    Emuctl(L"cimv2 Win32_BIOS \"SMBIOSBIOSVersion= 1.07 \" \"Version=V1  \"");
    CWmiInventory inventory;
    EXPECT_EQ(inventory.VideoControllerName(), "Emulated Display");
    EXPECT_EQ(inventory.SMBIOSBIOSVersion(), " 1.07");
    EXPECT_EQ(inventory.BiosVersion(), "V1");
}

TEST_F(Viewer, NoVideoControllerGivesUnknownWhileOtherClassesAreStillRead) {
    Emuctl(L"cimv2 Win32_VideoController --instances 0");
    Emuctl(L"cimv2 Win32_Processor \"Name=  Emulated CPU \"");
    CWmiInventory inventory;
    EXPECT_EQ(inventory.VideoControllerName(), quillon::kUnknown);
    EXPECT_EQ(inventory.ProcessorName(), "Emulated CPU");
}

TEST_F(Viewer, WmiUnavailableLeavesEveryTextEmptyTheNamesToo) {
    Emuctl(L"cimv2 --unavailable");
    CWmiInventory inventory;
    for (int i = 0; i < quillon::kInventoryTextCount; ++i)
        EXPECT_EQ(inventory.Text(static_cast<InventoryText>(i)), "") << "text " << i;
}

TEST_F(Viewer, GetULongOfInstance3ReturnsTheFirmwaresValueUnchanged) {
    struct Case {
        const wchar_t* value;
        ULONG expected;
        const char* field;
    } cases[] = {{L"0x0501", 0x0501, "01.05"}, {L"0xFF80", 0xFF80, "80.FF"}, {L"0xDEAD2A01", 0xDEAD2A01, "01.2A"}};
    for (const Case& c : cases) {
        Emuctl(std::wstring(L"setting ECVersion ") + c.value);
        CWAcpi acpi;
        ASSERT_TRUE(acpi.IsInitialised());
        EXPECT_EQ(acpi.GetULong(3), c.expected);
        EXPECT_EQ(quillon::EcFieldText(acpi.ReadULong(3)), c.field);
    }
}

TEST_F(Viewer, FewerThanFourInstancesTakeTheNextPathAndStillCallTheMethod) {
    Emuctl(L"setting ECVersion 0x0501");
    Emuctl(L"setting MethodInstances 3");
    CWAcpi acpi;
    ASSERT_TRUE(acpi.IsInitialised());
    const unsigned long callsBefore = Setting(L"MethodCalls");
    DebugCapture debug;
    EXPECT_EQ(acpi.ReadULong(3), std::nullopt);
    EXPECT_EQ(acpi.GetULong(3), 0u);  // the defined value when there is none
    EXPECT_EQ(debug.Count("ppEnum->Next\n"), 2) << debug.All();
    EXPECT_EQ(Setting(L"MethodCalls"), callsBefore + 2);
    EXPECT_EQ(quillon::EcFieldText(acpi.ReadULong(3)), "");
}

TEST_F(Viewer, CreateInstanceEnumFailuresAreNotedOnceAndTheValueIsStillRead) {
    struct Case {
        const wchar_t* failures;
        int problemLines;
        int failedLines;
    } cases[] = {{L"0", 0, 0}, {L"1", 0, 0}, {L"2", 1, 0}, {L"30", 0, 1}};
    Emuctl(L"setting ECVersion 0x0A01");
    for (const Case& c : cases) {
        CWAcpi acpi;
        ASSERT_TRUE(acpi.IsInitialised());
        Emuctl(std::wstring(L"setting FailInstanceEnums ") + c.failures);
        DebugCapture debug;
        EXPECT_EQ(acpi.ReadULong(3), 0x0A01u) << c.failures;
        EXPECT_EQ(debug.Count("CreateInstanceEnum has problem more than once\n"), c.problemLines) << c.failures;
        EXPECT_EQ(debug.Count("CreateInstanceEnum is failed\n"), c.failedLines) << c.failures;
        EXPECT_EQ(Setting(L"FailInstanceEnums"), 0u) << c.failures;
    }
}

TEST_F(Viewer, AHotKeyULongEventReachesTheWindowGivenAtConstruction) {
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    {
        CWAcpi acpi(window);
        ASSERT_TRUE(acpi.IsInitialised());
        Emuctl(L"raise 0x1111");  // ZEL_Event: not for this sink
        Emuctl(L"raise-ulong 0xCAFE0042");
        MSG msg{};
        bool got = false;
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (!got && GetTickCount64() < deadline) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            while (!got && PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) got = msg.message == WM_WACPI_NOTIFY;
        }
        ASSERT_TRUE(got);
        EXPECT_EQ(msg.wParam, static_cast<WPARAM>(0xCAFE0042u));
        EXPECT_EQ(msg.lParam, 0);
    }
    DestroyWindow(window);
}

// The start-up runs both readings on workers while its dialog builds itself.
TEST_F(Viewer, ReadingsOnWorkersGiveTheTextsAndTheValueOfTheCallsThemselves) {
    Emuctl(L"cimv2 Win32_VideoController \"Name= Emulated Display  \"");
    Emuctl(L"cimv2 Win32_BIOS \"SMBIOSBIOSVersion= 1.07 \"");
    Emuctl(L"cimv2 Win32_Processor \"Name=  Emulated CPU \"");
    Emuctl(L"setting ECVersion 0xDEAD2A01");
    FirmwareRead firmware(3);
    InventoryRead inventory;
    const ShownInventory shown = inventory.Result();
    EXPECT_EQ(shown.processorName, "Emulated CPU");
    EXPECT_EQ(shown.videoControllerName, "Emulated Display");
    EXPECT_EQ(shown.smbiosBiosVersion, " 1.07");
    const FirmwareReading reading = firmware.Result(60000);
    EXPECT_TRUE(reading.answered);
    EXPECT_EQ(reading.value, std::optional<ULONG>(0xDEAD2A01));
}

TEST(MtaWorkerTest, AJobNotWaitedForToItsEndRunsOnWithWhatItShares) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(go && done);
    auto result = std::make_shared<int>(0);
    {
        MtaWorker worker([go, done, result] {
            WaitForSingleObject(go, 60000);
            *result = 42;
            SetEvent(done);
        });
        ASSERT_TRUE(worker.Started());
        EXPECT_FALSE(worker.WaitSinceStart(0));
    }  // its owner has gone while the job still waits
    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(done, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(*result, 42);
    CloseHandle(go);
    CloseHandle(done);
}

}  // namespace
