// The drawn controls on real windows: what they paint (read back from the
// screen), when they repaint, and the text messages of the bar.
#include <gtest/gtest.h>

#include "drawn_controls.h"

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

using quillon::CDolStatic;
using quillon::CMemDC;
using quillon::CTextProgressCtrl;

namespace {

// The pixels of a window's client area as COLORREFs, row by row.
struct Pixels {
    int width = 0, height = 0;
    std::vector<COLORREF> colour;
    COLORREF At(int x, int y) const { return colour[static_cast<std::size_t>(y) * width + x]; }
};

// Copies a 32 bpp DIB section's bits into Pixels.
Pixels FromDib(const void* bits, int width, int height) {
    Pixels p;
    p.width = width;
    p.height = height;
    p.colour.resize(static_cast<std::size_t>(width) * height);
    const auto* src = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < p.colour.size(); ++i) {
        const std::uint32_t v = src[i];  // BGRA
        p.colour[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    return p;
}

// A top-down 32 bpp DIB selected into a memory context.
class Dib {
public:
    Dib(int width, int height) : m_width(width), m_height(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Dib() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;
    HDC dc() const { return m_dc; }
    Pixels Read() const {
        GdiFlush();
        return FromDib(m_bits, m_width, m_height);
    }

private:
    int m_width, m_height;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    void* m_bits = nullptr;
};

Pixels Capture(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    Dib dib(r.right, r.bottom);
    HDC screen = GetDC(window);
    BitBlt(dib.dc(), 0, 0, r.right, r.bottom, screen, 0, 0, SRCCOPY);
    ReleaseDC(window, screen);
    return dib.Read();
}

// Counts WM_PAINT reaching a window, in front of whatever procedure it has.
int g_paints = 0;
WNDPROC g_counted = nullptr;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_PAINT) ++g_paints;
    return CallWindowProcA(g_counted, w, m, wp, lp);
}

constexpr COLORREF kBar = RGB(0, 0, 255), kBackground = RGB(200, 200, 255);
constexpr COLORREF kOverBar = RGB(255, 255, 255), kOverBackground = RGB(0, 0, 255);

// A visible pop-up window holding the controls under test.
class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        m_host = CreateWindowExA(WS_EX_TOPMOST, "Static", "", WS_POPUP | WS_VISIBLE, 100, 100, 400, 200, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_host, nullptr);
        // Whole pixels only, so every pixel is one of the colours painted.
        m_font = CreateFontA(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             NONANTIALIASED_QUALITY, 0x22, "Tahoma");
    }
    void TearDown() override {
        if (m_host) DestroyWindow(m_host);
        if (m_font) DeleteObject(m_font);
    }
    HWND Child(const char* cls, const char* text, int x, int y, int width, int height) {
        HWND w = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE, x, y, width, height, m_host, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(w, nullptr);
        return w;
    }
    void Dress(CTextProgressCtrl& bar) {
        bar.SetRange(0, 100);
        bar.SetBarColor(kBar);
        bar.SetBgColor(kBackground);
        bar.SetTextColorOverBackground(kOverBackground);
        bar.SetTextColorOverBar(kOverBar);
        bar.SetFont(m_font);
    }

    HWND m_host = nullptr;
    HFONT m_font = nullptr;
};

}  // namespace

