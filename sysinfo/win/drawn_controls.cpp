#include "drawn_controls.h"

#include "code_page_text.h"
#include "window_accessible.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace quillon {

namespace {

// The object behind a subclassed window, found through a window property.
constexpr char kOwnerProperty[] = "QuillonDrawnControl";
constexpr char kOldProcProperty[] = "QuillonDrawnControlProc";

// Subclasses `window` with an ANSI window procedure, so text messages
// arrive as narrow strings whatever the control's class is, and keeps it in
// `attached`. False when something is attached already, the window does
// not exist or is another object's.
bool Subclass(HWND& attached, HWND window, WNDPROC proc, void* owner) {
    if (attached || !IsWindow(window) || GetPropA(window, kOwnerProperty)) return false;
    SetPropA(window, kOwnerProperty, owner);
    const LONG_PTR old = SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    if (!old) {
        RemovePropA(window, kOwnerProperty);
        return false;
    }
    SetPropA(window, kOldProcProperty, reinterpret_cast<HANDLE>(old));
    attached = window;
    return true;
}

WNDPROC OldProc(HWND window) {
    return reinterpret_cast<WNDPROC>(GetPropA(window, kOldProcProperty));
}

// Gives the window its own procedure back and forgets it.
void Unsubclass(HWND& attached) {
    const HWND window = std::exchange(attached, nullptr);
    if (!window || !IsWindow(window)) return;
    if (WNDPROC old = OldProc(window)) SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropA(window, kOldProcProperty);
    RemovePropA(window, kOwnerProperty);
}

LRESULT CallOld(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC old = OldProc(window);
    return old ? CallWindowProcA(old, window, message, wParam, lParam) : DefWindowProcA(window, message, wParam, lParam);
}

template <class T>
T* Owner(HWND window) {
    return static_cast<T*>(GetPropA(window, kOwnerProperty));
}

// A solid fill that owns its brush for the one call.
void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
    if (HBRUSH brush = CreateSolidBrush(colour)) {
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
}

// The longest prefix of `text` that fits `room` bytes without splitting a
// double-byte character of the ANSI code page.
std::size_t FittingPrefix(const std::string& text, std::size_t room) {
    std::size_t n = 0;
    while (n < text.size()) {
        const std::size_t step = (IsDBCSLeadByte(static_cast<BYTE>(text[n])) && n + 1 < text.size()) ? 2 : 1;
        if (n + step > room) break;
        n += step;
    }
    return n;
}

}  // namespace

// ---------------------------------------------------------------- CDolStatic

CDolStatic::CDolStatic()
    : m_font(CreateFontA(-11, 0, 0, 0, 300, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         DEFAULT_QUALITY, 0x20, "Tahoma")) {}

CDolStatic::~CDolStatic() {
    Detach();
    if (m_font) DeleteObject(m_font);
}

bool CDolStatic::Attach(HWND control) {
    return Subclass(m_hwnd, control, &CDolStatic::WindowProc, this);
}

void CDolStatic::Detach() {
    Unsubclass(m_hwnd);
}

void CDolStatic::SetText(const char* text) {
    m_text = text ? text : "";
    if (m_hwnd) InvalidateRect(m_hwnd, nullptr, FALSE);
}

void CDolStatic::SetTextColor(COLORREF colour) {
    m_textColour = colour;
}

LRESULT CALLBACK CDolStatic::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDolStatic* self = Owner<CDolStatic>(window);
    switch (message) {
        case WM_PAINT:
            if (self) {
                self->OnPaint();
                return 0;
            }
            break;
        case WM_NCDESTROY:
            if (self) {
                const LRESULT result = CallOld(window, message, wParam, lParam);
                self->Detach();
                return result;
            }
            break;
    }
    return CallOld(window, message, wParam, lParam);
}

void CDolStatic::OnPaint() {
    PAINTSTRUCT ps;
    HDC paint = BeginPaint(m_hwnd, &ps);
    if (!paint) return;
    RECT r;
    GetWindowRect(m_hwnd, &r);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&r), 2);
    RECT inner = r;
    InflateRect(&inner, -1, -1);
    const int width = r.right - r.left, height = r.bottom - r.top;

    HDC memory = CreateCompatibleDC(paint);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(paint, width, height) : nullptr;
    if (bitmap) {
        HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
        FillRect(memory, &r, GetSysColorBrush(COLOR_BTNFACE));
        HGDIOBJ oldFont = m_font ? SelectObject(memory, m_font) : nullptr;
        SetBkMode(memory, TRANSPARENT);
        ::SetTextColor(memory, m_textColour);
        SetTextAlign(memory, TA_BOTTOM | TA_LEFT);
        TextOutA(memory, inner.left, inner.bottom - 2, m_text.c_str(), static_cast<int>(m_text.size()));
        BitBlt(paint, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        if (oldFont) SelectObject(memory, oldFont);
        SelectObject(memory, oldBitmap);
        DeleteObject(bitmap);
    }
    if (memory) DeleteDC(memory);
    EndPaint(m_hwnd, &ps);
}

