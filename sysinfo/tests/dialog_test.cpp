// Quillon.exe run as a child of the test, as a person would start it, and
// looked at from outside: its dialog's controls, their places and texts,
// how it closes, and which starts show nothing at all.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleacc.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "dialog_find.h"
#include "WmiInventory.h"
#include "emuctl_run.h"

namespace {

using vxtest::ChildRun;

void Emuctl(const std::wstring& args) {
    auto r = emutest::RunEmuctl(args);
    ASSERT_EQ(r.exitCode, 0u) << r.out;
}

// A rectangle in dialog units: left, top, width, height.
struct Du {
    int x, y, w, h;
};

struct ControlPlace {
    int id;
    Du english, korean;
};

const ControlPlace kControls[] = {
    {IDOK, {277, 126, 61, 14}, {285, 127, 53, 15}},
    {1026, {244, 7, 94, 11}, {240, 7, 98, 11}},     // memory bar
    {1025, {244, 21, 94, 11}, {240, 20, 98, 11}},   // disk bar
    {1013, {7, 16, 163, 124}, {7, 15, 163, 127}},   // gauge area
    {1029, {171, 46, 72, 8}, {171, 47, 72, 8}},     // BIOS label
    {1019, {171, 54, 65, 12}, {171, 55, 65, 12}},   // BIOS field
    {1030, {251, 46, 68, 8}, {251, 47, 68, 8}},     // EC label
    {1018, {250, 54, 68, 12}, {250, 55, 68, 12}},   // EC field
    {1031, {170, 71, 70, 8}, {170, 72, 70, 8}},
    {1027, {170, 79, 168, 12}, {170, 80, 168, 12}},
    {1032, {170, 93, 70, 8}, {170, 94, 70, 8}},
    {1028, {170, 101, 168, 12}, {170, 102, 168, 12}},
    {1035, {7, 7, 107, 8}, {7, 7, 75, 8}},
};

// The two bar captions have no id; they are found by their text.
struct CaptionPlace {
    const wchar_t* text;
    Du place;
};
const CaptionPlace kEnglishCaptions[] = {{L"Physical Mem. Usage", {170, 9, 76, 8}},
                                         {L"Disk Space Usage", {170, 24, 76, 8}}};
const CaptionPlace kKoreanCaptions[] = {{L"실제 메모리 사용", {170, 9, 68, 8}}, {L"하드 디스크 사용", {170, 22, 68, 8}}};

std::wstring TextW(HWND hwnd) {
    wchar_t buf[512] = {};
    GetWindowTextW(hwnd, buf, 512);
    return buf;
}
// Asked of the control itself: GetWindowText of another process's edit
// control gives only its caption, which an edit does not have.
std::string TextA(HWND hwnd) {
    char buf[512] = {};
    SendMessageA(hwnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
    return buf;
}

HWND DialogOf(DWORD pid) {
    viewertest::DialogMatch match;
    match.pid = pid;
    return viewertest::FindVisibleDialog(match);
}

// Waits for the child's dialog, at most deadlineMs; nullptr when the child
// ended or no dialog came.
HWND WaitDialog(ChildRun& run, DWORD deadlineMs = 60000) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < deadlineMs) {
        if (HWND dlg = DialogOf(run.Pid())) return dlg;
        if (run.WaitExit(50) != -1) return nullptr;
    }
    return nullptr;
}

// What a screen reader reads of a control of another process: the role,
// name and value of its client object.
struct Readout {
    long role = -1;
    std::wstring name, value;
};
std::wstring TakeBstr(BSTR text) {
    std::wstring out = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return out;
}
Readout ReadAccessibleObject(HWND control) {
    Readout r;
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&acc))) ||
        !acc)
        return r;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role;
    VariantInit(&role);
    if (SUCCEEDED(acc->get_accRole(self, &role)) && role.vt == VT_I4) r.role = role.lVal;
    BSTR text = nullptr;
    if (acc->get_accName(self, &text) == S_OK) r.name = TakeBstr(text);
    text = nullptr;
    if (acc->get_accValue(self, &text) == S_OK) r.value = TakeBstr(text);
    acc->Release();
    return r;
}
Readout ReadAccessible(HWND control) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Readout r = ReadAccessibleObject(control);
    if (SUCCEEDED(com)) CoUninitialize();
    return r;
}

