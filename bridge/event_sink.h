// The receiver of the firmware's events: WMI calls it on a thread of its
// choosing, and it hands each event to the window it was created for as a
// posted WM_FIRMWARE_EVENT message.
#pragma once

#include <windows.h>
#include <wbemcli.h>

namespace brindle {

class CEventSink : public IWbemObjectSink {
public:
    // The window is copied here and never changes: a later AddHWND on the
    // bridge object does not redirect this sink. Created with count 0.
    explicit CEventSink(HWND target);
    CEventSink(const CEventSink&) = delete;
    CEventSink& operator=(const CEventSink&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Posts the first object's event (code in wParam, flag byte in lParam)
    // and writes one diagnostic line per object. Always succeeds.
    HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override;
    // Writes the completion or progress diagnostic. A completion ends the
    // sink's subscription: nothing is posted after it, and a completion with
    // a failure posts WM_FIRMWARE_EVENTS_ENDED (unless the sink was retired).
    // Always succeeds.
    HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT result, BSTR text, IWbemClassObject* object) override;

    // From now on the sink posts nothing: its subscription is being replaced
    // or cancelled by the bridge itself.
    void Retire() { InterlockedExchange(&m_retired, 1); }
    // Whether WMI has said the subscription is over.
    bool Ended() const { return InterlockedCompareExchange(const_cast<LONG*>(&m_ended), 0, 0) != 0; }

protected:
    virtual ~CEventSink();  // only Release destroys it

private:
    bool Silent() const;  // retired or ended

    LONG m_refs;
    bool m_done;  // set when the sink is destroyed
    const HWND m_target;
    LONG m_retired = 0;
    LONG m_ended = 0;
};

// The message for one ZELEvt value: only its low 16 bits count.
inline WPARAM EventCode(ULONG zelEvt) { return zelEvt & 0xFF; }
inline LPARAM EventFlags(ULONG zelEvt) { return (zelEvt >> 8) & 0xFF; }

}  // namespace brindle
