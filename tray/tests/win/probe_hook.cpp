// Test helper DLL: a WH_CALLWNDPROC hook that the probe sets on the tray
// program's thread. Wine (like Windows) loads it into the tray program, so it
// can read the open popup menu and deliver messages whose lParam points into
// the receiving process. Requests arrive as the registered message
// "TrayProbeRequest"; results go to the shared section "TrayProbeResult".
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kResultSize = 8192;
constexpr WPARAM kReadMenu = 1;         // sent to the popup menu window
constexpr WPARAM kPowerSource = 2;      // sent to the main window; lParam: data of the setting
constexpr WPARAM kPowerSourceShort = 3; // the same with a data length of 1 (must be ignored)

const GUID kAcDcPowerSource = {0x5D3E9A59, 0xE9D5, 0x4B00, {0xA6, 0xBD, 0xFF, 0x34, 0xFF, 0x51, 0x65, 0x48}};

void Publish(const char* text) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, "TrayProbeResult");
    if (!mapping) return;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kResultSize)) {
        lstrcpynA(static_cast<char*>(view), text, kResultSize);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
}

void ReadMenu(HWND popup) {
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
    char out[kResultSize] = {};
    if (!menu) {
        Publish("no menu\n");
        return;
    }
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[512] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = sizeof text - 1;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        char line[600];
        std::snprintf(line, sizeof line, "%u\t%s\n", info.wID, text);
        if (std::strlen(out) + std::strlen(line) < sizeof out) std::strcat(out, line);
    }
    Publish(out);
}

void SendPowerSource(HWND mainWindow, DWORD data, DWORD length) {
    struct {
        GUID guid;
        DWORD length;
        DWORD data;
    } setting = {kAcDcPowerSource, length, data};
    static_assert(sizeof setting == sizeof(GUID) + 2 * sizeof(DWORD));
    LRESULT r = SendMessageA(mainWindow, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&setting));
    Publish(r == TRUE ? "handled\n" : "not handled\n");
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeCallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    static UINT request = RegisterWindowMessageA("TrayProbeRequest");
    if (code == HC_ACTION) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (cwp->message == request) {
            switch (cwp->wParam) {
            case kReadMenu: ReadMenu(cwp->hwnd); break;
            case kPowerSource: SendPowerSource(cwp->hwnd, static_cast<DWORD>(cwp->lParam), 4); break;
            case kPowerSourceShort: SendPowerSource(cwp->hwnd, static_cast<DWORD>(cwp->lParam), 1); break;
            default: break;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