// Value changes raised by other processes while the test waits: an
// out-of-context hook, as screen readers use.
std::vector<HWND> g_valueChanges;
void CALLBACK OnValueChange(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG, DWORD, DWORD) {
    if (object == OBJID_CLIENT) g_valueChanges.push_back(hwnd);
}
// Hooks value changes for `ms` milliseconds, handling messages meanwhile.
std::vector<HWND> ValueChangesDuring(DWORD ms) {
    g_valueChanges.clear();
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, OnValueChange,
                                         0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (hook) UnhookWinEvent(hook);
    return g_valueChanges;
}

// The gauge's stand-in for accessibility clients.
constexpr int kGaugeReaderId = 1100;

std::wstring Widen(const std::string& ansi) {
    std::wstring out(ansi.size(), L'\0');
    out.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), out.data(), static_cast<int>(out.size()))));
    return out;
}

// A control's place in the dialog's client coordinates.
RECT PlaceOf(HWND dlg, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Dialog units to pixels as the dialog manager converts them, with the
// base units recovered from the client area's size (345 x 147 units).
struct BaseUnits {
    int x, y;
    explicit BaseUnits(HWND dlg) {
        RECT client{};
        GetClientRect(dlg, &client);
        x = static_cast<int>(std::lround(client.right * 4.0 / 345));
        y = static_cast<int>(std::lround(client.bottom * 8.0 / 147));
    }
    RECT Pixels(const Du& du) const {
        const int left = MulDiv(du.x, x, 4), top = MulDiv(du.y, y, 8);
        return {left, top, left + MulDiv(du.w, x, 4), top + MulDiv(du.h, y, 8)};
    }
};

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top) + ")";
}

enum class Language { English, Korean };

// Every control at its place for the language; the brand decides the EC
// field's visibility and the BIOS field's width.
void ExpectLayout(HWND dlg, Language language, bool zel) {
    BaseUnits units(dlg);
    RECT client{};
    GetClientRect(dlg, &client);
    EXPECT_EQ(client.right, MulDiv(345, units.x, 4));
    EXPECT_EQ(client.bottom, MulDiv(147, units.y, 8));
    for (const ControlPlace& c : kControls) {
        HWND control = GetDlgItem(dlg, c.id);
        ASSERT_NE(control, nullptr) << c.id;
        const Du& du = language == Language::Korean ? c.korean : c.english;
        RECT want = units.Pixels(du);
        const bool ecField = c.id == 1030 || c.id == 1018;
        if (zel && c.id == 1019) {
            const Du& ec = language == Language::Korean ? kControls[7].korean : kControls[7].english;
            want.right += MulDiv(ec.w, units.x, 4);  // widened by the EC field's width, not the gap
        }
        EXPECT_EQ(Describe(PlaceOf(dlg, control)), Describe(want)) << "control " << c.id;
        const bool shown = c.id != 1013 && !(zel && ecField);
        EXPECT_EQ(IsWindowVisible(control) != FALSE, shown) << "control " << c.id;
    }
    for (const CaptionPlace& c : language == Language::Korean ? kKoreanCaptions : kEnglishCaptions) {
        HWND control = FindWindowExW(dlg, nullptr, L"Static", c.text);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(Describe(PlaceOf(dlg, control)), Describe(units.Pixels(c.place)));
    }
    EXPECT_TRUE(GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

// Reads one "NN%" bar text as its number, or -1.
int BarPercent(HWND bar) {
    const std::string text = TextA(bar);
    if (text.size() < 2 || text.back() != '%') return -1;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return -1;
    return std::stoi(text);
}

class Viewer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Emuctl(L"install"); }
    void SetUp() override { Emuctl(L"reset"); }
    void TearDown() override { Emuctl(L"reset"); }
};

