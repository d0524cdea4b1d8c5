#include "BMSysInfo.h"

#include <powrprof.h>

#include <optional>
#include <string>

#include "code_page_text.h"
#include "resource.h"
#include "system_library.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 2000;

// The language the system's resource lookup picks for this program's
// tables: Korean on a Korean user interface, English otherwise.
LANGID ResourceLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_KOREAN ? MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN)
                                                                     : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

using ReadGlobalPwrPolicyFn = BOOLEAN(WINAPI*)(PGLOBAL_POWER_POLICY);

std::optional<quillon::DiskSpace> SystemDiskSpace() {
    char directory[MAX_PATH] = {};
    if (!GetSystemDirectoryA(directory, MAX_PATH)) return std::nullopt;
    ULARGE_INTEGER available{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExA(directory, &available, &total, &totalFree)) return std::nullopt;
    return quillon::DiskSpace{total.QuadPart, totalFree.QuadPart};
}

int MemoryLoad() {
    MEMORYSTATUS basic{};
    basic.dwLength = sizeof basic;
    GlobalMemoryStatus(&basic);
    MEMORYSTATUSEX extended{};
    extended.dwLength = sizeof extended;
    std::optional<std::uint32_t> extendedLoad;
    if (GlobalMemoryStatusEx(&extended)) extendedLoad = extended.dwMemoryLoad;
    return quillon::MemoryLoadPercent(extendedLoad, basic.dwMemoryLoad);
}

// A control's text as UTF-16.
std::wstring WideText(HWND control) {
    const int length = control ? GetWindowTextLengthW(control) : 0;
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return text;
}

// The window's id of the gauge's accessible stand-in, beside the template's.
constexpr int kGaugeReaderId = 1100;

void ShowBar(quillon::CTextProgressCtrl& bar, const quillon::BarState& state) {
    bar.SetPos(state.position);
    SendMessageA(bar.hwnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(state.text.c_str()));
}

}  // namespace

CBMSysInfo::CBMSysInfo(quillon::Brand brand) : m_brand(brand) {
    m_barFont = CreateFontA(-12, 0, 0, 900, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "Tahoma");
    m_icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SYSINFO));
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, background thread, external codecs
    if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Gdiplus::Ok) m_gdiplusToken = 0;
}

CBMSysInfo::~CBMSysInfo() {
    // The window normally released these when it was destroyed; a dialog
    // that never ran still holds them.
    ReleaseGaugeImage();
    ShutdownGdiplus();
    if (m_powrprof) FreeLibrary(m_powrprof);
    if (m_barFont) DeleteObject(m_barFont);
}

INT_PTR CBMSysInfo::DoModal(HWND parent) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SYSINFO), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CBMSysInfo::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        reinterpret_cast<CBMSysInfo*>(lParam)->m_hWnd = hwnd;
    }
    auto* self = reinterpret_cast<CBMSysInfo*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_INITDIALOG) return self->OnInitDialog();
    LRESULT result = 0;
    const bool handled = self->OnMessage(message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    if (!handled) return FALSE;
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool CBMSysInfo::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_TIMER:
        OnTimer();
        return false;  // then the default processing
    case WM_SYSINFO_REFRESH:
        OnRefresh(wParam);
        result = 0;
        return true;
    case WM_PAINT:
        OnPaint();
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            EndDialog(m_hWnd, IDOK);
            return true;
        case IDCANCEL:  // Escape: the dialog stays open
            return true;
        }
        return false;
    case WM_CLOSE:  // the close box
        EndDialog(m_hWnd, IDOK);
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false;
    }
    return false;
}

