#include "osd_window.h"

#include "handles.h"
#include "resource.h"
#include "code_page_text.h"
#include "settings.h"
#include "window_accessible.h"

#include <algorithm>
#include <vector>
#include <new>

namespace vx {

namespace {

// The window's timer that speaks a settled announcement.
constexpr UINT_PTR kTimerSpeak = 1;

// Pictures are small; anything larger is not one of them.
constexpr LONGLONG kMaxPictureFileSize = 64 * 1024 * 1024;

struct WindowDc {
    explicit WindowDc(HWND hwnd) : window(hwnd), dc(GetDC(hwnd)) {}
    ~WindowDc() {
        if (dc) ReleaseDC(window, dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HWND window;
    HDC dc;
};

void DrawWhole(Gdiplus::Graphics& g, Gdiplus::Image* image, int x, int y) {
    if (image) g.DrawImage(image, x, y, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()));
}

void DrawLevelBar(Gdiplus::Graphics& g, int level, int maximum, const OsdPictures& p, SIZE size) {
    Gdiplus::Image* base = p.base.get();
    Gdiplus::Image* fill = p.fill.get();
    Gdiplus::Image* cap = p.cap.get();
    Gdiplus::Image* icon = p.icon.get();
    DrawWhole(g, base, 0, 0);
    const LevelBarGeometry bar = ComputeLevelBar(level, maximum, ImageWidth(p.cap));
    if (bar.hasLevel) {
        if (!bar.full) {
            if (fill)
                g.DrawImage(fill, Gdiplus::Rect(0, 0, bar.edge, kBarFillHeight), 0, 0, bar.edge, kBarFillHeight,
                            Gdiplus::UnitPixel);
            if (cap && bar.capCut) {
                // Only the cap's own pixels from its source x to its right end.
                const int width = std::min(kBarCapDrawWidth, ImageWidth(p.cap) - bar.capSourceX);
                g.DrawImage(cap, Gdiplus::Rect(bar.edge, kBarCapY, width, kBarCapDrawHeight), bar.capSourceX, 0, width,
                            ImageHeight(p.cap), Gdiplus::UnitPixel);
            } else {
                DrawWhole(g, cap, bar.edge, kBarCapY);
            }
            DrawWhole(g, icon, kBarIconX, kBarIconY);
        } else if (fill) {
            g.DrawImage(fill, 0, 0, size.cx, size.cy);
        }
        DrawWhole(g, icon, kBarIconX, kBarIconY);
    } else {
        DrawWhole(g, base, 0, 0);
        DrawWhole(g, icon, kBarIconX, kBarIconY);
    }
    Gdiplus::SolidBrush tick(Gdiplus::Color(kTickAlpha, kTickRed, kTickGreen, kTickBlue));
    // All ticks in one call: the same pixels as one fill per tick, at a fraction of the cost.
    std::vector<Gdiplus::Rect> ticks;
    for (int x : TickPositions(maximum)) ticks.emplace_back(x, kTickY, kTickWidth, kTickHeight);
    if (!ticks.empty()) g.FillRectangles(&tick, ticks.data(), static_cast<INT>(ticks.size()));
}

}  // namespace

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
    if (Gdiplus::GdiplusStartup(&m_token, &input, nullptr) != Gdiplus::Ok) m_token = 0;
}

GdiplusSession::~GdiplusSession() {
    if (m_token) Gdiplus::GdiplusShutdown(m_token);
}

namespace {

// The file's bytes in a movable memory block, the file closed again; nullptr
// when it cannot be read whole.
HGLOBAL ReadWholeFile(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxPictureFileSize) return nullptr;
    const DWORD bytes = static_cast<DWORD>(size.QuadPart);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return nullptr;
    bool complete = false;
    if (void* data = GlobalLock(block)) {
        DWORD read = 0;
        complete = ReadFile(file.Get(), data, bytes, &read, nullptr) && read == bytes;
        GlobalUnlock(block);
    }
    if (!complete) {
        GlobalFree(block);
        return nullptr;
    }
    return block;
}

}  // namespace

OsdImage LoadOsdImage(const std::string& path) {
    HGLOBAL block = ReadWholeFile(path);
    if (!block) return nullptr;
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
        GlobalFree(block);
        return nullptr;
    }
    // From here the stream frees the block when its last reference goes.
    // GDI+ objects come from GDI+'s own allocator, which throws nothing.
    OsdImage image(new Gdiplus::Image(stream));
    stream->Release();  // the image keeps its own reference while it needs one
    if (!image || image->GetLastStatus() != Gdiplus::Ok || image->GetWidth() == 0 || image->GetHeight() == 0)
        return nullptr;
    return image;
}

