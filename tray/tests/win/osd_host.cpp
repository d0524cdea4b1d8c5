// Test host of the end-to-end OSD run: the tray program's own main window
// (start-up, OSD windows, ShowOSD, hide timers, full-screen test), run
// modally as the program runs it, with one addition: the registered message
// "OsdHostRequest" makes a ShowOSD request, as the program's event handlers
// will. wParam: kind in bits 0-7, show command in bits 8-15, maximum in the
// high word; lParam: level in the low word, code in the high word (signed).
// Part of the test build only.
#include "resource.h"
#include "vorlix_dlg.h"

namespace {

class OsdHostDlg : public vx::CVorlixDlg {
protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        static const UINT request = RegisterWindowMessageA("OsdHostRequest");
        if (msg == request) {
            ShowOSD(HIBYTE(LOWORD(wParam)), LOBYTE(LOWORD(wParam)), static_cast<SHORT>(LOWORD(lParam)),
                    static_cast<SHORT>(HIWORD(lParam)), HIWORD(wParam));
            result = 1;
            return true;
        }
        return CVorlixDlg::OnMessage(msg, wParam, lParam, result);
    }
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    OsdHostDlg host;
    host.DoModal(IDD_VORLIX_DIALOG, nullptr);
    return 0;
}
