#include "QNSystemInfoApp.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <optional>
#include <utility>

#include "BMSysInfo.h"
#include "WAcpi.h"
#include "WmiInventory.h"

namespace {

// Counts the running copies of the program across processes: the section
// is marked shared, so every copy maps the same counter.
volatile LONG g_instanceCount __attribute__((section("Shared"), shared)) = 0;

// Held until the process ends; the system closes it then.
HANDLE g_instanceMutex = nullptr;

// This copy's count in the shared counter, from start-up until start-up
// returns (every way it returns), so a copy that has ended never counts.
class CountedCopy {
public:
    CountedCopy() : m_count(InterlockedIncrement(&g_instanceCount)) {}
    ~CountedCopy() { InterlockedDecrement(&g_instanceCount); }
    CountedCopy(const CountedCopy&) = delete;
    CountedCopy& operator=(const CountedCopy&) = delete;
    // The counter's value just after this copy counted itself.
    LONG Count() const { return m_count; }

private:
    LONG m_count;
};

quillon::InstanceMutex CreateInstanceMutex() {
    g_instanceMutex = CreateMutexA(nullptr, TRUE, "Global\\QNSYSINFO_ONCE");
    const DWORD error = GetLastError();
    if (!g_instanceMutex) return error == ERROR_ACCESS_DENIED ? quillon::InstanceMutex::AccessDenied
                                                              : quillon::InstanceMutex::Failed;
    return error == ERROR_ALREADY_EXISTS ? quillon::InstanceMutex::Exists : quillon::InstanceMutex::Created;
}

bool IsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

}  // namespace

std::optional<std::string> RegistryProcessorName() {
    HKEY key = nullptr;
    // Reading needs only query access, which a standard user has.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return std::nullopt;
    char buffer[260] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG status =
        RegQueryValueExA(key, "ProcessorNameString", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    // A stored value need not end in a zero; it ends at the first one or
    // after the bytes read.
    std::string name(buffer, size);
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    return name;
}

bool CQNSystemInfoApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);

    if (quillon::AnotherCopyRuns(CreateInstanceMutex())) {
        if (g_instanceMutex) ReleaseMutex(g_instanceMutex);
        return false;
    }
    bool firmwareLeftWaiting = false;
    {
        const CountedCopy counted;
        if (counted.Count() > 1) return false;
        firmwareLeftWaiting = ShowInformation();
    }
    if (firmwareLeftWaiting) {
        // The firmware worker still waits in its call: ending the process
        // ends it, and nothing waits for it on the way out.
        ExitProcess(0);
    }
    return false;
}

bool CQNSystemInfoApp::ShowInformation() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // Process-wide security for the inventory's WMI connection; a failure
    // leaves whatever the process has.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_SECURE_REFS, nullptr);

    m_brand = quillon::BrandFromCommandLine(GetCommandLineA(), IsLeadByte);
    if (m_brand == quillon::Brand::None) return false;  // refused: nothing shows

    // The firmware reading and the inventory run on workers while the dialog
    // builds itself; the dialog takes their texts just before it first shows
    // them. The firmware walk is waited for with a bound: a firmware that
    // does not answer leaves the field empty instead of keeping the program
    // without a window.
    std::optional<FirmwareRead> firmware;
    if (m_brand == quillon::Brand::QN) firmware.emplace(3);
    InventoryRead inventory;

    auto dialog = std::make_unique<CBMSysInfo>(m_brand);
    m_pMainWnd = dialog.get();

    bool firmwareAnswered = true;
    bool gathered = false;
    auto gatherTexts = [&] {
        if (std::exchange(gathered, true)) return;
        const ShownInventory shown = inventory.Result();
        dialog->m_strProcessor = quillon::ProcessorText(RegistryProcessorName(), shown.processorName);
        dialog->m_strVideoController = shown.videoControllerName;
        dialog->m_strBIOSVersion = shown.smbiosBiosVersion;
        if (!firmware) return;
        const FirmwareReading reading = firmware->Result(quillon::kFirmwareAnswerWaitMs);
        firmwareAnswered = reading.answered;
        if (reading.value) {
            const quillon::EcVersionRecord read = quillon::EcVersionFromULong(*reading.value);
            m_ecVersion.major = read.major;
            m_ecVersion.minor = read.minor;
            dialog->m_strECVersion = quillon::EcVersionText(m_ecVersion);
        }
    };
    dialog->m_gatherTexts = gatherTexts;

    dialog->DoModal();
    gatherTexts();  // a dialog that could not be made still waits for the readings
    m_pMainWnd = nullptr;
    dialog.reset();
    return !firmwareAnswered;
}
