#include "battery_gauge.h"

#include "text_convert.h"

#include <array>
#include <cstring>
#include <optional>
#include <utility>

namespace quillon {

namespace {

using Gdiplus::Color;
using Gdiplus::PointF;
using Gdiplus::Rect;
using Gdiplus::RectF;

Rect ToRect(const GaugeRect& r) {
    return Rect(r.left, r.top, r.width, r.height);
}
GaugeRect ToGauge(const Rect& r) {
    return {r.X, r.Y, r.Width, r.Height};
}
Color ToColor(Argb c) {
    return Color(c.a, c.r, c.g, c.b);
}

// One string of a string table block in a given language, as UTF-16.
std::wstring LoadStringIn(HINSTANCE module, unsigned id, LANGID language) {
    HRSRC found = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING),
                                  MAKEINTRESOURCEW((id >> 4) + 1), language);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const auto* p = static_cast<const WCHAR*>(LockResource(loaded));
    if (!p) return {};
    // A block holds 16 counted strings; walk to ours without leaving it.
    const WCHAR* end = p + size / sizeof(WCHAR);
    for (unsigned i = 0; i < (id & 15u); ++i) {
        if (p >= end) return {};
        p += 1 + *p;
    }
    if (p >= end || p + 1 + *p > end) return {};
    return std::wstring(p + 1, *p);
}

std::string NarrowString(HINSTANCE module, unsigned id, LANGID language) {
    const std::wstring wide = LoadStringIn(module, id, language);
    return AnsiFromWide(wide.c_str(), static_cast<int>(wide.size()));
}

// Drawing objects that live for one drawing.
struct GaugeFonts {
    explicit GaugeFonts(const Gdiplus::FontFamily* family)
        : label(family, 8.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint),
          centre(family, 10.0f, Gdiplus::FontStyleBold, Gdiplus::UnitPoint) {}
    Gdiplus::Font label;
    Gdiplus::Font centre;
};

void DrawDot(Gdiplus::Graphics& g, Gdiplus::Pen& pen, float x, float y) {
    g.DrawLine(&pen, x, y, x, y - 1.0f);
}

void DrawRadial(Gdiplus::Graphics& g, Gdiplus::Pen& pen, const Rect& outer, const Rect& inner, float angle) {
    const GaugePoint a = EllipsePoint(ToGauge(outer), angle);
    const GaugePoint b = EllipsePoint(ToGauge(inner), angle);
    g.DrawLine(&pen, a.x, a.y, b.x, b.y);
}

void AddRing(Gdiplus::GraphicsPath& path, const Rect& outer, const Rect& inner, float sweep) {
    path.AddArc(outer, kRingStartAngle, sweep);
    path.AddArc(inner, sweep + kRingStartAngle, -sweep);
}

// Radial lines at the alarm levels that lie inside the filled part.
void DrawLevelRadials(Gdiplus::Graphics& g, Gdiplus::Pen& pen, const Rect& outer, const Rect& inner,
                      const GaugeState& s) {
    if (0 < s.criticalLevel && s.criticalLevel < s.percent)
        DrawRadial(g, pen, outer, inner, RimAngle(s.criticalLevel));
    if (0 < s.lowLevel && s.lowLevel < s.percent) DrawRadial(g, pen, outer, inner, RimAngle(s.lowLevel));
}

// The box a text takes when drawn from an origin with a zero-size layout
// rectangle: it ends at the origin for far alignment, is centred on it for
// centre alignment, starts at it otherwise. Only the measured size is used,
// so the box does not depend on where the measurement places it.
RectF MeasureAt(Gdiplus::Graphics& g, const std::wstring& text, const Gdiplus::Font& font,
                const Gdiplus::StringFormat& format, float x, float y, Gdiplus::StringAlignment alignment) {
    RectF measured;
    if (g.MeasureString(text.c_str(), -1, &font, RectF(x, y, 0, 0), &format, &measured) != Gdiplus::Ok)
        measured = RectF();
    float left = x;
    if (alignment == Gdiplus::StringAlignmentFar) left = x - measured.Width;
    if (alignment == Gdiplus::StringAlignmentCenter) left = x - measured.Width / 2;
    return RectF(left, y, measured.Width, measured.Height);
}
RectF MeasureAt(Gdiplus::Graphics& g, const std::wstring& text, const Gdiplus::Font& font,
                const Gdiplus::StringFormat& format, int x, int y, Gdiplus::StringAlignment alignment) {
    return MeasureAt(g, text, font, format, static_cast<float>(x), static_cast<float>(y), alignment);
}