namespace {

// The picture at `path` from the cache while its file is unchanged, else
// decoded and kept. A missing or unreadable file gives nothing, as uncached.
OsdImage LoadCachedOsdImage(const std::string& path, OsdPictureCache& cache) {
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &file) ||
        (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        cache.Forget(path);
        return nullptr;
    }
    const FileStamp stamp{(static_cast<std::uint64_t>(file.nFileSizeHigh) << 32) | file.nFileSizeLow,
                          (static_cast<std::uint64_t>(file.ftLastWriteTime.dwHighDateTime) << 32) |
                              file.ftLastWriteTime.dwLowDateTime};
    if (OsdImage cached = cache.Find(path, stamp)) return cached;
    OsdImage image = LoadOsdImage(path);
    if (image) {
        const std::size_t pixels = static_cast<std::size_t>(image->GetWidth()) * image->GetHeight() * 4;
        cache.Store(path, stamp, image, static_cast<std::size_t>(stamp.size) + pixels);
    }
    return image;
}

}  // namespace

int ImageWidth(const OsdImage& image) { return image ? static_cast<int>(image->GetWidth()) : 0; }
int ImageHeight(const OsdImage& image) { return image ? static_cast<int>(image->GetHeight()) : 0; }

OsdPictures LoadOsdPictures(const std::string& imageDirectory, const OSDRequest& request, OsdPictureCache* cache) {
    auto load = [&](std::string_view name) -> OsdImage {
        if (name.empty()) return nullptr;  // the code names no picture
        const std::string path = OsdImagePath(imageDirectory, name);
        return cache ? LoadCachedOsdImage(path, *cache) : LoadOsdImage(path);
    };
    OsdPictures pictures;
    if (request.kind == kOsdLevelBar) {
        const LevelBarFiles files = LevelBarImageFiles(request.code);
        pictures.fill = load(files.fill);
        pictures.base = load(files.base);
        pictures.cap = load(files.cap);
        pictures.icon = load(files.icon);
    } else {
        pictures.single = load(SingleImageFile(request.kind, request.code));
    }
    return pictures;
}

SIZE OsdPictureSize(int kind, const OsdPictures& pictures) {
    const OsdImage& measured = kind == kOsdLevelBar ? pictures.base : pictures.single;
    return {ImageWidth(measured), ImageHeight(measured)};
}

OsdCanvas::OsdCanvas(HDC reference, int width, int height) {
    if (width <= 0 || height <= 0) return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    m_dc = CreateCompatibleDC(reference);
    if (!m_dc) return;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_bitmap || !bits) return;
    m_previous = SelectObject(m_dc, m_bitmap);
    m_bits = static_cast<std::uint32_t*>(bits);
    m_width = width;
    m_height = height;
}

OsdCanvas::~OsdCanvas() {
    if (m_previous) SelectObject(m_dc, m_previous);
    if (m_bitmap) DeleteObject(m_bitmap);
    if (m_dc) DeleteDC(m_dc);
}

std::unique_ptr<OsdCanvas> ComposeOsd(HDC reference, int kind, int level, int maximum, const OsdPictures& pictures) {
    const SIZE size = OsdPictureSize(kind, pictures);
    if (size.cx <= 0 || size.cy <= 0) return nullptr;
    auto canvas = std::make_unique<OsdCanvas>(reference, size.cx, size.cy);
    if (!canvas->Valid()) return nullptr;
    GdiFlush();
    {
        // GDI+ draws straight into the canvas bits as premultiplied ARGB,
        // the form UpdateLayeredWindow takes.
        Gdiplus::Bitmap target(size.cx, size.cy, size.cx * 4, PixelFormat32bppPARGB,
                               reinterpret_cast<BYTE*>(canvas->Bits()));
        Gdiplus::Graphics g(&target);
        // Status codes stay on the graphics object; drawing goes on.
        if (kind == kOsdLevelBar)
            DrawLevelBar(g, level, maximum, pictures, size);
        else
            DrawWhole(g, pictures.single.get(), 0, 0);
        g.Flush(Gdiplus::FlushIntentionSync);
    }
    return canvas;
}

CVXSysOSD::CVXSysOSD(std::string imageDirectory) : m_imageDirectory(std::move(imageDirectory)) {}

CVXSysOSD::~CVXSysOSD() {
    if (Hwnd()) DestroyWindow(Hwnd());
    if (m_accessible) {
        // A client may still hold it: it outlives the window, answering nothing.
        m_accessible->Detach();
        m_accessible->Release();
    }
}

HWND CVXSysOSD::Create() { return CDialogBase::Create(IDD_OSD, nullptr); }

bool CVXSysOSD::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (msg == WM_GETOBJECT) {
        bool handled = false;
        if (m_accessible) result = m_accessible->Answer(wParam, lParam, handled);
        return handled;
    }
    if (msg == WM_TIMER && wParam == kTimerSpeak) {
        SpeakDue();
        result = 0;
        return true;
    }
    if (msg == WM_DESTROY) {
        KillTimer(Hwnd(), kTimerSpeak);
        if (m_accessible) m_accessible->Detach();
        return false;
    }
    if (msg != WM_INITDIALOG) return false;
    if (!m_accessible) m_accessible = new WindowAccessible(Hwnd(), ROLE_SYSTEM_ALERT);
    m_blend.BlendOp = AC_SRC_OVER;
    m_blend.BlendFlags = 0;
    m_blend.SourceConstantAlpha = 255;
    m_blend.AlphaFormat = AC_SRC_ALPHA;
    const LONG exStyle = GetWindowLongA(Hwnd(), GWL_EXSTYLE);
    if (!(exStyle & WS_EX_LAYERED)) SetWindowLongA(Hwnd(), GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    if (m_imageDirectory.empty()) m_imageDirectory = ProgramDirectoryShort();
    result = TRUE;
    return true;
}

