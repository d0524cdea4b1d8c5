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
    // A completion ends the subscription: nothing is sent after it.
    HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT result, BSTR text, IWbemClassObject* object) override;

    // From now on the sink sends nothing: its subscription is being replaced.
    void Retire() { InterlockedExchange(&m_retired, 1); }
    bool Ended() const { return InterlockedCompareExchange(const_cast<LONG*>(&m_ended), 0, 0) != 0; }

private:
    virtual ~EventSink() { m_done = true; }

    LONG m_refs = 0;
    bool m_done = false;
    const HWND m_target;
    LONG m_retired = 0;
    LONG m_ended = 0;
};

// Subscribes an EventSink for target to the brightness events, for the rest
// of the process. 0 success, 1 query failed, 3 no locator, 4 no connection,
// 5 proxy security failed. On a thread whose COM was initialised before,
// the subscription is kept (the latest one only) for the calls below.
int SubscribeBrightness(HWND target);
// Whether the kept brightness subscription still stands: made, not ended,
// and its connection answers one cheap call.
bool BrightnessEventsAlive();
// Ends the kept subscription (its sink sends nothing more; cancelled when
// its connection still answers) and subscribes again; SubscribeBrightness's
// result.
int RenewBrightness(HWND target);
// Lets go of the kept subscription without ending it, before the thread's
// COM goes (the main window's clean-up).
void ForgetBrightness();

// The brightness of the first monitor in percent, or lastKnown when it
// cannot be read.
int ReadBrightness(CBrindle& bridge, int lastKnown);

// Sets every monitor that supports WmiSetBrightness, in enumeration order,
// until one fails.
void SetBrightness(int percent);

}  // namespace vx