struct AlarmLabel {
    GaugePoint marker;
    std::wstring text;
    Color markerColour;
    Gdiplus::Brush* textBrush;
    bool extendsLeft;
};

void DrawMarkerAndLabel(Gdiplus::Graphics& g, int width, const AlarmLabel& label, Gdiplus::Font& font,
                        Gdiplus::StringFormat& format, Gdiplus::Pen& frame) {
    const GaugePoint p = label.marker;
    Gdiplus::LinearGradientBrush markerBrush(Rect(p.x - 8, p.y - 18, 16, 16), label.markerColour,
                                             Color(50, 200, 200, 200), -130.0f, TRUE);
    g.FillEllipse(&markerBrush, p.x - 5, p.y - 15, 10, 10);

    format.SetAlignment(label.extendsLeft ? Gdiplus::StringAlignmentFar : Gdiplus::StringAlignmentNear);
    const GaugePoint origin = LabelOrigin(p, label.extendsLeft);
    const RectF measured = MeasureAt(g, label.text, font, format, origin.x, origin.y,
                                     label.extendsLeft ? Gdiplus::StringAlignmentFar : Gdiplus::StringAlignmentNear);
    const LabelBox box =
        PullLabelIn({measured.X, measured.Y, measured.Width, measured.Height}, label.extendsLeft, p, width);
    const RectF r(box.left, box.top, box.width, box.height);
    Gdiplus::LinearGradientBrush fill(r, Color(200, 255, 255, 150), Color(200, 255, 255, 255), 0.0f, FALSE);
    g.FillRectangle(&fill, r);
    g.DrawRectangle(&frame, r);
    g.DrawString(label.text.c_str(), -1, &font, r, &format, label.textBrush);
}

}  // namespace

GaugeTexts LoadGaugeTexts(HINSTANCE module, LANGID language) {
    GaugeTexts t;
    const std::array<std::pair<unsigned, std::string*>, 12> ids = {{
        {kStrRemainingPrefix, &t.remainingPrefix},
        {kStrDisabled, &t.disabled},
        {kStrCharging, &t.charging},
        {kStrUnknown, &t.unknown},
        {kStrSec, &t.sec},
        {kStrSecs, &t.secs},
        {kStrMin, &t.min},
        {kStrMins, &t.mins},
        {kStrHour, &t.hour},
        {kStrHours, &t.hours},
        {kStrLowAlarm, &t.lowAlarm},
        {kStrCriticalAlarm, &t.criticalAlarm},
    }};
    for (const auto& [id, text] : ids) *text = NarrowString(module, id, language);
    return t;
}

GaugePoint EllipsePoint(const GaugeRect& bounds, float angle) {
    Gdiplus::GraphicsPath path;
    path.AddArc(ToRect(bounds), 0.0f, angle);
    PointF last;
    // An arc that sweeps nothing may add no point: it ends where it starts,
    // at the bounds' right end.
    if (path.GetPointCount() <= 0 || path.GetLastPoint(&last) != Gdiplus::Ok)
        return {bounds.left + bounds.width, bounds.top + bounds.height / 2};
    return {static_cast<int>(last.X), static_cast<int>(last.Y)};
}

namespace {

// The drawing objects of one gauge drawing and its layers, each drawn over
// the ones before it in this order:
//  1. still:  background, alarm ticks on the base ellipse, and either the
//             base outline or, for an unknown charge, the raised grey disk;
//  2. charge: the ring filled to the charge and the centre text;
//  3. labels: alarm markers and their labels on the raised rim;
//  4. footer: the remaining time or the charging notice.
// The still layer depends on the size, the button face colour, the alarm
// levels and whether the charge is known; the charge and label layers add
// the charge, the alarms' switches and the label texts; only the footer
// depends on the charging flag and the remaining time. The ellipse is
// raised by ten pixels for the labels once a ring or disk was drawn.
class GaugeLayers {
public:
    GaugeLayers(int width, int height, const GaugeState& s, const GaugeTexts& texts)
        : width_(width),
          height_(height),
          s_(s),
          texts_(texts),
          geo_(ComputeGaugeGeometry(width, height)),
          outer_(ToRect(geo_.outer)),
          inner_(ToRect(geo_.inner)),
          colourState_(GaugeColourStateFor(s)),
          colours_(RingColoursFor(colourState_)),
          unknown_(ChargeUnknown(s)),
          criticalAngle_(RimAngle(s.criticalLevel)),
          lowAngle_(RimAngle(s.lowLevel)),
          tahoma_(L"Tahoma"),
          fonts_(tahoma_.GetLastStatus() == Gdiplus::Ok ? &tahoma_ : Gdiplus::FontFamily::GenericSansSerif()),
          format_(0, LANG_NEUTRAL) {}