// --------------------------------------------------------- CTextProgressCtrl

CTextProgressCtrl::CTextProgressCtrl()
    : m_barColour(GetSysColor(COLOR_HIGHLIGHT)),
      m_bgColour(GetSysColor(COLOR_WINDOW)),
      m_textOverBg(GetSysColor(COLOR_HIGHLIGHT)),
      m_textOverBar(GetSysColor(COLOR_WINDOW)) {}

CTextProgressCtrl::~CTextProgressCtrl() {
    Detach();
    if (m_accessible) m_accessible->Release();
}

bool CTextProgressCtrl::Attach(HWND control) {
    return Subclass(m_hwnd, control, &CTextProgressCtrl::WindowProc, this);
}

void CTextProgressCtrl::Detach() {
    Unsubclass(m_hwnd);
    // A client may still hold the object: it answers nothing from now on.
    if (m_accessible) m_accessible->Detach();
}

void CTextProgressCtrl::SetAccessibleName(const std::wstring& name) {
    if (!m_hwnd) return;
    if (!m_accessible) {
        m_accessible = new WindowAccessible(m_hwnd, ROLE_SYSTEM_PROGRESSBAR);
        m_accessible->SetValue(WideFromCodePage(m_text, CP_ACP));
        m_toldValue.Update(m_text);
    }
    m_accessible->SetName(name);
}

void CTextProgressCtrl::SetRange(int lo, int hi) {
    m_min = lo;
    m_max = hi;
}
void CTextProgressCtrl::SetBarColor(COLORREF colour) {
    m_barColour = colour;
}
void CTextProgressCtrl::SetBgColor(COLORREF colour) {
    m_bgColour = colour;
}
void CTextProgressCtrl::SetTextColorOverBackground(COLORREF colour) {
    m_textOverBg = colour;
}
void CTextProgressCtrl::SetTextColorOverBar(COLORREF colour) {
    m_textOverBar = colour;
}
void CTextProgressCtrl::SetFont(HFONT notOwned) {
    m_font = notOwned;
}
void CTextProgressCtrl::SetShowText(bool show) {
    m_showText = show;
}

namespace {
// The filled part's width out of `extent` pixels, kept within 0..extent: a
// position below the minimum shows an empty bar, an empty range nothing.
int BarExtent(int position, int lo, int hi, int extent) {
    if (lo >= hi || extent <= 0) return 0;
    const double fraction =
        (static_cast<double>(position) - static_cast<double>(lo)) / (static_cast<double>(hi) - static_cast<double>(lo));
    const double filled = static_cast<double>(extent) * fraction;
    if (!(filled > 0)) return 0;
    return filled >= extent ? extent : static_cast<int>(filled);
}
}  // namespace

int CTextProgressCtrl::SetPos(int position) {
    if (!m_hwnd || !IsWindow(m_hwnd)) return -1;
    // A position above the maximum empties the bar (it is not clamped to full).
    if (position > m_max) position = m_min;
    const int previous = m_pos;
    m_pos = position;
    RECT client;
    GetClientRect(m_hwnd, &client);
    const int width = BarExtent(m_pos, m_min, m_max, client.right - client.left);
    if (width != m_lastBarWidth) {
        m_lastBarWidth = width;
        RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    }
    return previous;
}

