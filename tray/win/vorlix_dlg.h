// The tray program's main control window: a hidden dialog that carries the
// notification-area icon and its menu, receives every event the program
// reacts to, runs the timers and performs the start and stop sequences.
#pragma once

#include "Brindle.h"
#include "activity_log.h"
#include "dialog_base.h"
#include "eco_dlg.h"
#include "event_renewal.h"
#include "handles.h"
#include "kb_hook_thread.h"
#include "osd_window.h"
#include "settings.h"
#include "user_define_dlg.h"

#include <shellapi.h>

#include <memory>
#include <string>

namespace vx {

// Window messages of the main window.
inline constexpr UINT WM_TRAYICON = WM_USER + 1;
inline constexpr UINT WM_VOLUME_NOTIFY = WM_USER + 107;
inline constexpr UINT WM_BRIGHTNESS_NOTIFY = WM_USER + 109;

// Timers, all on the main window.
inline constexpr UINT_PTR kTimerHideMainWindow = 900;  // 500 ms after start
inline constexpr UINT_PTR kTimerOsdCentre = 905;       // OSD kinds 3, 1, 4, 5: 2000 ms
inline constexpr UINT_PTR kTimerOsdDevice = 906;
inline constexpr UINT_PTR kTimerOsdSecondDevice = 907;
inline constexpr UINT_PTR kTimerOsdLevelBar = 909;
inline constexpr UINT_PTR kTimerVolumeSuppression = 908;  // 3000 ms after a resume
inline constexpr UINT_PTR kTimerEventsCheck = 910;        // kEventsCheckPeriodMs, while the program runs
inline constexpr UINT_PTR kTimerEventsRetry = 911;        // once, before the next subscription attempt

inline constexpr char kMainWindowTitle[] = "Corvane";
inline constexpr UINT kTrayIconId = 1;

class CVXSysAboutDlg;
class CVXVolume;

class CVorlixDlg : public CDialogBase {
public:
    // Creates the bridge object (COM for this thread) and opens the log file.
    CVorlixDlg();
    ~CVorlixDlg() override;

    // The running main window, for the program's other windows and callbacks.
    static CVorlixDlg* MainWindow() { return s_mainWindow; }

    bool LoggingOn() const { return m_loggingOn; }
    void SetLoggingOn(bool on) { m_loggingOn = on; }
    bool FirmwareReportsStates() const { return m_firmwareReportsStates; }
    bool UserDefinePresetActive() const { return m_userDefinePreset; }
    bool UserDefineDialogOpen() const { return m_userDefineDialogOpen; }
    void SetUserDefineDialogOpen(bool open) { m_userDefineDialogOpen = open; }
    // The user-defined key dialog while it runs (nullptr otherwise), so that
    // Exit can close it.
    void SetRunningUserDefineDialog(CVXUserDefineKey* dialog) { m_runningUserDefine = dialog; }

    // Appends a line to the activity log while logging is on.
    void WriteLogLine(int kind, const std::string& text);

    // Handles every message already waiting in this thread's queue.
    void PumpPendingMessages();

    // The one OSD request: SW_SHOW shows the kind's picture and (re)starts its
    // two-second hide timer, any other command hides it. Ignored for an
    // unknown kind, and a show while a full-screen program is in front.
    // A picture shown is also announced in the language table's text;
    // `percent` is the brightness bar's spoken level.
    void ShowOSD(int command, int kind, int level, int code, int maximum, int percent = -1);

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    BOOL OnInitDialog();
    void OnCommand(WPARAM wParam);
    void OnTimer(UINT_PTR id);
    void OnPowerBroadcast(WPARAM event, LPARAM data);
    void OnTrayIcon(WPARAM wParam, LPARAM lParam);
    // Level bars (vorlix_levels.cpp): brightness, volume and the volume keys.
    LRESULT OnBrightnessNotify(WPARAM percent);
    LRESULT OnVolumeNotify(WPARAM muted, LPARAM level);
    LRESULT OnKbHookMessage(LPARAM keystroke);
    // Firmware hotkeys (vorlix_hotkeys.cpp).
    LRESULT OnFirmwareEvent(WPARAM wParam, LPARAM lParam);
    // The firmware event subscription and its renewal (vorlix_events.cpp).
    void SubscribeFirmwareEvents();
    void FollowRenewal(EventRenewal::Step step);
    void OnEventsCheckTimer();
    void OnEventsRetryTimer();
    void ToggleTheaterMode();
    void ShowVolumeBar();
    void LoadKbHook();
    void UnloadKbHook();
    bool OnPaintMinimised();
    void Cleanup();

    void AddTrayIcon();
    void RemoveTrayIcon();
    // At the anchor the shell gave, or at the cursor.
    void ShowTrayMenu(const POINT* anchor = nullptr);
    // Ends the program (closing an open about box and user-defined key dialog
    // first); WM_DESTROY cleans up.
    void Exit();
    void OpenAboutBox();

    void StartTimer(UINT_PTR id, UINT period);
    void StopTimer(UINT_PTR id);
    UINT_PTR& TimerHandle(UINT_PTR id);
    CVXSysOSD* OsdWindow(int kind);

    static CVorlixDlg* s_mainWindow;

    LanguageSelection m_language;
    // The OSD windows of kinds 1, 3, 4 and 5, in that order.
    std::unique_ptr<CVXSysOSD> m_osd[std::size(kOsdKinds)];
    std::unique_ptr<CVXUserDefineKey> m_userDefine;  // never shown
    std::unique_ptr<CVXSysECODlg> m_eco;

    bool m_onMainsPower = false;
    bool m_wirelessOsdShown = false;
    bool m_userDefinePreset = false;
    bool m_userDefineDialogOpen = false;
    bool m_aboutOpen = false;
    CVXSysAboutDlg* m_openAbout = nullptr;  // while the about box runs
    CVXUserDefineKey* m_runningUserDefine = nullptr;  // while the user-defined key dialog runs
    bool m_loggingOn = false;
    bool m_firmwareReportsStates = false;
    // Theater mode is the program's own state: off at every start. The saved
    // brightness is -1 when it could not be read, and is then left alone.
    bool m_theaterOn = false;
    int m_savedVolume = 0;
    int m_savedBrightness = -1;

    NOTIFYICONDATAA m_trayIcon = {};
    // The shell took the newer icon version: keyboard events, and the
    // callback's newer layout.
    bool m_trayVersion4 = false;
    bool m_trayMenuOpen = false;
    LONG m_volumeSuppressed = 0;
    LONG m_skipNextBrightnessOsd = 0;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;

    // The bridge object comes before the log: COM is initialised first and
    // uninitialised last.
    CBrindle m_bridge;
    CVXActivityLog m_log;

    // Timer handles, 0 while a timer is not running: 900, 905, 906, 907, 908, 909, 910, 911.
    UINT_PTR m_timers[8] = {};
    EventRenewal m_eventRenewal;

    // Written by the volume message handler, read by the volume-key handler.
    // Also written by the volume watcher's binding, on an audio thread.
    volatile LONG m_lastVolume = 0;
    bool m_lastMuted = false;
    std::unique_ptr<CVXVolume> m_volume;

    UINT m_kbHookMessage = 0;
    // The keyboard hook library, hooked on a thread of its own.
    std::unique_ptr<CVXKbHookThread> m_kbHook;
    UINT m_taskbarCreatedMessage = 0;
    UniquePowerNotify m_powerNotify;
    bool m_cleanedUp = false;
};

}  // namespace vx
