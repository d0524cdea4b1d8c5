// The main window's event subscriptions (firmware hotkeys through the
// bridge, brightness changes of its own): made at start, watched while the
// program runs (the bridge's end message and a periodic check of their
// connections) and made again, with growing waits, whenever one has ended,
// so that a restart of Windows' WMI service does not leave the program deaf
// to its hotkeys.
#include "brightness.h"
#include "handles.h"
#include "vorlix_dlg.h"

namespace vx {

namespace {

// One subscription attempt; the first one is the bridge's plain subscription,
// later ones replace whatever is left of the earlier one.
bool SubscribeOnce(CBrindle& bridge, bool renew) {
    UniqueBstr query(SysAllocString(L"Select * from ZEL_Event"));
    UniqueBstr nameSpace(SysAllocString(L"root\\wmi"));
    UniqueBstr language(SysAllocString(L"WQL"));
    if (!query || !nameSpace || !language) return false;
    char errorText[BRINDLE_TEXT_SIZE] = {};
    return (renew ? bridge.RenewWMIEvent(query.Get(), errorText, nameSpace.Get(), language.Get())
                  : bridge.ZELWMIEvent(query.Get(), errorText, nameSpace.Get(), language.Get())) != FALSE;
}

}  // namespace

void CVorlixDlg::SubscribeFirmwareEvents() {
    FollowRenewal(m_eventRenewal.Subscribed(SubscribeOnce(m_bridge, false)));
    StartTimer(kTimerEventsCheck, kEventsCheckPeriodMs);
}

void CVorlixDlg::FollowRenewal(EventRenewal::Step step) {
    if (step.retry) StartTimer(kTimerEventsRetry, step.delayMs);
}

void CVorlixDlg::OnEventsCheckTimer() {
    if (m_eventRenewal.Pending()) return;
    FollowRenewal(m_eventRenewal.Checked(m_bridge.WMIEventsAlive() != FALSE && BrightnessEventsAlive()));
}

// Only what has ended is made again: a standing subscription is not
// replaced, so no event is lost in between.
void CVorlixDlg::OnEventsRetryTimer() {
    bool ok = true;
    if (!m_bridge.WMIEventsAlive()) ok = SubscribeOnce(m_bridge, true);
    if (!BrightnessEventsAlive()) ok = RenewBrightness(Hwnd()) == 0 && ok;
    FollowRenewal(m_eventRenewal.Subscribed(ok));
}

}  // namespace vx