void CVXSysOSD::UpdateOSD(const OSDRequest& request, const std::string& spoken, unsigned codePage) {
    if (!Hwnd()) return;
    if (request.kind == kOsdLevelBar) m_maximum = request.maximum;
    if (!m_gdiplus) m_gdiplus.emplace();
    m_pictures = LoadOsdPictures(m_imageDirectory, request, &m_cache);
    const SIZE size = OsdPictureSize(request.kind, m_pictures);
    PlaceOSD(request.kind, size.cx, size.cy);
    const bool drawn = DrawOSD(request.kind, request.level);
    // A request that draws nothing shows nothing, so it says nothing either
    // (and takes back what an earlier picture had still to say).
    if (!drawn || spoken.empty()) {
        m_speech.Cancel();
        KillTimer(Hwnd(), kTimerSpeak);
        return;
    }
    // Until it is due the window has no name: a reader that looks at the
    // window when it appears finds nothing to say, not the last result.
    if (m_accessible) m_accessible->SetName({});
    SetWindowTextW(Hwnd(), L"");
    m_speechCodePage = codePage;
    m_speech.Post(spoken, GetTickCount64());
    SetTimer(Hwnd(), kTimerSpeak, static_cast<UINT>(SpeechDebounce::kQuietMs), nullptr);
}

void CVXSysOSD::SpeakDue() {
    HWND hwnd = Hwnd();
    const auto wait = m_speech.WaitMs(GetTickCount64());
    if (!wait) {
        KillTimer(hwnd, kTimerSpeak);
        return;
    }
    if (*wait > 0) {
        // Early: wait out the rest.
        SetTimer(hwnd, kTimerSpeak, static_cast<UINT>(*wait), nullptr);
        return;
    }
    KillTimer(hwnd, kTimerSpeak);
    const auto due = m_speech.TakeDue(GetTickCount64());
    // A picture hidden before its text was due is not announced.
    if (!due || !IsWindowVisible(hwnd) || !m_accessible) return;
    const std::wstring text = WideFromCodePage(*due, m_speechCodePage);
    m_accessible->SetName(text);
    SetWindowTextW(hwnd, text.c_str());
    if (!m_notification) m_notification.emplace();
    BOOL screenReader = FALSE;
    SystemParametersInfoA(SPI_GETSCREENREADER, 0, &screenReader, 0);
    const SpeechRoute route =
        ChooseSpeechRoute(m_notification->Bound(), m_notification->ClientsListening(), screenReader != FALSE);
    if (route.alert) NotifyWinEvent(EVENT_SYSTEM_ALERT, hwnd, OBJID_CLIENT, CHILDID_SELF);
    if (route.notification) m_notification->Raise(hwnd, text, L"OsdResult");
}

void CVXSysOSD::PlaceOSD(int kind, int width, int height) {
    RECT taskbar = {};
    HWND tray = FindWindowA("Shell_TrayWnd", "");
    const bool found = tray && GetWindowRect(tray, &taskbar);
    const OsdPoint at = OsdPosition(kind, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), width, height,
                                    TaskbarThickness(found, taskbar.top, taskbar.bottom));
    SetWindowPos(Hwnd(), HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

bool CVXSysOSD::DrawOSD(int kind, int level) {
    HWND hwnd = Hwnd();
    bool drawn = false;
    {
        WindowDc window(hwnd);
        auto canvas = ComposeOsd(window.dc, kind, level, m_maximum, m_pictures);
        if (canvas) {
            RECT rect = {};
            GetWindowRect(hwnd, &rect);
            POINT destination = {rect.left, rect.top};
            SIZE size = {canvas->Width(), canvas->Height()};
            POINT source = {0, 0};
            drawn = UpdateLayeredWindow(hwnd, window.dc, &destination, &size, canvas->Dc(), &source, 0, &m_blend,
                                        ULW_ALPHA) != FALSE;
        } else {
            // No picture: the window keeps no area, so no earlier picture shows.
            SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    m_pictures = {};  // only the cache keeps pictures between requests
    return drawn;
}

bool IsFullScreenForeground(HWND mainWindow) {
    HWND foreground = GetForegroundWindow();
    if (!foreground || IsZoomed(foreground)) return false;
    RECT client = {};
    if (!GetClientRect(foreground, &client)) return false;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(mainWindow, MONITOR_DEFAULTTOPRIMARY), &monitor)) return false;
    if (client.right != monitor.rcMonitor.right || client.bottom != monitor.rcMonitor.bottom) return false;
    char className[256] = {};
    GetClassNameA(foreground, className, 256);
    return !IsDesktopWindowClass(className);
}

}  // namespace vx
