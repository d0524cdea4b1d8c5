// Test host of the demo and of end-to-end runs: the tray program's own main
// window, run modally as the program runs it, with one addition: the
// registered message "VorlixHostAction" makes the calls the hotkey dispatch
// will make. wParam 1: ECO on (EnableEcoScheme), 2: ECO off
// (DisableEcoScheme with restore mode 0), 3: the user-defined key.
// Part of the test build only.
#include "eco_dlg.h"
#include "resource.h"
#include "user_define_dlg.h"
#include "vorlix_dlg.h"

namespace {

class ActionHostDlg : public vx::CVorlixDlg {
protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        static const UINT request = RegisterWindowMessageA("VorlixHostAction");
        if (msg != request) return CVorlixDlg::OnMessage(msg, wParam, lParam, result);
        switch (wParam) {
        case 1:
            vx::EnableEcoScheme();
            break;
        case 2:
            vx::DisableEcoScheme(vx::kRestoreSavedScheme);
            break;
        case 3:
            vx::UserDefineKeyAction(*this);
            break;
        default:
            result = 0;
            return true;
        }
        result = 1;
        return true;
    }
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ActionHostDlg host;
    host.DoModal(IDD_VORLIX_DIALOG, nullptr);
    return 0;
}
