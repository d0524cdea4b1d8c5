#include "vorlix_dlg.h"

#include "about_dlg.h"
#include "announcements.h"
#include "brightness.h"
#include "device_commands.h"
#include "device_commands_win.h"
#include "resource.h"
#include "tray_callback.h"
#include "tray_rules.h"
#include "volume.h"

#include <commctrl.h>

#include <cstring>

namespace vx {

#if defined(__i386__)
// The notebook's 32-bit build hands the shell the full Vista-size record.
static_assert(sizeof(NOTIFYICONDATAA) == 508);
#endif

namespace {

// The power-source setting: data 0 mains, 1 battery.
const GUID kAcDcPowerSource = {0x5D3E9A59, 0xE9D5, 0x4B00, {0xA6, 0xBD, 0xFF, 0x34, 0xFF, 0x51, 0x65, 0x48}};

constexpr UINT_PTR kTimerIds[] = {kTimerHideMainWindow,    kTimerOsdCentre,   kTimerOsdDevice,
                                  kTimerOsdSecondDevice,   kTimerVolumeSuppression, kTimerOsdLevelBar,
                                  kTimerEventsCheck,       kTimerEventsRetry};

}  // namespace

CVorlixDlg* CVorlixDlg::s_mainWindow = nullptr;

CVorlixDlg::CVorlixDlg() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    m_hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_hSmallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                 LR_DEFAULTCOLOR | LR_SHARED));
    if (!m_hSmallIcon) m_hSmallIcon = m_hIcon;
}

CVorlixDlg::~CVorlixDlg() {
    if (s_mainWindow == this) s_mainWindow = nullptr;
}

void CVorlixDlg::WriteLogLine(int kind, const std::string& text) {
    if (m_loggingOn) m_log.Write(kind, text);
}

void CVorlixDlg::PumpPendingMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the loop that owns it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!Hwnd() || !IsDialogMessageA(Hwnd(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

bool CVorlixDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        return true;
    case WM_COMMAND:
        OnCommand(wParam);
        PumpPendingMessages();
        return true;
    case WM_TIMER:
        OnTimer(wParam);
        return false;
    case WM_CLOSE:
        // A polite request to end (log-off helpers, installers, taskkill
        // without /f) ends the program through the normal clean-up. Without
        // this the dialog would turn it into IDCANCEL, which is ignored.
        Exit();
        return true;
    case WM_DESTROY:
        Cleanup();
        return false;
    case WM_ENDSESSION:
        if (wParam) Cleanup();
        return true;
    case WM_POWERBROADCAST:
        OnPowerBroadcast(wParam, lParam);
        result = TRUE;
        return true;
    case WM_TRAYICON:
        OnTrayIcon(wParam, lParam);
        result = 1;
        return true;
    case WM_BRIGHTNESS_NOTIFY:
        result = OnBrightnessNotify(wParam);
        return true;
    case WM_VOLUME_NOTIFY:
        result = OnVolumeNotify(wParam, lParam);
        return true;
    case WM_FIRMWARE_EVENT:
        result = OnFirmwareEvent(wParam, lParam);
        return true;
    case WM_FIRMWARE_EVENTS_ENDED:
        FollowRenewal(m_eventRenewal.Ended());
        return true;
    case WM_PAINT:
        return OnPaintMinimised();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    default:
        break;
    }
    if (m_taskbarCreatedMessage && msg == m_taskbarCreatedMessage) {
        // The shell (re)started and lost every icon: add ours again.
        AddTrayIcon();
        return true;
    }
    if (m_kbHookMessage && msg == m_kbHookMessage) {
        result = OnKbHookMessage(lParam);
        return true;
    }
    return false;
}

BOOL CVorlixDlg::OnInitDialog() {
    HWND hwnd = Hwnd();

    // Firmware hotkey events arrive from now on as WM_FIRMWARE_EVENT.
    m_bridge.AddHWND(hwnd);
    SubscribeFirmwareEvents();

    InitCommonControls();
    m_language = SelectLanguageSection();

    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    SetWindowTextA(hwnd, kMainWindowTitle);
    s_mainWindow = this;

    // Off screen until timer 900 hides the window.
    RECT rect;
    GetWindowRect(hwnd, &rect);
    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    MoveWindow(hwnd, -w, -h, w, h, TRUE);

    m_taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    ChangeWindowMessageFilter(m_taskbarCreatedMessage, MSGFLT_ADD);
    AddTrayIcon();

    // The keyboard hook library reports keys with this message, possibly
    // from a process of lower integrity.
    m_kbHookMessage = RegisterWindowMessageA("KB_HOOK_MESSAGE");
    ChangeWindowMessageFilter(m_kbHookMessage, MSGFLT_ADD);
    LoadKbHook();
    for (auto& osd : m_osd) {
        osd = std::make_unique<CVXSysOSD>();
        osd->Create();
    }
    // Then the user-defined key object, the volume watcher, the brightness
    // subscription and the ECO object are created, in that order.
    m_userDefine = std::make_unique<CVXUserDefineKey>();
    m_volume = std::make_unique<CVXVolume>(hwnd, &m_lastVolume);
    SubscribeBrightness(hwnd);
    m_eco = std::make_unique<CVXSysECODlg>();

    StartTimer(kTimerHideMainWindow, 500);
    NotifySoftwareStart();
    // A leftover ECO scheme is removed (Power saver made active).
    RemoveEcoScheme(kRestorePowerSaver);

    m_powerNotify.Reset(RegisterPowerSettingNotification(hwnd, &kAcDcPowerSource, DEVICE_NOTIFY_WINDOW_HANDLE));

    m_loggingOn = IsLoggingFlagOn(ReadRegistryText(HKEY_CURRENT_USER, kLogFileKey, kLogFileFlagValue).value_or(""));

    UserDefinePreset preset = ReadUserDefinePreset(ProgramDirectoryShort());
    m_userDefinePreset = preset.present;
    if (preset.present)
        WriteUserDefineValue(kUserDefinePathValue, preset.programPath);

    // Without a reply the flag stays clear and device states are read through commands.
    m_firmwareReportsStates = vx::FirmwareReportsStates(ReadAslVersion());
    return TRUE;
}