LRESULT CALLBACK CTextProgressCtrl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CTextProgressCtrl* self = Owner<CTextProgressCtrl>(window);
    if (!self) return CallOld(window, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT CTextProgressCtrl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = m_hwnd;
    switch (message) {
        case WM_SETTEXT: {
            const LRESULT result = CallOld(window, message, wParam, lParam);
            const char* text = lParam ? reinterpret_cast<const char*>(lParam) : "";
            if (m_text != text) {
                m_text = text;
                InvalidateRect(window, nullptr, TRUE);
            }
            if (m_accessible && m_toldValue.Update(m_text)) {
                m_accessible->SetValue(WideFromCodePage(m_text, CP_ACP));
                NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
            }
            return result;
        }
        case WM_GETTEXT: {
            // Room for the terminator is kept, so the caller always gets a
            // terminated string; the count excludes the terminator.
            const std::size_t size = static_cast<std::size_t>(wParam);
            char* buffer = reinterpret_cast<char*>(lParam);
            if (!buffer || size == 0) return 0;
            const std::size_t n = FittingPrefix(m_text, size - 1);
            std::memcpy(buffer, m_text.data(), n);
            buffer[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_SIZE: {
            const LRESULT result = CallOld(window, message, wParam, lParam);
            m_lastBarWidth = -1;
            return result;
        }
        case WM_ERASEBKGND:
            return TRUE;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_GETOBJECT:
            if (m_accessible) {
                bool handled = false;
                const LRESULT answer = m_accessible->Answer(wParam, lParam, handled);
                if (handled) return answer;
            }
            break;
        case WM_NCDESTROY: {
            const LRESULT result = CallOld(window, message, wParam, lParam);
            Detach();
            return result;
        }
    }
    return CallOld(window, message, wParam, lParam);
}

void CTextProgressCtrl::OnPaint() {
    PAINTSTRUCT ps;
    HDC paint = BeginPaint(m_hwnd, &ps);
    if (!paint) return;
    // An empty or inverted range draws nothing (the paint is still
    // validated, or the window would be asked to paint forever).
    if (m_min < m_max) {
        RECT r;
        GetClientRect(m_hwnd, &r);
        InflateRect(&r, -1, -1);
        {
            CMemDC dc(paint);
            HGDIOBJ oldFont = m_font ? SelectObject(dc, m_font) : nullptr;
            const int end = r.left + BarExtent(m_pos, m_min, m_max, r.right - r.left);
            const RECT bar{r.left, r.top, end, r.bottom};
            const RECT rest{end, r.top, r.right, r.bottom};
            FillSolid(dc, bar, m_barColour);
            FillSolid(dc, rest, m_bgColour);
            if (m_showText) {
                char number[16];
                const char* text = m_text.c_str();
                if (m_text.empty()) {
                    std::snprintf(number, sizeof number, "%d", m_pos);
                    text = number;
                }
                const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
                SetBkMode(dc, TRANSPARENT);
                // The same text twice, each clipped to its part, so a
                // character cut by the bar's end shows both colours.
                const struct {
                    const RECT& part;
                    COLORREF colour;
                } parts[] = {{bar, m_textOverBar}, {rest, m_textOverBg}};
                for (const auto& part : parts) {
                    const int saved = SaveDC(dc);
                    IntersectClipRect(dc, part.part.left, part.part.top, part.part.right, part.part.bottom);
                    ::SetTextColor(dc, part.colour);
                    RECT textRect = r;
                    DrawTextA(dc, text, -1, &textRect, format);
                    RestoreDC(dc, saved);
                }
            }
            if (oldFont) SelectObject(dc, oldFont);
        }
    }
    EndPaint(m_hwnd, &ps);
}

// ------------------------------------------------------------------- CMemDC

CMemDC::CMemDC(HDC target) : m_target(target), m_dc(target) {
    if (!target || GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER) return;
    if (GetClipBox(target, &m_clip) == ERROR) return;
    const int width = m_clip.right - m_clip.left, height = m_clip.bottom - m_clip.top;
    if (width <= 0 || height <= 0) return;
    HDC memory = CreateCompatibleDC(target);
    if (!memory) return;
    m_bitmap = CreateCompatibleBitmap(target, width, height);
    if (!m_bitmap) {
        // Without a bitmap, drawing goes straight to the target.
        DeleteDC(memory);
        return;
    }
    m_oldBitmap = SelectObject(memory, m_bitmap);
    SetWindowOrgEx(memory, m_clip.left, m_clip.top, nullptr);
    m_dc = memory;
    m_offScreen = true;
}

CMemDC::~CMemDC() {
    if (m_offScreen) {
        BitBlt(m_target, m_clip.left, m_clip.top, m_clip.right - m_clip.left, m_clip.bottom - m_clip.top, m_dc,
               m_clip.left, m_clip.top, SRCCOPY);
        SelectObject(m_dc, m_oldBitmap);
        DeleteDC(m_dc);
    }
    if (m_bitmap) DeleteObject(m_bitmap);
}

}  // namespace quillon