    int ColourState() const { return colourState_; }

    void DrawStill(Gdiplus::Graphics& g) {
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        Gdiplus::SolidBrush faceBrush(Color(255, GetRValue(face), GetGValue(face), GetBValue(face)));
        g.FillRectangle(&faceBrush, 0, 0, width_, height_);

        // Alarm ticks on the base ellipse, enabled or not.
        Gdiplus::Pen criticalTick(Color(50, 255, 0, 0), 1.0f);
        Gdiplus::Pen lowTick(Color(50, 0, 0, 255), 1.0f);
        const GaugePoint c = EllipsePoint(ToGauge(outer_), criticalAngle_);
        g.DrawLine(&criticalTick, c.x, c.y, c.x, c.y - 15);
        const GaugePoint l = EllipsePoint(ToGauge(outer_), lowAngle_);
        g.DrawLine(&lowTick, l.x, l.y, l.x, l.y - 15);

        if (unknown_) {
            Rect outer = outer_;
            Gdiplus::LinearGradientBrush disk(outer, Color(200, 255, 255, 255), Color(50, 100, 100, 100), 45.0f,
                                              TRUE);
            for (int layer = 0; layer < 10; ++layer) {
                outer.Y -= 1;
                g.FillEllipse(&disk, outer);
            }
            g.DrawEllipse(&highlight_, outer);
        } else {
            g.DrawEllipse(&frame_, outer_);
        }
    }

    void DrawCharge(Gdiplus::Graphics& g) {
        if (!unknown_ && s_.percent > 0) DrawRing(g);

        // The charge in the middle.
        g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
        format_.SetAlignment(Gdiplus::StringAlignmentCenter);
        const RectF centre(static_cast<float>(geo_.centre.x), static_cast<float>(geo_.centre.y - 13), 0, 0);
        if (unknown_) {
            const std::wstring text = WideFromAnsi(texts_.unknown.c_str());
            g.DrawString(text.c_str(), -1, &fonts_.centre, centre, &format_, &red_);
        } else {
            const std::wstring text = CentrePercentText(s_.percent);
            Gdiplus::SolidBrush greenText(Color(200, 0, 128, 0));
            g.DrawString(text.c_str(), -1, &fonts_.centre, centre, &format_, &greenText);
        }
        g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    }

    // Alarm markers and labels on the ellipse where it now is.
    void DrawLabels(Gdiplus::Graphics& g) {
        g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
        Rect outer = outer_;
        if (unknown_ || s_.percent > 0) outer.Y -= 10;
        const GaugePoint pc = EllipsePoint(ToGauge(outer), criticalAngle_);
        const GaugePoint pl = EllipsePoint(ToGauge(outer), lowAngle_);
        const LabelSides sides = ChooseLabelSides(pc, pl);
        Gdiplus::SolidBrush grey(Color(50, 50, 50, 50));
        const AlarmLabel critical{pc,
                                  WideFromAnsi(AlarmLabelText(texts_.criticalAlarm, s_.criticalEnabled,
                                                              s_.criticalLevel, texts_.disabled)
                                                   .c_str()),
                                  s_.criticalEnabled ? Color(200, 255, 0, 0) : Color(50, 50, 0, 0),
                                  s_.criticalEnabled ? static_cast<Gdiplus::Brush*>(&red_) : &grey,
                                  sides.criticalLeft};
        const AlarmLabel low{
            pl, WideFromAnsi(AlarmLabelText(texts_.lowAlarm, s_.lowEnabled, s_.lowLevel, texts_.disabled).c_str()),
            s_.lowEnabled ? Color(200, 0, 0, 255) : Color(50, 50, 50, 50),
            s_.lowEnabled ? static_cast<Gdiplus::Brush*>(&blue_) : &grey, sides.lowLeft};
        DrawMarkerAndLabel(g, width_, critical, fonts_.label, format_, frame_);
        DrawMarkerAndLabel(g, width_, low, fonts_.label, format_, frame_);
    }