void CVorlixDlg::AddTrayIcon() {
    m_trayIcon = {};
    m_trayIcon.cbSize = sizeof m_trayIcon;
    m_trayIcon.hWnd = Hwnd();
    m_trayIcon.uID = kTrayIconId;
    m_trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_trayIcon.uCallbackMessage = WM_TRAYICON;
    m_trayIcon.hIcon = m_hSmallIcon;
    lstrcpynA(m_trayIcon.szTip, kMainWindowTitle, sizeof m_trayIcon.szTip);
    Shell_NotifyIconA(NIM_ADD, &m_trayIcon);
    // The newer version makes the shell report Enter, the menu key and
    // Shift+F10 on the icon, so the menu opens from the keyboard too.
    m_trayIcon.uVersion = NOTIFYICON_VERSION_4;
    m_trayVersion4 = Shell_NotifyIconA(NIM_SETVERSION, &m_trayIcon) != FALSE;
}

void CVorlixDlg::RemoveTrayIcon() {
    m_trayIcon.uFlags = 0;
    Shell_NotifyIconA(NIM_DELETE, &m_trayIcon);
}

void CVorlixDlg::OnTrayIcon(WPARAM wParam, LPARAM lParam) {
    // Left clicks and double-clicks do nothing; the menu opens once per right
    // click and for the keyboard's requests. One menu at a time.
    const TrayCallback callback = DecodeTrayCallback(m_trayVersion4, wParam, lParam);
    if (!OpensTrayMenu(m_trayVersion4, callback.event) || m_trayMenuOpen) return;
    const POINT anchor = {callback.x, callback.y};
    ShowTrayMenu(callback.hasAnchor ? &anchor : nullptr);
}

void CVorlixDlg::ShowTrayMenu(const POINT* anchor) {
    HWND hwnd = Hwnd();
    POINT cursor = {};
    GetCursorPos(&cursor);
    if (anchor) cursor = *anchor;
    SetForegroundWindow(hwnd);

    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    std::string storedPath;
    if (!m_userDefinePreset)
        storedPath = ReadRegistryText(HKEY_CURRENT_USER, kUserDefineKey, kUserDefinePathValue).value_or("");
    for (int item : TrayMenuItems(m_userDefinePreset, storedPath))
        AppendMenuA(menu.Get(), MF_STRING, item, ReadLanguageText(m_language, MenuItemTextKey(item)).c_str());

    m_trayMenuOpen = true;
    TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, hwnd, nullptr);
    m_trayMenuOpen = false;
    // Lets the menu close properly when the user clicks elsewhere.
    PostMessageA(hwnd, WM_NULL, 0, 0);
}

void CVorlixDlg::OnCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case kMenuExit:
        Exit();
        break;
    case kMenuAbout:
        OpenAboutBox();
        break;
    case kMenuUserDefine:
        OpenUserDefineDialog(*this);
        break;
    default:
        // Enter and Escape reaching the hidden window must not end the program.
        break;
    }
}

void CVorlixDlg::Exit() {
    // A dialog still open would hold the program in its own loop, and the
    // clean-up would wait until the user closed it: each is ended (as by
    // Cancel) along with the main window.
    if (m_openAbout && m_openAbout->Hwnd()) ::EndDialog(m_openAbout->Hwnd(), IDCANCEL);
    if (m_runningUserDefine && m_runningUserDefine->Hwnd()) ::EndDialog(m_runningUserDefine->Hwnd(), IDCANCEL);
    EndDialog(IDCANCEL);
}

void CVorlixDlg::OpenAboutBox() {
    if (m_aboutOpen) return;
    m_aboutOpen = true;
    {
        CVXSysAboutDlg about(*this);
        m_openAbout = &about;
        about.DoModal(IDD_ABOUTBOX, nullptr);
        m_openAbout = nullptr;
    }
    // However the box was closed, the menu can open it again.
    m_aboutOpen = false;
}

