// The on-screen display through its real Win32 path: pictures read by the
// program's loader, composed by the function the window draws with, and real
// layered windows placed on the screen.
#include "child_process.h"
#include "handles.h"
#include "osd_window.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Argb {
    double a, r, g, b;  // premultiplied, 0..255
};

// A picture decoded on its own (not through the program's loader), premultiplied.
struct Picture {
    int width = 0, height = 0;
    std::vector<Argb> px;
    Argb At(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
};

Picture Decode(const std::string& path) {
    Picture p;
    std::wstring wide(path.begin(), path.end());
    Gdiplus::Bitmap bitmap(wide.c_str());
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return p;
    p.width = static_cast<int>(bitmap.GetWidth());
    p.height = static_cast<int>(bitmap.GetHeight());
    Gdiplus::Rect all(0, 0, p.width, p.height);
    Gdiplus::BitmapData data = {};
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok) return {};
    for (int y = 0; y < p.height; ++y) {
        auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < p.width; ++x) {
            double a = row[x] >> 24;
            p.px.push_back({a, ((row[x] >> 16) & 0xFF) * a / 255, ((row[x] >> 8) & 0xFF) * a / 255, (row[x] & 0xFF) * a / 255});
        }
    }
    bitmap.UnlockBits(&data);
    return p;
}

Argb Over(Argb src, Argb dst) {
    double k = 1 - src.a / 255;
    return {src.a + dst.a * k, src.r + dst.r * k, src.g + dst.g * k, src.b + dst.b * k};
}

Argb FromCanvas(std::uint32_t v) {
    return {double(v >> 24), double((v >> 16) & 0xFF), double((v >> 8) & 0xFF), double(v & 0xFF)};
}

// Largest channel difference.
double Distance(Argb x, Argb y) {
    return std::max({std::fabs(x.a - y.a), std::fabs(x.r - y.r), std::fabs(x.g - y.g), std::fabs(x.b - y.b)});
}

constexpr double kTolerance = 2.5;  // rounding of premultiplication and blending

class Osd : public ::testing::Test {
protected:
    std::string ImageDir() const { return vx::ProgramDirectoryShort(); }
    std::string PicturePath(std::string_view name) const { return vx::OsdImagePath(ImageDir(), name); }
    std::unique_ptr<vx::OsdCanvas> Compose(const vx::OSDRequest& r) {
        return vx::ComposeOsd(nullptr, r.kind, r.level, r.maximum, vx::LoadOsdPictures(ImageDir(), r));
    }
    vx::GdiplusSession m_gdiplus;
};

TEST_F(Osd, DeviceIconComposesItsPicturePremultiplied) {
    const Picture picture = Decode(PicturePath(vx::DeviceIconFile(1)));
    ASSERT_GT(picture.width, 0);
    auto canvas = Compose({vx::kOsdDevice, -1, 1, 0});
    ASSERT_TRUE(canvas);
    ASSERT_EQ(canvas->Width(), picture.width);
    ASSERT_EQ(canvas->Height(), picture.height);
    int transparent = 0, partial = 0, off = 0, notPremultiplied = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t v = canvas->Pixel(x, y);
            const unsigned a = v >> 24;
            // Premultiplied: no colour channel exceeds alpha.
            notPremultiplied += std::max({(v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF}) > a;
            transparent += a == 0;
            partial += a > 0 && a < 255;
            off += Distance(FromCanvas(v), picture.At(x, y)) > kTolerance;
        }
    EXPECT_EQ(notPremultiplied, 0);
    EXPECT_EQ(off, 0);
    // The picture has transparent corners and soft edges for the check to bite.
    EXPECT_GT(transparent, 0);
    EXPECT_GT(partial, 100);
}

