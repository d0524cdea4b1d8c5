#include "about_dlg.h"

#include "device_commands_win.h"
#include "resource.h"
#include "settings.h"
#include "tray_rules.h"
#include "vorlix_dlg.h"

namespace vx {

namespace {

constexpr int kLoggingHotKeyId = 0;
constexpr char kCompanyLine[] = "Zelmont Corporation";

}  // namespace

bool CVXSysAboutDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
    case WM_HOTKEY:
        OnLoggingHotKey();
        result = 1;
        return true;
    case WM_COMMAND:
        // OK, Escape and the close box all close the box.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(LOWORD(wParam));
            return true;
        }
        return false;
    case WM_DESTROY:
        UnregisterHotKey(Hwnd(), kLoggingHotKeyId);
        return false;
    default:
        return false;
    }
}

void CVXSysAboutDlg::OnInitDialog() {
    HWND hwnd = Hwnd();
    SetDlgItemTextA(hwnd, IDC_ABOUT_VERSION,
                    ProductVersionLabel(ReadRegistryText(HKEY_LOCAL_MACHINE, kProductKey, kProductVersionValue))
                        .c_str());
    SetDlgItemTextA(hwnd, IDC_ABOUT_ASL_VERSION, AslVersionLabel(ReadAslVersion()).c_str());

    LanguageSelection language = SelectLanguageSection();
    SetWindowTextA(hwnd, ReadLanguageText(language, "IDS_MENUITEM_ABOUT").c_str());
    SetDlgItemTextA(hwnd, IDOK, ReadLanguageText(language, "IDS_BUTTON_OK").c_str());

    auto bios = ReadBiosVersion();
    if (bios && IsMakersBios(*bios)) SetDlgItemTextA(hwnd, IDC_ABOUT_COMPANY_LINE, kCompanyLine);

    // Held by another program the combination is simply not available here.
    RegisterHotKey(hwnd, kLoggingHotKeyId, MOD_ALT | MOD_CONTROL, 'S');
    SetDlgItemTextA(hwnd, IDC_ABOUT_LOGGING, LoggingLabel(m_main.LoggingOn()));
}

void CVXSysAboutDlg::OnLoggingHotKey() {
    LoggingToggle next = ToggleLogging(m_main.LoggingOn());
    m_main.SetLoggingOn(next.on);
    SetDlgItemTextA(Hwnd(), IDC_ABOUT_LOGGING, next.label);
    WriteRegistryText(HKEY_CURRENT_USER, kLogFileKey, kLogFileFlagValue, next.registryText);
}

}  // namespace vx
