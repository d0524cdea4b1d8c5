#include "battery_gauge.h"

#include "text_convert.h"

#include <array>

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

int DrawBatteryGauge(Gdiplus::Graphics& g, int width, int height, const GaugeState& s, const GaugeTexts& texts) {
    const GaugeGeometry geo = ComputeGaugeGeometry(width, height);
    Rect outer = ToRect(geo.outer);
    Rect inner = ToRect(geo.inner);
    const int colourState = GaugeColourStateFor(s);
    const RingColours colours = RingColoursFor(colourState);

    const Rect ringBounds(24, 30, geo.w, geo.h + 10);
    Gdiplus::LinearGradientBrush ringBrush(ringBounds, ToColor(colours.full), ToColor(colours.half), 45.0f, TRUE);
    ringBrush.SetWrapMode(Gdiplus::WrapModeTile);
    Gdiplus::LinearGradientBrush topBrush(ringBounds, ToColor(colours.full), ToColor(colours.shade), 45.0f, TRUE);
    Gdiplus::SolidBrush greenText(Color(200, 0, 128, 0));
    Gdiplus::SolidBrush red(Color(150, 255, 0, 0));
    Gdiplus::SolidBrush blue(Color(150, 0, 0, 255));
    Gdiplus::SolidBrush grey(Color(50, 50, 50, 50));
    Gdiplus::Pen highlight(Color(100, 255, 255, 255), 1.0f);
    Gdiplus::Pen frame(Color(50, 0, 0, 0), 1.0f);
    Gdiplus::Pen criticalTick(Color(50, 255, 0, 0), 1.0f);
    Gdiplus::Pen lowTick(Color(50, 0, 0, 255), 1.0f);
    Gdiplus::FontFamily tahoma(L"Tahoma");
    const Gdiplus::FontFamily* family =
        tahoma.GetLastStatus() == Gdiplus::Ok ? &tahoma : Gdiplus::FontFamily::GenericSansSerif();
    GaugeFonts fonts(family);
    Gdiplus::StringFormat format(0, LANG_NEUTRAL);

    // Background.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    Gdiplus::SolidBrush faceBrush(Color(255, GetRValue(face), GetGValue(face), GetBValue(face)));
    g.FillRectangle(&faceBrush, 0, 0, width, height);

    // Alarm ticks on the base ellipse, enabled or not.
    const float criticalAngle = RimAngle(s.criticalLevel);
    const float lowAngle = RimAngle(s.lowLevel);
    {
        const GaugePoint c = EllipsePoint(ToGauge(outer), criticalAngle);
        g.DrawLine(&criticalTick, c.x, c.y, c.x, c.y - 15);
        const GaugePoint l = EllipsePoint(ToGauge(outer), lowAngle);
        g.DrawLine(&lowTick, l.x, l.y, l.x, l.y - 15);
    }

    const bool unknown = ChargeUnknown(s);
    if (unknown) {
        Gdiplus::LinearGradientBrush disk(outer, Color(200, 255, 255, 255), Color(50, 100, 100, 100), 45.0f, TRUE);
        for (int layer = 0; layer < 10; ++layer) {
            outer.Y -= 1;
            g.FillEllipse(&disk, outer);
        }
        g.DrawEllipse(&highlight, outer);
    } else {
        g.DrawEllipse(&frame, outer);
        if (s.percent > 0) {
            const float sweep = PercentAngle(s.percent);
            for (int layer = 0; layer < 10; ++layer) {
                Gdiplus::GraphicsPath ring;
                AddRing(ring, outer, inner, sweep);
                g.FillPath(&ringBrush, &ring);
                PointF last;
                if (ring.GetLastPoint(&last) == Gdiplus::Ok) DrawDot(g, highlight, last.X, last.Y);
                const GaugePoint co = EllipsePoint(ToGauge(outer), criticalAngle);
                const GaugePoint ci = EllipsePoint(ToGauge(inner), criticalAngle);
                DrawDot(g, highlight, static_cast<float>(co.x), static_cast<float>(co.y));
                DrawDot(g, highlight, static_cast<float>(ci.x), static_cast<float>(ci.y));
                DrawLevelRadials(g, highlight, outer, inner, s);
                if (s.percent == 100) DrawRadial(g, highlight, outer, inner, kRingStartAngle);
                outer.Y -= 1;
                inner.Y -= 1;
            }
            Gdiplus::GraphicsPath top;
            AddRing(top, outer, inner, sweep);
            g.FillPath(&topBrush, &top);
            g.DrawPath(&highlight, &top);
            DrawRadial(g, highlight, outer, inner, kRingStartAngle);
            DrawLevelRadials(g, highlight, outer, inner, s);
        }
    }

    // The charge in the middle.
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    const RectF centre(static_cast<float>(geo.centre.x), static_cast<float>(geo.centre.y - 13), 0, 0);
    if (unknown) {
        const std::wstring text = WideFromAnsi(texts.unknown.c_str());
        g.DrawString(text.c_str(), -1, &fonts.centre, centre, &format, &red);
    } else {
        const std::wstring text = CentrePercentText(s.percent);
        g.DrawString(text.c_str(), -1, &fonts.centre, centre, &format, &greenText);
    }
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);

    // Alarm markers and labels on the ellipse where it now is.
    const GaugePoint pc = EllipsePoint(ToGauge(outer), criticalAngle);
    const GaugePoint pl = EllipsePoint(ToGauge(outer), lowAngle);
    const LabelSides sides = ChooseLabelSides(pc, pl);
    const AlarmLabel critical{
        pc,
        WideFromAnsi(AlarmLabelText(texts.criticalAlarm, s.criticalEnabled, s.criticalLevel, texts.disabled).c_str()),
        s.criticalEnabled ? Color(200, 255, 0, 0) : Color(50, 50, 0, 0),
        s.criticalEnabled ? static_cast<Gdiplus::Brush*>(&red) : &grey,
        sides.criticalLeft};
    const AlarmLabel low{
        pl, WideFromAnsi(AlarmLabelText(texts.lowAlarm, s.lowEnabled, s.lowLevel, texts.disabled).c_str()),
        s.lowEnabled ? Color(200, 0, 0, 255) : Color(50, 50, 50, 50),
        s.lowEnabled ? static_cast<Gdiplus::Brush*>(&blue) : &grey, sides.lowLeft};
    DrawMarkerAndLabel(g, width, critical, fonts.label, format, frame);
    DrawMarkerAndLabel(g, width, low, fonts.label, format, frame);

    // Footer: the remaining time or the charging notice, in a small box
    // even when there is nothing to say.
    const std::wstring footer = WideFromAnsi(FooterText(s, texts).c_str());
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    RectF box = MeasureAt(g, footer, fonts.label, format, width / 2, height - 17, Gdiplus::StringAlignmentCenter);
    box.Inflate(2.0f, 2.0f);
    Gdiplus::LinearGradientBrush footerFill(box, Color(100, 200, 200, 200), Color(100, 255, 255, 255), 0.0f, FALSE);
    g.FillRectangle(&footerFill, box);
    g.DrawRectangle(&frame, box);
    box.Inflate(-2.0f, -2.0f);
    g.DrawString(footer.c_str(), -1, &fonts.label, box, &format, &blue);
    return colourState;
}

}  // namespace quillon
