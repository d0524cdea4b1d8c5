// The floor for the viewer benchmark: a program that shows one modal dialog
// with an OK button and nothing else of its own, ended by that button.
#include <windows.h>

namespace {

INT_PTR CALLBACK DialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dlg, IDOK);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(100), nullptr, DialogProc, 0);
    return 0;
}
