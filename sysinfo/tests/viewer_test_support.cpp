#include "viewer_test_support.h"

namespace quillontest {

bool StartGdiplus() {
    static const bool started = [] {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

Rgb GaugeImage::At(int x, int y) const {
    Gdiplus::Color c;
    if (!bitmap || x < 0 || y < 0 || x >= width || y >= height || bitmap->GetPixel(x, y, &c) != Gdiplus::Ok)
        return {-1, -1, -1};
    return {c.GetR(), c.GetG(), c.GetB()};
}

GaugeImage RenderGauge(const quillon::GaugeState& state, const quillon::GaugeTexts& texts, int width, int height) {
    GaugeImage image;
    if (!StartGdiplus()) return image;
    image.bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    image.width = width;
    image.height = height;
    Gdiplus::Graphics g(image.bitmap.get());
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    image.colourState = quillon::DrawBatteryGauge(g, width, height, state, texts);
    g.Flush(Gdiplus::FlushIntentionSync);
    return image;
}

bool SavePng(Gdiplus::Image& image, const std::wstring& path) {
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<unsigned char> buffer(bytes);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, encoders) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(encoders[i].MimeType) == L"image/png")
            return image.Save(path.c_str(), &encoders[i].Clsid, nullptr) == Gdiplus::Ok;
    }
    return false;
}

}  // namespace quillontest
