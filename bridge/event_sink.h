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
    // Writes the completion or progress diagnostic. Always succeeds.
    HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT result, BSTR text, IWbemClassObject* object) override;

protected:
    virtual ~CEventSink();  // only Release destroys it

private:
    LONG m_refs;
    bool m_done;  // set when the sink is destroyed
    const HWND m_target;
};

// The message for one ZELEvt value: only its low 16 bits count.
inline WPARAM EventCode(ULONG zelEvt) { return zelEvt & 0xFF; }
inline LPARAM EventFlags(ULONG zelEvt) { return (zelEvt >> 8) & 0xFF; }

}  // namespace brindle
