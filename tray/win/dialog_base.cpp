#include "dialog_base.h"

namespace vx {

INT_PTR CDialogBase::DoModal(int templateId, HWND parent) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND CDialogBase::Create(int templateId, HWND parent) {
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), parent, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR code) { ::EndDialog(m_hwnd, code); }

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CDialogBase* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        self->m_hwnd = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;

    LRESULT result = 0;
    bool handled = self->OnMessage(msg, wParam, lParam, result);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
    }
    if (!handled) return FALSE;
    switch (msg) {
    // These messages take their result from the dialog procedure's return value.
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

}  // namespace vx
