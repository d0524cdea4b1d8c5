// Test tool: listens to accessibility events of other processes as a screen
// reader does (an out-of-context event hook) and writes one line per event,
// UTF-8: "alert|ROLE|NAME" for an alert, "value|ROLE|NAME|VALUE" for a value
// change, the object read through AccessibleObjectFromEvent. Also reads one
// window's client object: "read HWND". Every run is bounded.
//   a11y_listen listen FILE SECONDS   prints "ready" once hooked
//   a11y_listen read HWND             prints "ROLE|NAME|VALUE"
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

FILE* g_out = nullptr;

std::string Utf8(const wchar_t* text, int length) {
    if (!text || length <= 0) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string Take(BSTR text) {
    std::string out = text ? Utf8(text, static_cast<int>(SysStringLen(text))) : std::string();
    SysFreeString(text);
    return out;
}

// "ROLE|NAME|VALUE" of an object and child.
std::string Describe(IAccessible* acc, VARIANT child) {
    VARIANT role;
    VariantInit(&role);
    long roleId = -1;
    if (SUCCEEDED(acc->get_accRole(child, &role)) && role.vt == VT_I4) roleId = role.lVal;
    VariantClear(&role);
    BSTR name = nullptr, value = nullptr;
    if (FAILED(acc->get_accName(child, &name))) name = nullptr;
    if (FAILED(acc->get_accValue(child, &value))) value = nullptr;
    return std::to_string(roleId) + "|" + Take(name) + "|" + Take(value);
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    IAccessible* acc = nullptr;
    VARIANT var;
    VariantInit(&var);
    std::string line = event == EVENT_SYSTEM_ALERT ? "alert|" : "value|";
    const HRESULT hr = AccessibleObjectFromEvent(hwnd, object, child, &acc, &var);
    if (SUCCEEDED(hr) && acc) {
        line += Describe(acc, var);
        acc->Release();
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "unreadable 0x%08lx", static_cast<unsigned long>(hr));
        line += text;
    }
    VariantClear(&var);
    std::fprintf(g_out, "%s\n", line.c_str());
    std::fflush(g_out);
}

int Listen(const char* file, DWORD seconds) {
    g_out = std::fopen(file, "ab");
    if (!g_out) return 1;
    const DWORD flags = WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS;
    HWINEVENTHOOK alert = SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT, nullptr, OnEvent, 0, 0, flags);
    HWINEVENTHOOK value =
        SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, OnEvent, 0, 0, flags);
    if (!alert || !value) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    const ULONGLONG end = GetTickCount64() + seconds * 1000ULL;
    while (GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    UnhookWinEvent(alert);
    UnhookWinEvent(value);
    std::fclose(g_out);
    return 0;
}

int Read(HWND hwnd) {
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&acc))) ||
        !acc)
        return 1;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    std::printf("%s\n", Describe(acc, self).c_str());
    acc->Release();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int rc = 2;
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "listen" && argc == 4)
        rc = Listen(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
    else if (cmd == "read" && argc == 3)
        rc = Read(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[2], nullptr, 0))));
    else
        std::fprintf(stderr, "usage: a11y_listen listen FILE SECONDS | read HWND\n");
    CoUninitialize();
    return rc;
}