UINT_PTR& CVorlixDlg::TimerHandle(UINT_PTR id) {
    for (std::size_t i = 0; i < std::size(kTimerIds); ++i)
        if (kTimerIds[i] == id) return m_timers[i];
    static UINT_PTR unused = 0;
    return unused;
}

void CVorlixDlg::StartTimer(UINT_PTR id, UINT period) { TimerHandle(id) = SetTimer(Hwnd(), id, period, nullptr); }

void CVorlixDlg::StopTimer(UINT_PTR id) {
    KillTimer(Hwnd(), id);
    TimerHandle(id) = 0;
}

void CVorlixDlg::OnTimer(UINT_PTR id) {
    switch (id) {
    case kTimerHideMainWindow:
        StopTimer(id);
        ShowWindow(Hwnd(), SW_HIDE);
        break;
    case kTimerOsdDevice:
    case kTimerOsdCentre:
    case kTimerOsdSecondDevice:
    case kTimerOsdLevelBar:
        StopTimer(id);
        ShowOSD(SW_HIDE, OsdKindOfTimer(static_cast<unsigned>(id)), -1, 0, 0);
        if (id == kTimerOsdDevice) m_wirelessOsdShown = false;
        break;
    case kTimerVolumeSuppression:
        StopTimer(id);
        m_volumeSuppressed = 0;
        break;
    case kTimerEventsCheck:
        OnEventsCheckTimer();
        break;
    case kTimerEventsRetry:
        StopTimer(id);
        OnEventsRetryTimer();
        break;
    default:
        break;
    }
}

CVXSysOSD* CVorlixDlg::OsdWindow(int kind) {
    for (std::size_t i = 0; i < std::size(kOsdKinds); ++i)
        if (kOsdKinds[i] == kind) return m_osd[i] && m_osd[i]->Hwnd() ? m_osd[i].get() : nullptr;
    return nullptr;
}

void CVorlixDlg::ShowOSD(int command, int kind, int level, int code, int maximum, int percent) {
    CVXSysOSD* osd = OsdWindow(kind);
    if (!osd) return;
    if (command != SW_SHOW) {
        ShowWindow(osd->Hwnd(), SW_HIDE);
        return;
    }
    if (IsFullScreenForeground(Hwnd())) return;
    const SpokenResult spoken = SpokenResultFor(kind, code, level, maximum, percent);
    std::string text = spoken.key ? ReadLanguageText(m_language, spoken.key) : std::string();
    if (spoken.percent >= 0) text = FillPercent(text, spoken.percent);
    osd->UpdateOSD({kind, level, code, maximum}, text, SectionCodePage(m_language.section));
    ShowWindow(osd->Hwnd(), SW_SHOWNOACTIVATE);
    // A timer already running starts again: the OSD stays up 2 s after the last request.
    StartTimer(OsdHideTimer(kind), kOsdHidePeriodMs);
}

void CVorlixDlg::OnPowerBroadcast(WPARAM event, LPARAM data) {
    switch (event) {
    case PBT_POWERSETTINGCHANGE: {
        const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(data);
        if (!setting || !IsEqualGUID(setting->PowerSetting, kAcDcPowerSource)) break;
        DWORD value = 0;
        if (setting->DataLength == sizeof value) std::memcpy(&value, setting->Data, sizeof value);
        if (auto onMains = OnMainsFromPowerSource(setting->DataLength, value)) m_onMainsPower = *onMains;
        break;
    }
    case PBT_APMRESUMEAUTOMATIC:
        NotifySoftwareStart();
        // The shell may have lost the icon while the system slept.
        RemoveTrayIcon();
        AddTrayIcon();
        m_volumeSuppressed = 1;
        m_skipNextBrightnessOsd = 1;
        // On battery an ECO scheme left active is removed.
        if (!m_onMainsPower) RemoveEcoScheme(kRestoreSavedScheme);
        break;
    case PBT_APMSUSPEND:
        m_volumeSuppressed = 1;
        m_skipNextBrightnessOsd = 1;
        break;
    default:
        break;
    }
}

bool CVorlixDlg::OnPaintMinimised() {
    HWND hwnd = Hwnd();
    if (!IsIconic(hwnd)) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(hwnd, &ps);
    return true;
}

void CVorlixDlg::Cleanup() {
    // WM_ENDSESSION and WM_DESTROY may both arrive at shut-down: run once.
    if (m_cleanedUp) return;
    m_cleanedUp = true;

    NotifySoftwareExit();
    for (auto& osd : m_osd) osd.reset();
    // The user-defined key object, the volume watcher and the ECO object are
    // destroyed here, then a leftover ECO scheme is removed.
    m_userDefine.reset();
    m_volume.reset();
    m_eco.reset();
    RemoveEcoScheme(kRestoreSavedScheme);
    ForgetBrightness();
    for (UINT_PTR id : kTimerIds)
        if (TimerHandle(id)) StopTimer(id);
    m_powerNotify.Reset();
    UnloadKbHook();
    RemoveTrayIcon();
}

}  // namespace vx
