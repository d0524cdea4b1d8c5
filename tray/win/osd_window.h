// The on-screen display window CVXSysOSD: a borderless layered pop-up that
// composes one picture (or the four of a level bar) with GDI+ and presents
// it with per-pixel alpha. The main window decides when it is visible.
#pragma once

#include "announcements.h"
#include "automation_notification.h"
#include "dialog_base.h"
#include "osd_layout.h"
#include "picture_cache.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class WindowAccessible;

namespace vx {

// GDI+ started for the owner's lifetime (version 1, no debug callback,
// background thread and external codecs not suppressed).
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool Started() const { return m_token != 0; }

private:
    ULONG_PTR m_token = 0;
};

// A decoded picture, shared between the cache and the request drawing it.
using OsdImage = std::shared_ptr<Gdiplus::Image>;
using OsdPictureCache = PictureCache<Gdiplus::Image>;
// What one OSD window may keep decoded: every shipped picture together takes
// about 1.5 MB (file bytes and 32-bit pixels), one window uses a part of them.
inline constexpr std::size_t kOsdPictureCacheBytes = 2 * 1024 * 1024;

// Reads the whole file into a movable memory block, closes the file, and
// decodes the picture from a stream that frees the block when released.
// Nothing (width and height 0) for a missing, unreadable, empty or corrupt file.
OsdImage LoadOsdImage(const std::string& path);
int ImageWidth(const OsdImage& image);
int ImageHeight(const OsdImage& image);

// The pictures of one request: `single` for kinds 1, 3 and 4, the other four
// for kind 5.
struct OsdPictures {
    OsdImage single, fill, base, cap, icon;
};
// With a cache, a picture whose file is unchanged since it was decoded is
// taken from it, and what is decoded is kept there; without one, every
// picture is read and decoded.
OsdPictures LoadOsdPictures(const std::string& imageDirectory, const OSDRequest& request,
                            OsdPictureCache* cache = nullptr);
// The size the window takes: the single picture's, or the base picture's for kind 5.
SIZE OsdPictureSize(int kind, const OsdPictures& pictures);

// A 32-bit top-down canvas in a memory device context: premultiplied BGRA,
// the bitmap handed to UpdateLayeredWindow.
class OsdCanvas {
public:
    OsdCanvas(HDC reference, int width, int height);
    ~OsdCanvas();
    OsdCanvas(const OsdCanvas&) = delete;
    OsdCanvas& operator=(const OsdCanvas&) = delete;

    bool Valid() const { return m_bits != nullptr; }
    HDC Dc() const { return m_dc; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Pixel (x, y) as 0xAARRGGBB, premultiplied.
    std::uint32_t Pixel(int x, int y) const { return m_bits[static_cast<std::size_t>(y) * m_width + x]; }
    std::uint32_t* Bits() const { return m_bits; }

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    std::uint32_t* m_bits = nullptr;
    int m_width = 0, m_height = 0;
};

// Draws the request's pictures on a canvas of their size (DrawOSD's
// composition). nullptr when there is no picture to draw.
std::unique_ptr<OsdCanvas> ComposeOsd(HDC reference, int kind, int level, int maximum, const OsdPictures& pictures);

class CVXSysOSD : public CDialogBase {
public:
    // The pictures are read from imageDirectory\Image\...; an empty directory
    // means the program's own, in short form, taken when the window is created.
    explicit CVXSysOSD(std::string imageDirectory = {});
    ~CVXSysOSD() override;

    // Created hidden from its dialog template, without a parent.
    HWND Create();

    // Takes the request's pictures (decoded once, while their files stay
    // unchanged), moves the window and draws it. A picture drawn is also
    // announced to accessibility clients as `spoken` (text in the code page
    // `codePage`, 0 for the system's) once no newer request has come for
    // half a second, if the window is still visible then.
    void UpdateOSD(const OSDRequest& request, const std::string& spoken = {}, unsigned codePage = 0);

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void PlaceOSD(int kind, int width, int height);
    bool DrawOSD(int kind, int level);
    void SpeakDue();

    BLENDFUNCTION m_blend = {};
    // Started by the first request, so a run that shows no OSD neither loads
    // nor starts GDI+; declared before the pictures, which are deleted first.
    std::optional<GdiplusSession> m_gdiplus;
    std::string m_imageDirectory;
    OsdPictureCache m_cache{kOsdPictureCacheBytes};
    OsdPictures m_pictures;
    int m_maximum = 0;
    // What the window says: its accessible object (an alert), the text
    // waiting for its burst to settle, and UI Automation's notification,
    // bound at the first announcement.
    WindowAccessible* m_accessible = nullptr;
    SpeechDebounce m_speech;
    unsigned m_speechCodePage = 0;
    std::optional<AutomationNotification> m_notification;
};

// True when a program other than the desktop covers the primary monitor in
// the foreground without being maximised: OSD requests are then ignored.
bool IsFullScreenForeground(HWND mainWindow);

}  // namespace vx