TEST_F(Viewer, BothBrandsLayOutEveryControlTheZelBrandWithoutTheEcField) {
    for (const char* option : {"/COMP_QN", "/COMP_ZEL"}) {
        SCOPED_TRACE(option);
        ChildRun viewer("Quillon.exe", option);
        ASSERT_TRUE(viewer.Started());
        HWND dlg = WaitDialog(viewer);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(TextW(dlg), L"QN System Information");  // no brand changes the title
        EXPECT_EQ(TextW(GetDlgItem(dlg, IDOK)), L"Ok");
        EXPECT_EQ(TextW(GetDlgItem(dlg, 1035)), L"Total battery power remaining");
        ExpectLayout(dlg, Language::English, std::string(option) == "/COMP_ZEL");
    }
}

TEST_F(Viewer, FieldsShowTheFirmwareVersionTheBiosTheVideoControllerAndTheProcessor) {
    Emuctl(L"setting ECVersion 0xFF80");
    Emuctl(L"cimv2 Win32_BIOS \"SMBIOSBIOSVersion= QN1.07 \"");
    Emuctl(L"cimv2 Win32_VideoController \"Name= Emulated Display  \"");
    char cpu[260] = {};
    DWORD size = sizeof cpu;
    ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                           "ProcessorNameString", RRF_RT_REG_SZ, nullptr, cpu, &size),
              ERROR_SUCCESS);
    struct Case {
        const char* option;
        const char* ec;
    } cases[] = {{"/COMP_QN", "80.FF"}, {"/COMP_ZEL", ""}};  // ZEL does not read the firmware
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        ChildRun viewer("Quillon.exe", c.option);
        HWND dlg = WaitDialog(viewer);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(TextA(GetDlgItem(dlg, 1018)), c.ec);
        EXPECT_EQ(TextA(GetDlgItem(dlg, 1019)), " QN1.07");  // trailing spaces cut, the leading one kept
        EXPECT_EQ(TextA(GetDlgItem(dlg, 1028)), "Emulated Display");
        EXPECT_EQ(TextA(GetDlgItem(dlg, 1027)), cpu);
    }
}

TEST_F(Viewer, WithoutOverridesTheFieldsShowWinesInventoryAndTheFirmwaresDefaultVersion) {
    std::string bios, video;
    {
        // Read here as the viewer reads them, in the same apartment kind.
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CWmiInventory inventory;
        bios = inventory.SMBIOSBIOSVersion();
        video = inventory.VideoControllerName();
        CoUninitialize();
    }
    ASSERT_FALSE(bios.empty());
    ChildRun viewer("Quillon.exe", "/COMP_QN");
    HWND dlg = WaitDialog(viewer);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(TextA(GetDlgItem(dlg, 1019)), bios);
    EXPECT_EQ(TextA(GetDlgItem(dlg, 1028)), video);
    EXPECT_EQ(TextA(GetDlgItem(dlg, 1018)), "01.0A");  // the emulated firmware's version 0x0A01
}

TEST_F(Viewer, BarsShowMemoryLoadAndUsedDiskSpaceInPercent) {
    ChildRun viewer("Quillon.exe", "/COMP_QN");
    HWND dlg = WaitDialog(viewer);
    ASSERT_NE(dlg, nullptr);
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    ULARGE_INTEGER available{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(system, &available, &total, &free));
    const int used = 100 - static_cast<int>(free.QuadPart * 100 / total.QuadPart);
    const int shown = BarPercent(GetDlgItem(dlg, 1025));
    EXPECT_NEAR(shown, used, 1) << TextA(GetDlgItem(dlg, 1025));  // the disk may change meanwhile
    const int memory = BarPercent(GetDlgItem(dlg, 1026));
    EXPECT_GE(memory, 0) << TextA(GetDlgItem(dlg, 1026));
    EXPECT_LE(memory, 100);
}