TEST_F(ControlsTest, PositionAboveTheMaximumEmptiesTheBar) {
    CTextProgressCtrl bar;
    EXPECT_EQ(bar.SetPos(30), -1);  // not attached
    ASSERT_TRUE(bar.Attach(Child(PROGRESS_CLASSA, "", 10, 10, 202, 22)));
    EXPECT_FALSE(bar.Attach(bar.hwnd()));
    Dress(bar);
    struct Case {
        int set;
        int kept;
        bool anyBar;   // some of the bar colour is visible
        bool allBar;   // the inner rectangle is bar colour or text over it
    } cases[] = {
        {60, 60, true, false},
        {100, 100, true, true},
        {101, 0, false, false},
        {150, 0, false, false},
        {-5, -5, false, false},  // below the minimum: an empty bar, drawn inside the control
    };
    int previous = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(bar.SetPos(c.set), previous) << c.set;
        EXPECT_EQ(bar.GetPos(), c.kept) << c.set;
        previous = c.kept;
        const Pixels p = Capture(bar.hwnd());
        bool anyBar = false, allBar = true;
        for (int y = 1; y < p.height - 1; ++y)
            for (int x = 1; x < p.width - 1; ++x) {
                const COLORREF v = p.At(x, y);
                anyBar |= v == kBar && x < p.width / 3;  // left third: bar, not centred text
                allBar &= v == kBar || v == kOverBar;
            }
        EXPECT_EQ(anyBar, c.anyBar) << c.set;
        EXPECT_EQ(allBar, c.allBar) << c.set;
    }
}

TEST_F(ControlsTest, RedrawsOnlyWhenTheBarWidthChanges) {
    CTextProgressCtrl bar;
    ASSERT_TRUE(bar.Attach(Child(PROGRESS_CLASSA, "", 10, 10, 50, 22)));
    Dress(bar);
    g_counted = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(bar.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc)));
    // 50 pixels: 10 % and 11 % are both 5 pixels wide, 12 % is 6.
    struct Step {
        int pos;
        int paints;
    } steps[] = {{10, 1}, {10, 0}, {11, 0}, {12, 1}, {150, 1}, {0, 0}};
    for (const Step& s : steps) {
        g_paints = 0;
        bar.SetPos(s.pos);
        EXPECT_EQ(g_paints, s.paints) << "SetPos(" << s.pos << ")";
    }
    // A new size forgets the width drawn last: the same position draws again.
    SetWindowPos(bar.hwnd(), nullptr, 0, 0, 60, 22, SWP_NOMOVE | SWP_NOZORDER);
    g_paints = 0;
    bar.SetPos(0);
    EXPECT_EQ(g_paints, 1);
    SetWindowLongPtrA(bar.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_counted));
}

TEST_F(ControlsTest, TextChangesColourExactlyAtTheBarEnd) {
    CTextProgressCtrl bar;
    ASSERT_TRUE(bar.Attach(Child(PROGRESS_CLASSA, "", 10, 10, 202, 22)));
    Dress(bar);
    bar.SetPos(50);
    SendMessageA(bar.hwnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("8888888"));
    UpdateWindow(bar.hwnd());
    const Pixels p = Capture(bar.hwnd());
    const int end = 1 + 200 / 2;  // inner rectangle starts at 1 and is 200 wide
    int overBar = 0, overBackground = 0, foreignLeft = 0, foreignRight = 0, nearEndLeft = 0, nearEndRight = 0;
    for (int y = 1; y < p.height - 1; ++y)
        for (int x = 1; x < p.width - 1; ++x) {
            const COLORREF v = p.At(x, y);
            if (x < end) {
                if (v == kOverBar) {
                    ++overBar;
                    nearEndLeft += x == end - 1;
                } else if (v != kBar) {
                    ++foreignLeft;
                }
            } else {
                if (v == kOverBackground) {
                    ++overBackground;
                    nearEndRight += x == end;
                } else if (v != kBackground) {
                    ++foreignRight;
                }
            }
        }
    EXPECT_EQ(foreignLeft, 0);
    EXPECT_EQ(foreignRight, 0);
    EXPECT_GT(overBar, 20);
    EXPECT_GT(overBackground, 20);
    // The middle character is cut by the end: both colours touch it.
    EXPECT_GT(nearEndLeft + nearEndRight, 0);
}

