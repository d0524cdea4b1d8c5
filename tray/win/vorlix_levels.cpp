// The main window's level bars: brightness and volume notifications, and the
// volume keys reported by the keyboard hook library.
#include "level_rules.h"
#include "osd_layout.h"
#include "vorlix_dlg.h"

namespace vx {

namespace {

constexpr char kKbHookLibrary[] = "VXKBHook.dll";

}  // namespace

LRESULT CVorlixDlg::OnBrightnessNotify(WPARAM percent) {
    const BrightnessDecision d = DecideBrightnessNotify(IsFullScreenForeground(Hwnd()), m_skipNextBrightnessOsd != 0);
    if (d.clearSkip) m_skipNextBrightnessOsd = 0;
    if (d.show)
        ShowOSD(SW_SHOW, kOsdLevelBar, BrightnessStep(static_cast<int>(percent)), kLevelBrightness,
                kBrightnessMaximum, static_cast<int>(percent));
    return 1;
}

void CVorlixDlg::ShowVolumeBar() {
    ShowOSD(SW_SHOW, kOsdLevelBar, static_cast<int>(m_lastVolume), VolumeOsdCode(m_lastMuted), kVolumeMaximum);
}

LRESULT CVorlixDlg::OnVolumeNotify(WPARAM muted, LPARAM level) {
    InterlockedExchange(&m_lastVolume, static_cast<LONG>(level));
    m_lastMuted = muted != 0;
    const VolumeDecision d = DecideVolumeNotify(m_volumeSuppressed != 0, TimerHandle(kTimerVolumeSuppression) != 0);
    if (d.startTimer) StartTimer(kTimerVolumeSuppression, 3000);
    if (!d.show) return 0;
    ShowVolumeBar();
    return 1;
}

LRESULT CVorlixDlg::OnKbHookMessage(LPARAM keystroke) {
    const int shows = VolumeKeyShowCount(static_cast<std::uint32_t>(keystroke), m_volumeSuppressed != 0,
                                         static_cast<int>(m_lastVolume));
    for (int i = 0; i < shows; ++i) ShowVolumeBar();
    PumpPendingMessages();
    return 1;
}

// The hook runs on a thread of its own, so that a key press never waits
// for this (often busy) thread; the keys still arrive here, posted.
void CVorlixDlg::LoadKbHook() { m_kbHook = std::make_unique<CVXKbHookThread>(kKbHookLibrary, kMainWindowTitle); }

// UnHook runs on the hook's thread, which ends here (a bounded wait).
void CVorlixDlg::UnloadKbHook() { m_kbHook.reset(); }

}  // namespace vx