TEST_F(Viewer, GaugeAndBarsReadOutTheirNamesAndValuesAndARefreshRepeatsNothingUnchanged) {
    ChildRun viewer("Quillon.exe", "/COMP_QN");
    HWND dlg = WaitDialog(viewer);
    ASSERT_NE(dlg, nullptr);
    struct Bar { int id; const wchar_t* name; };
    for (const Bar& bar : {Bar{1026, L"Physical Mem. Usage"}, Bar{1025, L"Disk Space Usage"}}) {
        const Readout r = ReadAccessible(GetDlgItem(dlg, bar.id));
        EXPECT_EQ(r.role, ROLE_SYSTEM_PROGRESSBAR) << bar.id;
        EXPECT_EQ(r.name, bar.name);
        EXPECT_EQ(r.value, Widen(TextA(GetDlgItem(dlg, bar.id))));
        EXPECT_FALSE(r.value.empty());
    }
    HWND gauge = GetDlgItem(dlg, kGaugeReaderId);
    ASSERT_NE(gauge, nullptr);
    // Where the gauge is drawn, read after its caption.
    EXPECT_EQ(GetWindow(gauge, GW_HWNDPREV), GetDlgItem(dlg, 1035));
    RECT area = PlaceOf(dlg, gauge), drawn = PlaceOf(dlg, GetDlgItem(dlg, 1013));
    EXPECT_TRUE(EqualRect(&area, &drawn)) << Describe(area) << " " << Describe(drawn);
    const Readout r = ReadAccessible(gauge);
    EXPECT_EQ(r.role, ROLE_SYSTEM_PROGRESSBAR);
    EXPECT_EQ(r.name, L"Total battery power remaining");
    SYSTEM_POWER_STATUS power{};
    ASSERT_TRUE(GetSystemPowerStatus(&power));
    std::wstring expected = L"Unknown";
    if (power.BatteryLifePercent <= 100) {
        expected = std::to_wstring(power.BatteryLifePercent) + L" %";
        if ((power.BatteryFlag & 8) && power.BatteryFlag != 255) expected += L", Charging the battery";
    }
    EXPECT_EQ(r.value, expected);
    // Two refreshes (every 2 s) of an unchanged battery: the gauge tells nothing again.
    const std::vector<HWND> changes = ValueChangesDuring(4500);
    EXPECT_EQ(std::count(changes.begin(), changes.end(), gauge), 0) << changes.size() << " value changes in all";
}

TEST_F(Viewer, ProcessorFallsBackToTheInventorysNameWithoutTheRegistryValue) {
    const char* key = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
    char saved[260] = {};
    DWORD size = sizeof saved;
    ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, key, "ProcessorNameString", RRF_RT_REG_SZ, nullptr, saved, &size),
              ERROR_SUCCESS);
    Emuctl(L"cimv2 Win32_Processor \"Name=  Emulated CPU \"");
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key, "ProcessorNameString"), ERROR_SUCCESS);
    struct Restore {
        const char* key;
        const char* value;
        ~Restore() {
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, "ProcessorNameString", REG_SZ, value,
                            static_cast<DWORD>(strlen(value) + 1));
        }
    } restore{key, saved};
    ChildRun viewer("Quillon.exe", "/COMP_ZEL");
    HWND dlg = WaitDialog(viewer);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(TextA(GetDlgItem(dlg, 1027)), "Emulated CPU");
}