TEST_F(Osd, LevelBarFillEdgeCapAndTicks) {
    const vx::LevelBarFiles files = vx::LevelBarImageFiles(vx::kLevelVolume);
    const Picture base = Decode(PicturePath(files.base)), fill = Decode(PicturePath(files.fill));
    const Picture cap = Decode(PicturePath(files.cap)), icon = Decode(PicturePath(files.icon));
    ASSERT_GE(base.width, 480);
    ASSERT_GE(base.height, 90);
    ASSERT_EQ(fill.width, base.width);
    const int c = cap.width;
    const Argb tick = {200, 120 * 200 / 255.0, 120 * 200 / 255.0, 120 * 200 / 255.0};

    struct Case {
        int level, maximum;
        bool full;
        int edge, capSourceX;  // where the fill picture stops and the cap begins
    };
    const Case cases[] = {
        {1, 100, false, 97, c - 1},       // fill 3: the cap cut, its last pixel
        {50, 100, false, 96 + 191 - c, 0},  // 50 x 3.84f truncates to 191
        {99, 100, false, 96 + 380 - c, 0},
        {100, 100, true, 0, 0},           // the whole fill picture
        {0, 100, false, 0, 0},            // the empty bar
        {3, 8, false, 96 + 144 - c, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(testing::Message() << k.level << " of " << k.maximum);
        auto canvas = Compose({vx::kOsdLevelBar, k.level, vx::kLevelVolume, k.maximum});
        ASSERT_TRUE(canvas);
        ASSERT_EQ(canvas->Width(), base.width);
        ASSERT_EQ(canvas->Height(), base.height);
        std::vector<int> ticks;
        if (k.maximum == 100)
            for (int x = 96; x <= 467; x += 7) ticks.push_back(x);
        else
            for (int x = 96; x <= 432; x += 48) ticks.push_back(x);
        ticks.push_back(474);

        int off = 0;
        // Everything right of the icon, the track and the tick rows included.
        for (int y = 0; y < base.height; ++y)
            for (int x = 80; x < base.width; ++x) {
                Argb want = base.At(x, y);
                if (k.full) {
                    want = Over(fill.At(x, y), want);
                } else if (k.level > 0 && x < k.edge) {
                    want = Over(fill.At(x, y), want);
                } else if (k.level > 0 && x < k.edge + std::min(13, c - k.capSourceX) && y >= 34 && y < 34 + cap.height) {
                    want = Over(cap.At(x - k.edge + k.capSourceX, y - 34), want);
                } else if (k.level <= 0) {
                    want = Over(base.At(x, y), want);  // the base drawn a second time
                }
                const bool onTick = y >= 70 && y < 75 && std::find(ticks.begin(), ticks.end(), x) != ticks.end();
                if (onTick) want = Over(tick, want);
                const double d = Distance(FromCanvas(canvas->Pixel(x, y)), want);
                if (d > kTolerance && off++ < 5) ADD_FAILURE() << "pixel " << x << "," << y << " differs by " << d;
            }
        EXPECT_EQ(off, 0);
        // The icon's opaque middle lands at (15, 15).
        const int ix = icon.width / 2, iy = icon.height / 2;
        if (icon.At(ix, iy).a == 255) {
            EXPECT_LT(Distance(FromCanvas(canvas->Pixel(15 + ix, 15 + iy)), icon.At(ix, iy)), kTolerance);
        }
    }
}

// Kinds 1, 3, 4 and 5 each take their picture's size at their place.
TEST_F(Osd, WindowsTakeTheirPlaceAndSize) {
    const int W = GetSystemMetrics(SM_CXSCREEN), H = GetSystemMetrics(SM_CYSCREEN);
    const vx::OSDRequest requests[] = {
        {vx::kOsdDevice, -1, 15, 0},
        {vx::kOsdCentre, -1, 9, 0},
        {vx::kOsdSecondDevice, -1, 4, 0},
        {vx::kOsdLevelBar, 40, vx::kLevelBrightness, 8},
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(testing::Message() << "kind " << r.kind);
        vx::CVXSysOSD osd;
        ASSERT_TRUE(osd.Create()) << GetLastError();
        EXPECT_TRUE(GetWindowLongA(osd.Hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
        EXPECT_FALSE(IsWindowVisible(osd.Hwnd()));
        osd.UpdateOSD(r);
        // The taskbar as the window saw it (a shell starting up may still change it).
        RECT taskbar = {};
        HWND tray = FindWindowA("Shell_TrayWnd", "");
        const bool found = tray && GetWindowRect(tray, &taskbar);
        const int T = vx::TaskbarThickness(found, taskbar.top, taskbar.bottom);
        const std::string_view name = r.kind == vx::kOsdLevelBar ? vx::LevelBarImageFiles(r.code).base
                                                                 : vx::SingleImageFile(r.kind, r.code);
        const Picture picture = Decode(PicturePath(name));
        ASSERT_GT(picture.width, 0);
        const vx::OsdPoint at = vx::OsdPosition(r.kind, W, H, picture.width, picture.height, T);
        RECT rect = {};
        GetWindowRect(osd.Hwnd(), &rect);
        EXPECT_EQ(rect.left, at.x);
        EXPECT_EQ(rect.top, at.y);
        EXPECT_EQ(rect.right - rect.left, picture.width);
        EXPECT_EQ(rect.bottom - rect.top, picture.height);
        // Drawing does not show the window: the main window does.
        EXPECT_FALSE(IsWindowVisible(osd.Hwnd()));
    }
}

class BadPictures : public Osd {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "vx_osd_bad_" + std::to_string(GetCurrentProcessId()) + "\\";
        for (const char* sub : {"", "Image", "Image\\ICON"}) CreateDirectoryA((m_dir + sub).c_str(), nullptr);
        std::string good;
        std::ifstream in(PicturePath(vx::DeviceIconFile(1)), std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_GT(good.size(), 200u);
        Write(vx::DeviceIconFile(1), good);                        // a good one to start from
        Write(vx::DeviceIconFile(2), "this is not a picture");     // corrupt
        Write(vx::DeviceIconFile(3), good.substr(0, good.size() / 3));  // truncated
        Write(vx::DeviceIconFile(4), "");                          // empty
        CreateDirectoryA(vx::OsdImagePath(m_dir, vx::DeviceIconFile(5)).c_str(), nullptr);  // a folder
        // 6 is missing; 9 is no code of the table.
    }
    void TearDown() override {
        for (int code : {1, 2, 3, 4}) DeleteFileA(vx::OsdImagePath(m_dir, vx::DeviceIconFile(code)).c_str());
        RemoveDirectoryA(vx::OsdImagePath(m_dir, vx::DeviceIconFile(5)).c_str());
        for (const char* sub : {"Image\\ICON", "Image", ""}) RemoveDirectoryA((m_dir + sub).c_str());
    }
    void Write(std::string_view name, const std::string& bytes) {
        std::ofstream(vx::OsdImagePath(m_dir, name), std::ios::binary) << bytes;
    }
    std::string m_dir;
};

// The window keeps decoded pictures between shows, yet a picture replaced on
// disk shows its new content and a removed one shows nothing.
TEST_F(BadPictures, ReplacedAndRemovedPicturesShowAsTheyAreNow) {
    vx::CVXSysOSD osd(m_dir);
    ASSERT_TRUE(osd.Create()) << GetLastError();
    auto shownWidth = [&] {
        osd.UpdateOSD({vx::kOsdDevice, -1, 1, 0});
        RECT rect = {};
        GetWindowRect(osd.Hwnd(), &rect);
        return rect.right - rect.left;
    };
    const Picture icon = Decode(vx::OsdImagePath(m_dir, vx::DeviceIconFile(1)));
    const std::string otherPath = PicturePath(vx::LevelBarImageFiles(vx::kLevelVolume).base);
    const Picture other = Decode(otherPath);
    ASSERT_GT(icon.width, 0);
    ASSERT_NE(other.width, icon.width);
    EXPECT_EQ(shownWidth(), icon.width);
    EXPECT_EQ(shownWidth(), icon.width);  // the second show from the kept picture
    std::ifstream in(otherPath, std::ios::binary);
    Write(vx::DeviceIconFile(1), std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_EQ(shownWidth(), other.width);
    ASSERT_TRUE(DeleteFileA(vx::OsdImagePath(m_dir, vx::DeviceIconFile(1)).c_str()));
    EXPECT_EQ(shownWidth(), 0);
}

TEST_F(BadPictures, ShowNothingAndLeakNothing) {
    const int badCodes[] = {2, 3, 4, 5, 6, 9};
    for (int code : badCodes)
        EXPECT_EQ(vx::LoadOsdPictures(m_dir, {vx::kOsdDevice, -1, code, 0}).single, nullptr) << code;

    // The file is closed again once loaded: it opens without sharing at once.
    {
        auto image = vx::LoadOsdImage(vx::OsdImagePath(m_dir, vx::DeviceIconFile(1)));
        ASSERT_TRUE(image);
        vx::UniqueFile reopened(CreateFileA(vx::OsdImagePath(m_dir, vx::DeviceIconFile(1)).c_str(), GENERIC_READ, 0,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(reopened.Valid());
    }

    vx::CVXSysOSD osd(m_dir);
    ASSERT_TRUE(osd.Create()) << GetLastError();
    // Committed private memory of the process, walked region by region.
    auto privateBytes = [] {
        SIZE_T total = 0;
        MEMORY_BASIC_INFORMATION info;
        for (const char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
             at = static_cast<const char*>(info.BaseAddress) + info.RegionSize)
            if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        return total;
    };
    auto cycle = [&] {
        for (int code : badCodes) {
            osd.UpdateOSD({vx::kOsdDevice, -1, 1, 0});
            RECT rect = {};
            GetWindowRect(osd.Hwnd(), &rect);
            ASSERT_GT(rect.right - rect.left, 0);
            // After a good picture, a bad one leaves the window without any area.
            osd.UpdateOSD({vx::kOsdDevice, -1, code, 0});
            GetWindowRect(osd.Hwnd(), &rect);
            ASSERT_EQ(rect.right - rect.left, 0) << code;
            ASSERT_EQ(rect.bottom - rect.top, 0) << code;
        }
    };
    for (int i = 0; i < 10; ++i) cycle();
    const SIZE_T before = privateBytes();
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 100; ++i) cycle();
    // 600 good pictures decoded (25 kB of pixels each): a leak of them would show.
    EXPECT_LT(privateBytes() - std::min(privateBytes(), before), SIZE_T(4) << 20);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore);
}

}  // namespace
