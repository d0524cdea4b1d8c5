// A transparent child window over an area that a dialog paints itself, so
// accessibility clients find an object there with a name and a value; it
// draws nothing and lets every mouse message through to the dialog.
#pragma once

#include "window_accessible.h"

#include <windows.h>

#include <string>

class AccessibleOverlay {
public:
    AccessibleOverlay() = default;
    ~AccessibleOverlay() { Destroy(); }
    AccessibleOverlay(const AccessibleOverlay&) = delete;
    AccessibleOverlay& operator=(const AccessibleOverlay&) = delete;

    // Over `area` (client coordinates of the parent), next after `label` in
    // the order of the parent's children (so it is read after its label),
    // or last. False when the window cannot be made.
    bool Create(HWND parent, const RECT& area, LONG role, int id, HWND label = nullptr) {
        if (m_window) return false;
        static const ATOM atom = Register();
        if (!atom) return false;
        m_window = CreateWindowExW(WS_EX_TRANSPARENT | WS_EX_NOPARENTNOTIFY, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), L"",
                                   WS_CHILD | WS_VISIBLE, area.left, area.top, area.right - area.left,
                                   area.bottom - area.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
        if (!m_window) return false;
        m_accessible = new WindowAccessible(m_window, role);
        SetPropW(m_window, kProperty, m_accessible);
        SetWindowPos(m_window, label ? label : HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return true;
    }
    void Destroy() {
        if (m_window) {
            RemovePropW(m_window, kProperty);
            DestroyWindow(m_window);
            m_window = nullptr;
        }
        if (m_accessible) {
            m_accessible->Detach();
            m_accessible->Release();
            m_accessible = nullptr;
        }
    }
    HWND Hwnd() const { return m_window; }

    void SetName(std::wstring name) {
        if (m_accessible) m_accessible->SetName(std::move(name));
        if (m_window) SetWindowTextW(m_window, m_accessible ? m_accessible->Name().c_str() : L"");
    }
    // The value; `tell` raises the value-change event for it.
    void SetValue(std::wstring value, bool tell) {
        if (!m_accessible) return;
        m_accessible->SetValue(std::move(value));
        if (tell) NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, m_window, OBJID_CLIENT, CHILDID_SELF);
    }

private:
    static constexpr wchar_t kProperty[] = L"AccessibleOverlayObject";

    static ATOM Register() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"AccessibleOverlay";
        return RegisterClassW(&wc);
    }
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_NCHITTEST: return HTTRANSPARENT;
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: ValidateRect(window, nullptr); return 0;
        case WM_GETOBJECT:
            if (auto* accessible = static_cast<WindowAccessible*>(GetPropW(window, kProperty))) {
                bool handled = false;
                const LRESULT result = accessible->Answer(wParam, lParam, handled);
                if (handled) return result;
            }
            break;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_window = nullptr;
    WindowAccessible* m_accessible = nullptr;
};