TEST_F(Viewer, EscapeLeavesTheDialogOpenOkAndTheCloseBoxEndTheProgram) {
    struct Case {
        const char* how;
        void (*close)(HWND dlg);
    } cases[] = {
        {"OK", [](HWND dlg) { PostMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0); }},
        {"close box", [](HWND dlg) { PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ChildRun viewer("Quillon.exe", "/COMP_QN");
        HWND dlg = WaitDialog(viewer);
        ASSERT_NE(dlg, nullptr);
        // Escape as the keyboard delivers it to the focused control, and the
        // cancel command it turns into.
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gui));
        HWND focus = gui.hwndFocus ? gui.hwndFocus : dlg;
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(viewer.WaitExit(2500), -1) << "Escape ended the program";
        EXPECT_TRUE(IsWindowVisible(dlg));
        c.close(dlg);
        EXPECT_NE(viewer.WaitExit(15000), -1) << "still running";
    }
}

// The offset of the shared counter section in the program's image, and
// whether the section is marked shared.
struct SharedSection {
    DWORD rva = 0;
    DWORD characteristics = 0;
};
std::optional<SharedSection> FindSharedSection(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (image.size() < sizeof(IMAGE_DOS_HEADER)) return std::nullopt;
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(image.data());
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    auto* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (std::string(reinterpret_cast<char*>(section->Name), strnlen(reinterpret_cast<char*>(section->Name), 8)) ==
            "Shared")
            return SharedSection{section->VirtualAddress, section->Characteristics};
    return std::nullopt;
}

TEST_F(Viewer, ASecondCopyEndsWhileTheFirstRunsWhichCountsOneInstance) {
    const auto section = FindSharedSection(vxtest::BinDir() + "Quillon.exe");
    ASSERT_TRUE(section);
    const DWORD wanted = IMAGE_SCN_MEM_SHARED | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE;
    EXPECT_EQ(section->characteristics & wanted, wanted);

    ChildRun first("Quillon.exe", "/COMP_QN");
    HWND dlg = WaitDialog(first);
    ASSERT_NE(dlg, nullptr);
    HMODULE base = nullptr;
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(first.Process(), &base, sizeof base, &needed));
    LONG count = -1;
    ASSERT_TRUE(ReadProcessMemory(first.Process(), reinterpret_cast<const char*>(base) + section->rva, &count,
                                  sizeof count, nullptr));
    EXPECT_EQ(count, 1);

    ChildRun second("Quillon.exe", "/COMP_QN");
    ASSERT_TRUE(second.Started());
    EXPECT_NE(second.WaitExit(20000), -1) << "the second copy still runs";
    EXPECT_EQ(DialogOf(second.Pid()), nullptr);
    EXPECT_EQ(first.WaitExit(0), -1);
    EXPECT_TRUE(IsWindowVisible(dlg));
}