BOOL CBMSysInfo::OnInitDialog() {
    m_ecLabel.Attach(GetDlgItem(m_hWnd, IDC_EC_LABEL));
    m_biosLabel.Attach(GetDlgItem(m_hWnd, IDC_BIOS_LABEL));
    m_processorLabel.Attach(GetDlgItem(m_hWnd, IDC_PROCESSOR_LABEL));
    m_videoLabel.Attach(GetDlgItem(m_hWnd, IDC_VIDEO_LABEL));
    m_gaugeTexts = quillon::LoadGaugeTexts(GetModuleHandleA(nullptr), ResourceLanguage());

    GetWindowRect(GetDlgItem(m_hWnd, IDC_GAUGE_AREA), &m_gaugeArea);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&m_gaugeArea), 2);

    struct BarLook {
        quillon::CTextProgressCtrl& bar;
        int id;
        COLORREF bar_, background, textOverBackground, textOverBar;
    } bars[] = {
        {m_memoryBar, IDC_MEMORY_BAR, RGB(0, 0, 255), RGB(200, 200, 255), RGB(0, 0, 255), RGB(255, 255, 255)},
        {m_diskBar, IDC_DISK_BAR, RGB(0, 200, 0), RGB(200, 255, 200), RGB(0, 200, 0), RGB(255, 255, 255)},
    };
    for (BarLook& look : bars) {
        look.bar.Attach(GetDlgItem(m_hWnd, look.id));
        // Named by the label that stands before it, in the dialog's language.
        look.bar.SetAccessibleName(WideText(GetWindow(look.bar.hwnd(), GW_HWNDPREV)));
        look.bar.SetRange(0, 100);
        look.bar.SetFont(m_barFont);
        look.bar.SetBarColor(look.bar_);
        look.bar.SetBgColor(look.background);
        look.bar.SetTextColorOverBackground(look.textOverBackground);
        look.bar.SetTextColorOverBar(look.textOverBar);
    }

    quillon::CDolStatic* labels[] = {&m_ecLabel, &m_biosLabel, &m_processorLabel, &m_videoLabel};
    const char* labelTexts[] = {"EC Firmware Version", "System BIOS Version", "Processor", "Video Controller"};
    for (int i = 0; i < 4; ++i) {
        labels[i]->SetTextColor(RGB(0, 0, 255));
        labels[i]->SetText(labelTexts[i]);
    }

    const HWND gaugeCaption = GetDlgItem(m_hWnd, IDC_GAUGE_CAPTION);
    if (m_gaugeReader.Create(m_hWnd, m_gaugeArea, ROLE_SYSTEM_PROGRESSBAR, kGaugeReaderId, gaugeCaption))
        m_gaugeReader.SetName(WideText(gaugeCaption));

    m_gaugeColourState = quillon::kStateNormal;
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));

    // Nothing of the dialog is seen before this initialisation returns, and
    // each gauge drawing fills the whole image: the gauge is drawn, the bars
    // updated and the texts pushed once, at the end, after the power read.
    m_initialised = true;
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    if (m_brand == quillon::Brand::ZEL) {
        // No EC firmware field: the BIOS field takes its width as well.
        HWND ecField = GetDlgItem(m_hWnd, IDC_EC_VERSION);
        HWND biosField = GetDlgItem(m_hWnd, IDC_BIOS_VERSION);
        ShowWindow(GetDlgItem(m_hWnd, IDC_EC_LABEL), SW_HIDE);
        ShowWindow(ecField, SW_HIDE);
        RECT bios{}, ec{};
        GetWindowRect(biosField, &bios);
        GetWindowRect(ecField, &ec);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&bios), 2);
        MoveWindow(biosField, bios.left, bios.top, (bios.right - bios.left) + (ec.right - ec.left),
                   bios.bottom - bios.top, FALSE);
    }

    m_powrprof = LoadSystemLibrary("powrprof.dll");
    ReadPower();
    SetTimer(m_hWnd, kRefreshTimer, kRefreshMs, nullptr);
    OnRefresh(2);
    // The texts gathered meanwhile replace the ones just pushed.
    if (m_gatherTexts) {
        m_gatherTexts();
        PushTexts();
    }
    return TRUE;
}

void CBMSysInfo::OnTimer() {
    ReadPower();
    if (m_initialised) OnRefresh(2);
}