    // The remaining time or the charging notice, in a small box even when
    // there is nothing to say.
    void DrawFooter(Gdiplus::Graphics& g) {
        g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
        const std::wstring footer = WideFromAnsi(FooterText(s_, texts_).c_str());
        format_.SetAlignment(Gdiplus::StringAlignmentCenter);
        RectF box =
            MeasureAt(g, footer, fonts_.label, format_, width_ / 2, height_ - 17, Gdiplus::StringAlignmentCenter);
        box.Inflate(2.0f, 2.0f);
        Gdiplus::LinearGradientBrush footerFill(box, Color(100, 200, 200, 200), Color(100, 255, 255, 255), 0.0f,
                                                FALSE);
        g.FillRectangle(&footerFill, box);
        g.DrawRectangle(&frame_, box);
        box.Inflate(-2.0f, -2.0f);
        g.DrawString(footer.c_str(), -1, &fonts_.label, box, &format_, &blue_);
    }

private:
    void DrawRing(Gdiplus::Graphics& g) {
        const Rect ringBounds(24, 30, geo_.w, geo_.h + 10);
        Gdiplus::LinearGradientBrush ringBrush(ringBounds, ToColor(colours_.full), ToColor(colours_.half), 45.0f,
                                               TRUE);
        ringBrush.SetWrapMode(Gdiplus::WrapModeTile);
        Gdiplus::LinearGradientBrush topBrush(ringBounds, ToColor(colours_.full), ToColor(colours_.shade), 45.0f,
                                              TRUE);
        Rect outer = outer_;
        Rect inner = inner_;
        const float sweep = PercentAngle(s_.percent);
        for (int layer = 0; layer < 10; ++layer) {
            Gdiplus::GraphicsPath ring;
            AddRing(ring, outer, inner, sweep);
            g.FillPath(&ringBrush, &ring);
            PointF last;
            if (ring.GetLastPoint(&last) == Gdiplus::Ok) DrawDot(g, highlight_, last.X, last.Y);
            const GaugePoint co = EllipsePoint(ToGauge(outer), criticalAngle_);
            const GaugePoint ci = EllipsePoint(ToGauge(inner), criticalAngle_);
            DrawDot(g, highlight_, static_cast<float>(co.x), static_cast<float>(co.y));
            DrawDot(g, highlight_, static_cast<float>(ci.x), static_cast<float>(ci.y));
            DrawLevelRadials(g, highlight_, outer, inner, s_);
            if (s_.percent == 100) DrawRadial(g, highlight_, outer, inner, kRingStartAngle);
            outer.Y -= 1;
            inner.Y -= 1;
        }
        Gdiplus::GraphicsPath top;
        AddRing(top, outer, inner, sweep);
        g.FillPath(&topBrush, &top);
        g.DrawPath(&highlight_, &top);
        DrawRadial(g, highlight_, outer, inner, kRingStartAngle);
        DrawLevelRadials(g, highlight_, outer, inner, s_);
    }

    const int width_, height_;
    const GaugeState& s_;
    const GaugeTexts& texts_;
    const GaugeGeometry geo_;
    const Rect outer_, inner_;  // at the base
    const int colourState_;
    const RingColours colours_;
    const bool unknown_;
    const float criticalAngle_, lowAngle_;
    Gdiplus::SolidBrush red_{Color(150, 255, 0, 0)};
    Gdiplus::SolidBrush blue_{Color(150, 0, 0, 255)};
    Gdiplus::Pen highlight_{Color(100, 255, 255, 255), 1.0f};
    Gdiplus::Pen frame_{Color(50, 0, 0, 0), 1.0f};
    Gdiplus::FontFamily tahoma_;
    GaugeFonts fonts_;
    Gdiplus::StringFormat format_;
};

}  // namespace

int DrawBatteryGauge(Gdiplus::Graphics& g, int width, int height, const GaugeState& s, const GaugeTexts& texts) {
    GaugeLayers layers(width, height, s, texts);
    layers.DrawStill(g);
    layers.DrawCharge(g);
    layers.DrawLabels(g);
    layers.DrawFooter(g);
    return layers.ColourState();
}

namespace {

// What the still layer depends on.
struct StillKey {
    int width, height;
    COLORREF face;
    int criticalLevel, lowLevel;
    bool unknown;
    bool operator==(const StillKey&) const = default;
};
// What every layer but the footer depends on.
struct ChargedKey {
    StillKey still;
    int percent;
    bool criticalEnabled, lowEnabled;
    std::string unknownText, criticalAlarm, lowAlarm, disabled;
    bool operator==(const ChargedKey&) const = default;
};
// What the whole image depends on.
struct FrameKey {
    ChargedKey charged;
    std::string footer;
    bool operator==(const FrameKey&) const = default;
};

// Copies every pixel of one 32 bpp ARGB image into another of the same
// size, unchanged: no scaling, no blending, no format conversion.
bool CopyPixels(Gdiplus::Bitmap& from, Gdiplus::Bitmap& to) {
    const UINT width = from.GetWidth(), height = from.GetHeight();
    if (to.GetWidth() != width || to.GetHeight() != height) return false;
    Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData source{}, target{};
    if (from.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &source) != Gdiplus::Ok) return false;
    if (to.LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &target) != Gdiplus::Ok) {
        from.UnlockBits(&source);
        return false;
    }
    for (UINT y = 0; y < height; ++y)
        std::memcpy(static_cast<BYTE*>(target.Scan0) + static_cast<INT_PTR>(y) * target.Stride,
                    static_cast<const BYTE*>(source.Scan0) + static_cast<INT_PTR>(y) * source.Stride,
                    static_cast<std::size_t>(width) * 4);
    to.UnlockBits(&target);
    from.UnlockBits(&source);
    return true;
}

