// The main window's firmware hotkeys: WM_FIRMWARE_EVENT walks its row of the
// event table (log lines, the device's new state, the action, the OSD).
#include "brightness.h"
#include "device_commands_win.h"
#include "hotkey_events.h"
#include "log_format.h"
#include "volume.h"
#include "vorlix_dlg.h"

namespace vx {

LRESULT CVorlixDlg::OnFirmwareEvent(WPARAM wParam, LPARAM lParam) {
    WriteLogLine(kLogEventHeader, HotkeyHeaderText(wParam));
    const HotkeyEvent& row = HotkeyEventFor(HotkeyEventCode(wParam));
    if (row.nameLine) WriteLogLine(kLogEventName, row.nameLine);

    switch (row.action) {
    case HotkeyAction::UserDefineKey:
        // Runs the choice dialog's own loop while it is open: further events
        // are handled meanwhile, and the dialog's guard keeps a second one shut.
        UserDefineKeyAction(*this);
        break;
    case HotkeyAction::TheaterMode:
        ToggleTheaterMode();
        break;
    default: {
        // The wireless picture is about to go up: a Bluetooth picture that
        // follows within its two seconds goes beside it.
        if (row.action == HotkeyAction::MarkWirelessOsd) m_wirelessOsdShown = true;
        bool bitSet = false;
        switch (StateSourceOf(row, m_firmwareReportsStates)) {
        case StateSource::EventFlags: bitSet = StateFromFlags(row, static_cast<std::uintptr_t>(lParam)); break;
        case StateSource::DeviceRead: bitSet = IsBitOn(row.read); break;
        case StateSource::None: break;
        }
        if (const char* line = StateLine(row, bitSet)) WriteLogLine(kLogDetail2, line);
        if (row.action == HotkeyAction::EcoScheme) {
            if (bitSet)
                EnableEcoScheme();
            else
                DisableEcoScheme(kRestoreSavedScheme);
        }
        OsdShow osd = DeviceOsd(row, bitSet, m_wirelessOsdShown);
        if (osd.kind) ShowOSD(SW_SHOW, osd.kind, -1, osd.code, 0);
        // A show refused (a full-screen program in front) starts no hide
        // timer, so nothing would clear the flag: Bluetooth pictures would
        // go beside a wireless picture that never came.
        if (row.action == HotkeyAction::MarkWirelessOsd && !TimerHandle(kTimerOsdDevice)) m_wirelessOsdShown = false;
        break;
    }
    }
    PumpPendingMessages();
    return 1;
}

void CVorlixDlg::ToggleTheaterMode() {
    if (!m_theaterOn) {
        m_savedVolume = m_volume ? m_volume->GetVolume() : 0;
        m_savedBrightness = ReadBrightness(m_bridge, -1);
        TheaterLevels louder = TheaterOnLevels(m_savedVolume, m_savedBrightness);
        if (m_volume) m_volume->SetVolume(louder.volume);
        if (m_savedBrightness >= 0) SetBrightness(louder.brightness);
        SetTheaterFlag(1);
    } else {
        if (m_volume) m_volume->SetVolume(m_savedVolume);
        if (m_savedBrightness >= 0) SetBrightness(m_savedBrightness);
        SetTheaterFlag(0);
    }
    m_theaterOn = !m_theaterOn;
    OsdShow osd = TheaterOsd(m_theaterOn);
    ShowOSD(SW_SHOW, osd.kind, -1, osd.code, 0);
}

}  // namespace vx
