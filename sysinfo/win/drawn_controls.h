// The viewer's self-drawn controls. Each attaches to (subclasses) a control
// of a dialog template and paints it through an off-screen bitmap, copied
// to the window in one operation so refreshes do not flicker.
//  - CDolStatic: a label in its own font (Tahoma, owned) and colour.
//  - CTextProgressCtrl: a two-colour bar with a centred text whose colour
//    changes exactly where the bar ends.
//  - CMemDC: the off-screen context the bar paints through.
// The objects must outlive their window's subclassing: destroying one
// detaches it from a window that still exists.
#pragma once

#include "gauge_rules.h"

#include <windows.h>

#include <string>

class WindowAccessible;

namespace quillon {

class CDolStatic {
public:
    CDolStatic();
    ~CDolStatic();
    CDolStatic(const CDolStatic&) = delete;
    CDolStatic& operator=(const CDolStatic&) = delete;

    // Subclasses an existing static control; false when the window does not
    // exist or is already attached.
    bool Attach(HWND control);
    void Detach();
    // Stores the text and invalidates the whole control without erasing.
    void SetText(const char* text);
    void SetTextColor(COLORREF colour);  // (255,255,255) until set
    HWND hwnd() const { return m_hwnd; }
    const std::string& Text() const { return m_text; }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    void OnPaint();

    HWND m_hwnd = nullptr;
    std::string m_text;
    COLORREF m_textColour = RGB(255, 255, 255);
    HFONT m_font = nullptr;
};

class CTextProgressCtrl {
public:
    CTextProgressCtrl();
    ~CTextProgressCtrl();
    CTextProgressCtrl(const CTextProgressCtrl&) = delete;
    CTextProgressCtrl& operator=(const CTextProgressCtrl&) = delete;

    // Subclasses an existing progress bar (or any child window); false when
    // the window does not exist or is already attached.
    bool Attach(HWND control);
    void Detach();

    // Stores the position and redraws at once when the bar's width in
    // pixels changed. A position above the maximum becomes the minimum.
    // Returns the previous position, or -1 when not attached.
    int SetPos(int position);
    int GetPos() const { return m_pos; }
    // These only store the value.
    void SetRange(int lo, int hi);
    void SetBarColor(COLORREF colour);
    void SetBgColor(COLORREF colour);
    void SetTextColorOverBackground(COLORREF colour);
    void SetTextColorOverBar(COLORREF colour);
    void SetFont(HFONT notOwned);
    void SetShowText(bool show);
    HWND hwnd() const { return m_hwnd; }
    // The text set by WM_SETTEXT; the bar shows the bare position while it
    // is empty.
    const std::string& Text() const { return m_text; }
    // Accessibility clients read the bar as a progress bar of this name
    // (its label's text) whose value is its text; a new text raises the
    // value-change event only when it differs from the last one.
    void SetAccessibleName(const std::wstring& name);

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();

    HWND m_hwnd = nullptr;
    int m_pos = 0;
    int m_min = 0, m_max = 100;
    std::string m_text;
    bool m_showText = true;
    int m_lastBarWidth = -1;
    COLORREF m_barColour, m_bgColour, m_textOverBg, m_textOverBar;
    HFONT m_font = nullptr;
    WindowAccessible* m_accessible = nullptr;
    ToldValue m_toldValue;
};

// An off-screen copy of the target's clip box that drawing goes to as to
// the target itself (same coordinates); destruction copies it back. On a
// printer context it draws into the target directly.
class CMemDC {
public:
    explicit CMemDC(HDC target);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;
    operator HDC() const { return m_dc; }
    bool OffScreen() const { return m_offScreen; }

private:
    HDC m_target;
    HDC m_dc;
    bool m_offScreen = false;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_oldBitmap = nullptr;
    RECT m_clip{};
};

}  // namespace quillon