// A copy of the gauge's image after some layers, and the inputs it was
// drawn from.
template <class Key>
struct Snapshot {
    std::optional<Key> key;
    std::unique_ptr<Gdiplus::Bitmap> pixels;

    bool RestoreInto(Gdiplus::Bitmap& frame, const Key& wanted) const {
        return key && *key == wanted && pixels && CopyPixels(*pixels, frame);
    }
    void Save(Gdiplus::Bitmap& frame, const Key& drawn) {
        key.reset();
        if (!pixels || pixels->GetWidth() != frame.GetWidth() || pixels->GetHeight() != frame.GetHeight()) {
            pixels = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(frame.GetWidth()),
                                                       static_cast<INT>(frame.GetHeight()), PixelFormat32bppARGB);
            if (pixels->GetLastStatus() != Gdiplus::Ok) {
                pixels.reset();
                return;
            }
        }
        if (CopyPixels(frame, *pixels)) key = drawn;
    }
};

}  // namespace

struct BatteryGauge::Cache {
    int width = 0, height = 0;
    std::unique_ptr<Gdiplus::Bitmap> frame;
    std::unique_ptr<Gdiplus::Graphics> graphics;
    Snapshot<StillKey> still;
    Snapshot<ChargedKey> charged;
    std::optional<FrameKey> shown;  // what the image holds
};

BatteryGauge::BatteryGauge() = default;
BatteryGauge::~BatteryGauge() = default;

void BatteryGauge::Release() {
    cache_.reset();
}

Gdiplus::Bitmap* BatteryGauge::Image() const {
    return cache_ ? cache_->frame.get() : nullptr;
}

int BatteryGauge::Draw(int width, int height, const GaugeState& s, const GaugeTexts& texts) {
    if (!cache_ || cache_->width != width || cache_->height != height) {
        // A new size: a new image; the snapshots of the old size stay
        // unused until they are drawn anew.
        if (!cache_) cache_ = std::make_unique<Cache>();
        cache_->graphics.reset();
        cache_->frame = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
        cache_->width = width;
        cache_->height = height;
        if (cache_->frame->GetLastStatus() == Gdiplus::Ok) {
            cache_->graphics = std::make_unique<Gdiplus::Graphics>(cache_->frame.get());
            if (cache_->graphics->GetLastStatus() == Gdiplus::Ok)
                cache_->graphics->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
            else
                cache_->graphics.reset();
        }
        if (!cache_->graphics) cache_->frame.reset();
        cache_->shown.reset();
    }
    if (!cache_->graphics) return GaugeColourStateFor(s);
    Gdiplus::Graphics& g = *cache_->graphics;
    Gdiplus::Bitmap& frame = *cache_->frame;

    const StillKey still{width, height, GetSysColor(COLOR_BTNFACE), s.criticalLevel, s.lowLevel, ChargeUnknown(s)};
    const ChargedKey charged{still,       s.percent,          s.criticalEnabled, s.lowEnabled,
                             texts.unknown, texts.criticalAlarm, texts.lowAlarm,    texts.disabled};
    FrameKey shown{charged, FooterText(s, texts)};
    if (cache_->shown == shown) return GaugeColourStateFor(s);
    cache_->shown.reset();
    GaugeLayers layers(width, height, s, texts);
    // Pending drawing reaches the image before its pixels are copied.
    g.Flush(Gdiplus::FlushIntentionSync);
    if (!cache_->charged.RestoreInto(frame, charged)) {
        if (!cache_->still.RestoreInto(frame, still)) {
            layers.DrawStill(g);
            g.Flush(Gdiplus::FlushIntentionSync);
            cache_->still.Save(frame, still);
        }
        layers.DrawCharge(g);
        layers.DrawLabels(g);
        g.Flush(Gdiplus::FlushIntentionSync);
        cache_->charged.Save(frame, charged);
    }
    layers.DrawFooter(g);
    g.Flush(Gdiplus::FlushIntentionSync);
    cache_->shown = std::move(shown);
    return layers.ColourState();
}

}  // namespace quillon
