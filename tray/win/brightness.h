// Display brightness: the brightness event sink and subscription (WMI class
// WmiMonitorBrightnessEvent in root\wmi), and reading and setting the
// brightness of the display.
#pragma once

#include "Brindle.h"

#include <windows.h>
#include <wbemcli.h>

namespace vx {

// Sends WM_BRIGHTNESS_NOTIFY (wParam the brightness in percent, lParam 0) to its window for the first object of each
// batch. Created with count 0; only Release destroys it.
class EventSink : public IWbemObjectSink {
public:
    explicit EventSink(HWND target) : m_target(target) {}
    EventSink(const EventSink&) = delete;
    EventSink& operator=(const EventSink&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override;
    HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT result, BSTR text, IWbemClassObject* object) override;

private:
    virtual ~EventSink() { m_done = true; }

    LONG m_refs = 0;
    bool m_done = false;
    const HWND m_target;
};

// Subscribes an EventSink for target to the brightness events, for the rest
// of the process. 0 success, 1 query failed, 3 no locator, 4 no connection,
// 5 proxy security failed.
int SubscribeBrightness(HWND target);

// The brightness of the first monitor in percent, or lastKnown when it
// cannot be read.
int ReadBrightness(CBrindle& bridge, int lastKnown);

// Sets every monitor that supports WmiSetBrightness, in enumeration order,
// until one fails.
void SetBrightness(int percent);

}  // namespace vx
