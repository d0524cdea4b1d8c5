// A thin dialog class: a dialog template from the program's resources and a
// virtual message handler, run modally or created modeless.
#pragma once

#include <windows.h>

namespace vx {

class CDialogBase {
public:
    CDialogBase() = default;
    virtual ~CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Runs the dialog modally; returns the value given to EndDialog, or -1
    // when the dialog could not be created.
    INT_PTR DoModal(int templateId, HWND parent);
    // Creates the dialog modeless; returns its window or nullptr.
    HWND Create(int templateId, HWND parent);

    HWND Hwnd() const { return m_hwnd; }

protected:
    // Handles one message. Returns true when handled, with the message's
    // result in `result`; false passes it on to the default dialog handling.
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    void EndDialog(INT_PTR code);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
};

}  // namespace vx
