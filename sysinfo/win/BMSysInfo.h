// CBMSysInfo: the viewer's information dialog (template 150). The battery
// gauge on the left, memory and disk usage bars and four read-only texts
// on the right; refreshed every 2 seconds, always on top, closed only by
// OK or the close box.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <functional>
#include <memory>
#include <string>

#include "accessible_overlay.h"
#include "battery_gauge.h"
#include "dialog_rules.h"
#include "drawn_controls.h"

// Refresh request: wParam 0 the gauge, 1 memory, disk and texts, 2 all.
inline constexpr UINT WM_SYSINFO_REFRESH = WM_USER + 25;

class CBMSysInfo {
public:
    explicit CBMSysInfo(quillon::Brand brand);
    ~CBMSysInfo();
    CBMSysInfo(const CBMSysInfo&) = delete;
    CBMSysInfo& operator=(const CBMSysInfo&) = delete;

    // Runs the dialog modally; returns IDOK, or -1 when it could not be made.
    INT_PTR DoModal(HWND parent = nullptr);
    HWND Hwnd() const { return m_hWnd; }

    // Texts shown in the edit fields; set before the dialog runs.
    std::string m_strECVersion;
    std::string m_strBIOSVersion;
    std::string m_strProcessor;
    std::string m_strVideoController;
    // Called once at the end of the initialisation, before the dialog shows,
    // to fill the four texts above, which are then pushed: they may be
    // gathered while the dialog builds itself.
    std::function<void()> m_gatherTexts;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Returns true when the message was handled, its result in `result`.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    BOOL OnInitDialog();
    void OnTimer();
    void OnRefresh(WPARAM what);
    void OnPaint();
    void OnDestroy();

    void ReadPower();
    void DrawGauge();
    void UpdateMemoryAndDisk();
    void InvalidateAll();
    void PushTexts();
    void ReleaseGaugeImage();
    void ShutdownGdiplus();

    HWND m_hWnd = nullptr;
    quillon::Brand m_brand;

    RECT m_gaugeArea{};
    bool m_initialised = false;
    // Battery percent 10, remaining 7708 s, both alarms on at 10 and 0 %,
    // charge stop at 100 % until the first power read.
    quillon::GaugeState m_battery;
    // The gauge's image, drawn at each refresh and painted by OnPaint.
    quillon::BatteryGauge m_gauge;
    // What accessibility clients find where the gauge is drawn: its caption
    // and its value, told again only when the value changed.
    AccessibleOverlay m_gaugeReader;
    quillon::ToldValue m_gaugeToldValue;
    int m_gaugeColourState = quillon::kStateNormal;
    ULONG_PTR m_gdiplusToken = 0;
    HICON m_icon = nullptr;
    HFONT m_barFont = nullptr;

    quillon::CDolStatic m_ecLabel, m_biosLabel, m_processorLabel, m_videoLabel;
    quillon::CTextProgressCtrl m_memoryBar, m_diskBar;
    quillon::GaugeTexts m_gaugeTexts;

    HMODULE m_powrprof = nullptr;
};
