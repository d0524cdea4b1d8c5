// CWAcpi: the viewer's connection to the notebook firmware's ACPI-WMI
// interface in root\WMI: a subscription to HOT_KEY_ULong whose values go to
// a window (when one was given), and the method GetULong of Method_ULong.
#pragma once

#include <windows.h>
#include <wbemcli.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "com_ptr.h"
#include "mta_worker.h"

// Posted by QuerySink for each HOT_KEY_ULong event: wParam the event's
// "ULong" value, lParam 0.
inline constexpr UINT WM_WACPI_NOTIFY = WM_USER + 26;

class QuerySink : public IWbemObjectSink {
public:
    explicit QuerySink(HWND window) : m_lRef(1), m_hWnd(window) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Indicate(LONG lObjectCount, IWbemClassObject** apObjArray) override;
    HRESULT STDMETHODCALLTYPE SetStatus(LONG lFlags, HRESULT hResult, BSTR strParam,
                                        IWbemClassObject* pObjParam) override;
    virtual ~QuerySink() = default;

private:
    LONG m_lRef;
    HWND m_hWnd;
};

class CWAcpi {
public:
    // Sets up the connection; never fails outward (a failed set-up leaves
    // the object uninitialised and every GetULong without a value).
    explicit CWAcpi(HWND window = nullptr);
    virtual ~CWAcpi();
    CWAcpi(const CWAcpi&) = delete;
    CWAcpi& operator=(const CWAcpi&) = delete;

    // GetULong of Method_ULong instance n; 0 when no value was obtained.
    ULONG GetULong(int n);
    // The same call, telling a value from none.
    std::optional<ULONG> ReadULong(int n);

    bool IsInitialised() const { return m_bInitialised; }
    ULONG InitialValue() const { return m_initialValue; }

private:
    void WalkInstances(int n);
    void ReleaseAll();

    quillon::ComPtr<IWbemServices> m_services;
    QuerySink* m_sink = nullptr;  // one reference, owned
    quillon::ComPtr<IWbemLocator> m_locator;
    ULONG m_initialValue = 0;
    bool m_bInitialised = false;
    HWND m_hWnd;
    quillon::Lock m_lock;
};

// ReadULong(n) of a connection without a window, made, used and deleted on a
// worker thread of the multithreaded apartment that starts at construction,
// so the caller can do other work meanwhile, and waited for with a bound
// counted from that start. A firmware that does not answer in time leaves
// the worker behind, holding nothing of the caller's; the caller must then
// end the process itself.
struct FirmwareReading {
    bool answered = false;
    std::optional<ULONG> value;  // only when answered
};
class FirmwareRead {
public:
    explicit FirmwareRead(int n);
    FirmwareRead(const FirmwareRead&) = delete;
    FirmwareRead& operator=(const FirmwareRead&) = delete;
    // Waits until at most waitMs after the start. No worker could be made:
    // answered without a value.
    FirmwareReading Result(DWORD waitMs);

private:
    std::shared_ptr<std::optional<ULONG>> m_value;
    MtaWorker m_worker;
};
