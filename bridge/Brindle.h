// Public interface of the bridge library: the exported class CBrindle, the
// value array it reads and writes through, and the pipe client.
#pragma once

#include <windows.h>
#include <oleauto.h>

#ifdef BRINDLE_BUILD
#define BRINDLE_API __declspec(dllexport)
#else
#define BRINDLE_API __declspec(dllimport)
#endif

// Posted to the event window for every firmware hotkey event:
// wParam = event code (bits 0-7 of ZELEvt), lParam = flag byte (bits 8-15).
#define WM_FIRMWARE_EVENT 0x4040

// Posted to the event window when a firmware event subscription made for it
// ended without the bridge cancelling it (the WMI service stopped or
// restarted): wParam = 0, lParam = the failure the subscription completed
// with (an HRESULT, e.g. WBEM_E_SHUTTING_DOWN). No WM_FIRMWARE_EVENT comes
// from that subscription afterwards. A window that ignores this message
// behaves as before; one that wants events again calls RenewWMIEvent.
#define WM_FIRMWARE_EVENTS_ENDED 0x4041

// Size of every status-text area and of every value text area.
enum { BRINDLE_TEXT_SIZE = 260 };

// Ordered growable array of untyped pointers. Its storage is allocated and
// freed inside the library, so it can be handed across the DLL boundary; the
// pointed-to areas remain the caller's.
class BRINDLE_API CValueArray {
public:
    CValueArray();
    ~CValueArray();
    CValueArray(const CValueArray&) = delete;
    CValueArray& operator=(const CValueArray&) = delete;

    INT_PTR GetSize() const;
    void* GetAt(INT_PTR index) const;       // nullptr when out of range
    void SetAt(INT_PTR index, void* item);  // ignored when out of range
    INT_PTR Add(void* item);                // new index, or -1 when out of memory
    void RemoveAll();

private:
    void** m_items;
    INT_PTR m_size;
    INT_PTR m_capacity;
};

class BRINDLE_API CBrindle {
public:
    // Initialises COM on the calling thread; the destructor uninitialises it,
    // so both must run on the same thread.
    CBrindle();
    ~CBrindle();
    CBrindle(const CBrindle&) = delete;  // a copy would uninitialise COM twice
    CBrindle& operator=(const CBrindle& other);  // copies both fields

    void AddHWND(HWND hwnd);

    LONG GetPropertyInstanceNumber(BSTR query, char* errorText, BSTR nameSpace, BSTR language);
    BOOL QueryWMIProperty(BSTR query, BSTR* propertyName, CValueArray& values, char* errorText,
                          BSTR nameSpace, BSTR language);
    BOOL SetWMIProperty(BSTR query, BSTR* propertyName, CValueArray& values, char* errorText,
                        BSTR nameSpace, BSTR language);
    BOOL ZELWMIEvent(BSTR query, char* errorText, BSTR nameSpace, BSTR language);
    // Whether the firmware event subscriptions made on this thread for this
    // object's window still stand: FALSE when there is none, when one has
    // ended, or when the connection one came through no longer answers (one
    // cheap call on it). Call it on the thread that subscribed.
    BOOL WMIEventsAlive();
    // Subscribes again as ZELWMIEvent does, after ending every earlier
    // subscription made on this thread for this window with the same query
    // and namespace: their sinks post nothing more, and each is cancelled
    // where its connection still answers. FALSE, with the status text in
    // errorText, when the new subscription could not be made.
    BOOL RenewWMIEvent(BSTR query, char* errorText, BSTR nameSpace, BSTR language);
    void CallBrindleParser(const char* request, char* reply);

protected:
    void GetOSVer();
    void InitialCOM();
    void UnInitialCOM();
    void GetWMIErrMsg(HRESULT code, char* text);

private:
    HWND m_hEventWnd;
    int m_nOSVersion;
};

// One request/reply exchange with the command service over "\\.\pipe\simple".
extern "C" BRINDLE_API BOOL ZEL_CallNamePipe(void* request, DWORD requestSize, void* reply, DWORD replySize);