TEST_F(ControlsTest, BareNumberUntilATextArrives) {
    CTextProgressCtrl bare, texted;
    ASSERT_TRUE(bare.Attach(Child(PROGRESS_CLASSA, "", 10, 10, 202, 22)));
    ASSERT_TRUE(texted.Attach(Child(PROGRESS_CLASSA, "", 10, 40, 202, 22)));
    Dress(bare);
    Dress(texted);
    bare.SetPos(60);
    texted.SetPos(60);
    SendMessageA(texted.hwnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("60"));
    UpdateWindow(texted.hwnd());
    EXPECT_EQ(Capture(bare.hwnd()).colour, Capture(texted.hwnd()).colour);
    SendMessageA(texted.hwnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("60%"));
    UpdateWindow(texted.hwnd());
    EXPECT_NE(Capture(bare.hwnd()).colour, Capture(texted.hwnd()).colour);
    EXPECT_EQ(texted.Text(), "60%");

    // WM_GETTEXT hands back the stored text, always terminated.
    struct Case {
        WPARAM size;
        const char* text;
        LRESULT count;
    } cases[] = {{16, "60%", 3}, {4, "60%", 3}, {3, "60", 2}, {1, "", 0}};
    for (const Case& c : cases) {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(SendMessageA(texted.hwnd(), WM_GETTEXT, c.size, reinterpret_cast<LPARAM>(buffer)), c.count)
            << c.size;
        EXPECT_STREQ(buffer, c.text) << c.size;
    }
    EXPECT_EQ(SendMessageA(texted.hwnd(), WM_GETTEXT, 0, 0), 0);
}

TEST_F(ControlsTest, LabelPaintsItsOwnTextInItsColour) {
    CDolStatic label;
    // The template's text is not what the label shows.
    ASSERT_TRUE(label.Attach(Child("Static", "Processor", 10, 80, 150, 14)));
    label.SetTextColor(RGB(0, 0, 255));
    UpdateWindow(label.hwnd());
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    auto count = [&](auto predicate) {
        const Pixels p = Capture(label.hwnd());
        int n = 0;
        for (COLORREF v : p.colour) n += predicate(v);
        return n;
    };
    auto blueish = [](COLORREF v) { return GetBValue(v) > GetRValue(v) + 80 && GetBValue(v) > GetGValue(v) + 80; };
    EXPECT_EQ(count([&](COLORREF v) { return v != face; }), 0);

    label.SetText("System BIOS Version");
    UpdateWindow(label.hwnd());
    EXPECT_GT(count(blueish), 20);

    // A text longer than the control reaches its right edge and is cut there.
    label.SetText("System BIOS Version System BIOS Version System BIOS Version");
    UpdateWindow(label.hwnd());
    const Pixels p = Capture(label.hwnd());
    int lastColumns = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = p.width - 10; x < p.width; ++x) lastColumns += p.At(x, y) != face;
    EXPECT_GT(lastColumns, 0);
}

TEST(MemDC, DrawsInTargetCoordinatesAndCopiesOnlyTheClipBox) {
    Dib target(100, 100);
    RECT all{0, 0, 100, 100};
    FillRect(target.dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    IntersectClipRect(target.dc(), 10, 20, 40, 50);
    {
        CMemDC memory(target.dc());
        EXPECT_TRUE(memory.OffScreen());
        EXPECT_NE(static_cast<HDC>(memory), target.dc());
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(memory, &all, red);
        DeleteObject(red);
        SetPixel(memory, 15, 25, RGB(0, 255, 0));
        // Nothing reaches the target before the copy.
        EXPECT_EQ(target.Read().At(12, 22), RGB(255, 255, 255));
    }
    const Pixels p = target.Read();
    EXPECT_EQ(p.At(15, 25), RGB(0, 255, 0));
    EXPECT_EQ(p.At(10, 20), RGB(255, 0, 0));
    EXPECT_EQ(p.At(39, 49), RGB(255, 0, 0));
    EXPECT_EQ(p.At(9, 20), RGB(255, 255, 255));
    EXPECT_EQ(p.At(40, 20), RGB(255, 255, 255));
    EXPECT_EQ(p.At(10, 19), RGB(255, 255, 255));
    EXPECT_EQ(p.At(10, 50), RGB(255, 255, 255));
}