// The program's image mapped by the test for as long as the object lives, so
// the shared counter outlives every copy the test starts (as it does while
// any process maps the program), and read in the test's own mapping.
class SharedCounter {
public:
    SharedCounter() : m_section(FindSharedSection(vxtest::BinDir() + "Quillon.exe")) {
        if (m_section)
            m_image = LoadLibraryExA((vxtest::BinDir() + "Quillon.exe").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    }
    ~SharedCounter() {
        if (m_image) FreeLibrary(m_image);
    }
    SharedCounter(const SharedCounter&) = delete;
    SharedCounter& operator=(const SharedCounter&) = delete;
    bool Mapped() const { return m_image != nullptr; }
    LONG Value() const {
        return *reinterpret_cast<const volatile LONG*>(reinterpret_cast<const char*>(m_image) + m_section->rva);
    }

private:
    std::optional<SharedSection> m_section;
    HMODULE m_image = nullptr;
};

TEST_F(Viewer, EveryCopyCountsItselfOutWhenItEndsSoTheNextOneStarts) {
    SharedCounter counter;
    ASSERT_TRUE(counter.Mapped()) << GetLastError();
    ASSERT_EQ(counter.Value(), 0);
    struct Case {
        const char* args;
        bool shows;
    } cases[] = {{"/COMP_QN", true}, {"", false}, {"/COMP_ZEL", true}, {"/COMP_QN", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ChildRun viewer("Quillon.exe", c.args);
        ASSERT_TRUE(viewer.Started());
        HWND dlg = WaitDialog(viewer, c.shows ? 60000 : 20000);
        ASSERT_EQ(dlg != nullptr, c.shows);
        if (dlg) {
            EXPECT_EQ(counter.Value(), 1);
            PostMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
        }
        ASSERT_NE(viewer.WaitExit(15000), -1) << "still running";
        EXPECT_EQ(counter.Value(), 0);
    }
}

TEST_F(Viewer, AMutexThisProcessMayNotOpenMeansAnotherCopyRunsSoNothingShows) {
    SharedCounter counter;
    ASSERT_TRUE(counter.Mapped()) << GetLastError();
    // Made first with a DACL that grants nothing, as one made by another
    // user or by an elevated copy is to this process.
    SECURITY_DESCRIPTOR sd{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ACL acl{};
    ASSERT_TRUE(InitializeAcl(&acl, sizeof acl, ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE));
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    HANDLE mutex = CreateMutexA(&sa, FALSE, "Global\\QNSYSINFO_ONCE");
    ASSERT_NE(mutex, nullptr);
    struct Close {
        HANDLE h;
        ~Close() { CloseHandle(h); }
    } close{mutex};
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // The system honours the DACL: not even its maker opens it with full access.
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "Global\\QNSYSINFO_ONCE"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    ChildRun viewer("Quillon.exe", "/COMP_QN");
    ASSERT_TRUE(viewer.Started());
    EXPECT_EQ(WaitDialog(viewer, 20000), nullptr);
    EXPECT_NE(viewer.WaitExit(0), -1) << "still running";
    EXPECT_EQ(counter.Value(), 0);
}

TEST_F(Viewer, AFirmwareThatNeverAnswersLeavesTheEcFieldEmptyAndClosingEndsTheProgram) {
    SharedCounter counter;
    ASSERT_TRUE(counter.Mapped()) << GetLastError();
    Emuctl(L"setting MethodHangMs 600000");  // longer than any wait of this test
    ChildRun viewer("Quillon.exe", "/COMP_QN");
    HWND dlg = WaitDialog(viewer);
    ASSERT_NE(dlg, nullptr) << "no dialog while the firmware hangs";
    EXPECT_EQ(TextA(GetDlgItem(dlg, 1018)), "");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dlg, 1018)));
    PostMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
    EXPECT_NE(viewer.WaitExit(15000), -1) << "still running with the firmware call";
    EXPECT_EQ(counter.Value(), 0);  // counted out on the way, too
}

// The full paths of a process's modules of one file name.
std::vector<std::string> ModulePaths(HANDLE process, const char* fileName) {
    HMODULE modules[512];
    DWORD needed = 0;
    std::vector<std::string> paths;
    if (!EnumProcessModules(process, modules, sizeof modules, &needed)) return paths;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
        char path[MAX_PATH] = {};
        if (!GetModuleFileNameExA(process, modules[i], path, MAX_PATH)) continue;
        const char* name = strrchr(path, '\\');
        if (lstrcmpiA(name ? name + 1 : path, fileName) == 0) paths.push_back(path);
    }
    return paths;
}