void CBMSysInfo::OnRefresh(WPARAM what) {
    if (!m_initialised || what > 2) return;
    if (what != 1) DrawGauge();
    if (what != 0) UpdateMemoryAndDisk();
    if (what != 1) InvalidateAll();
    if (what != 0) PushTexts();
}

void CBMSysInfo::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (Gdiplus::Bitmap* image = m_gauge.Image()) {
        Gdiplus::Graphics screen(dc);
        screen.DrawImage(image, static_cast<INT>(m_gaugeArea.left), static_cast<INT>(m_gaugeArea.top),
                         static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()));
    }
    EndPaint(m_hWnd, &ps);
}

void CBMSysInfo::OnDestroy() {
    m_gaugeReader.Destroy();
    ReleaseGaugeImage();
    ShutdownGdiplus();
    if (m_powrprof) {
        FreeLibrary(m_powrprof);
        m_powrprof = nullptr;
    }
    KillTimer(m_hWnd, kRefreshTimer);
}

void CBMSysInfo::ReadPower() {
    SYSTEM_POWER_STATUS status{};
    if (GetSystemPowerStatus(&status)) {
        m_battery.percent = status.BatteryLifePercent;
        m_battery.remainingSeconds = status.BatteryLifeTime;
        m_battery.charging = quillon::ChargingFromBatteryFlag(status.BatteryFlag);
    }
    if (!m_powrprof) return;
    auto read = reinterpret_cast<ReadGlobalPwrPolicyFn>(GetProcAddress(m_powrprof, "ReadGlobalPwrPolicy"));
    GLOBAL_POWER_POLICY policy{};
    // A failed read leaves the alarm fields as they were.
    if (!read || !read(&policy)) return;
    const SYSTEM_POWER_LEVEL& critical = policy.user.DischargePolicy[DISCHARGE_POLICY_CRITICAL];
    const SYSTEM_POWER_LEVEL& low = policy.user.DischargePolicy[DISCHARGE_POLICY_LOW];
    m_battery.lowEnabled = low.Enable != 0;
    m_battery.lowLevel = static_cast<int>(low.BatteryLevel);
    m_battery.criticalEnabled = critical.Enable != 0;
    m_battery.criticalLevel = static_cast<int>(critical.BatteryLevel);
}

void CBMSysInfo::DrawGauge() {
    const std::string value = quillon::GaugeValueText(m_battery, m_gaugeTexts);
    if (m_gaugeToldValue.Update(value)) m_gaugeReader.SetValue(WideFromCodePage(value, CP_ACP), true);
    if (!m_gdiplusToken) return;
    m_gaugeColourState = m_gauge.Draw(m_gaugeArea.right - m_gaugeArea.left, m_gaugeArea.bottom - m_gaugeArea.top,
                                      m_battery, m_gaugeTexts);
}

void CBMSysInfo::UpdateMemoryAndDisk() {
    ShowBar(m_diskBar, quillon::UsageBar(quillon::DiskUsedPercent(SystemDiskSpace()), m_gaugeTexts.unknown));
    ShowBar(m_memoryBar, quillon::UsageBar(MemoryLoad(), m_gaugeTexts.unknown));
}

void CBMSysInfo::InvalidateAll() { InvalidateRect(m_hWnd, nullptr, FALSE); }

void CBMSysInfo::PushTexts() {
    SetDlgItemTextA(m_hWnd, IDC_EC_VERSION, m_strECVersion.c_str());
    SetDlgItemTextA(m_hWnd, IDC_BIOS_VERSION, m_strBIOSVersion.c_str());
    SetDlgItemTextA(m_hWnd, IDC_PROCESSOR, m_strProcessor.c_str());
    SetDlgItemTextA(m_hWnd, IDC_VIDEO, m_strVideoController.c_str());
}

void CBMSysInfo::ReleaseGaugeImage() {
    m_gauge.Release();
}

void CBMSysInfo::ShutdownGdiplus() {
    if (!m_gdiplusToken) return;
    Gdiplus::GdiplusShutdown(m_gdiplusToken);
    m_gdiplusToken = 0;
}