TEST_F(Viewer, APowrprofBesideTheProgramIsNotLoadedTheSystemsIs) {
    // A copy of the program in the stand-in library's folder.
    const std::string folder = "fake_powrprof\\";
    ASSERT_NE(GetFileAttributesA((vxtest::BinDir() + folder + "powrprof.dll").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(CopyFileA((vxtest::BinDir() + "Quillon.exe").c_str(),
                          (vxtest::BinDir() + folder + "Quillon.exe").c_str(), FALSE));
    ChildRun viewer(folder + "Quillon.exe", "/COMP_QN");
    HWND dlg = WaitDialog(viewer);
    ASSERT_NE(dlg, nullptr);
    const std::vector<std::string> loaded = ModulePaths(viewer.Process(), "powrprof.dll");
    ASSERT_EQ(loaded.size(), 1u);
    const std::string besideProgram = vxtest::BinDir() + folder + "powrprof.dll";
    EXPECT_NE(lstrcmpiA(loaded[0].c_str(), besideProgram.c_str()), 0) << loaded[0];
    // From the system folder, under the name a program of this bitness sees
    // (a 32-bit one on a 64-bit system may be told syswow64 or system32).
    char system[MAX_PATH] = {}, wow64Folder[MAX_PATH] = {};
    ASSERT_TRUE(GetSystemDirectoryA(system, MAX_PATH));
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    if (wow64) {
        ASSERT_TRUE(GetSystemWow64DirectoryA(wow64Folder, MAX_PATH));
    }
    auto in = [&](const char* folder) {
        return *folder && lstrcmpiA(loaded[0].c_str(), (std::string(folder) + "\\powrprof.dll").c_str()) == 0;
    };
    EXPECT_TRUE(in(system) || in(wow64Folder)) << loaded[0];
}

TEST_F(Viewer, WithoutABrandOptionNothingShowsAndTheProgramEnds) {
    for (const char* args : {"", "/comp_qn", "/Comp_Zel", "/COMP_Q", "COMP_QN"}) {
        SCOPED_TRACE(args);
        ChildRun viewer("Quillon.exe", args);
        ASSERT_TRUE(viewer.Started());
        EXPECT_EQ(WaitDialog(viewer, 20000), nullptr);
        EXPECT_NE(viewer.WaitExit(0), -1) << "still running";
    }
}

TEST_F(Viewer, OptionsAreFoundInsideLongerArgumentsAndQnWins) {
    struct Case {
        const char* args;
        bool ecShown;
    } cases[] = {{"x/COMP_QNy", true}, {"/COMP_ZEL /COMP_QN", true}, {"--/COMP_ZEL--", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ChildRun viewer("Quillon.exe", c.args);
        HWND dlg = WaitDialog(viewer);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(IsWindowVisible(GetDlgItem(dlg, 1018)) != FALSE, c.ecShown);
    }
}

// Run by its own test entry, which runs the test as on a Korean Windows
// and says so in ZEL_TEST_KOREAN_UI.
TEST_F(Viewer, KoreanUiShowsTheKoreanTemplate) {
    const bool korean = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_KOREAN;
    if (!GetEnvironmentVariableA("ZEL_TEST_KOREAN_UI", nullptr, 0)) {
        ASSERT_FALSE(korean);
        GTEST_SKIP() << "the English run; the Korean entry runs this";
    }
    ASSERT_TRUE(korean) << "the Korean entry's user interface is not Korean";
    for (const char* option : {"/COMP_QN", "/COMP_ZEL"}) {
        SCOPED_TRACE(option);
        ChildRun viewer("Quillon.exe", option);
        HWND dlg = WaitDialog(viewer);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(TextW(dlg), L"QN 시스템 정보");
        EXPECT_EQ(TextW(GetDlgItem(dlg, IDOK)), L"닫기");
        EXPECT_EQ(TextW(GetDlgItem(dlg, 1035)), L"남은 총 배터리 양");
        // Read out in the dialog's language.
        EXPECT_EQ(ReadAccessible(GetDlgItem(dlg, kGaugeReaderId)).name, L"남은 총 배터리 양");
        EXPECT_EQ(ReadAccessible(GetDlgItem(dlg, 1026)).name, L"실제 메모리 사용");
        ExpectLayout(dlg, Language::Korean, std::string(option) == "/COMP_ZEL");
    }
}

}  // namespace
