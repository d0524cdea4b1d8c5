// One WMI read made the plain way (create the locator, connect, set the
// blanket, query, take the first object, read a property, release
// everything): the platform's own cost of what the bridge does per read,
// shared by the WMI benchmarks as their floor. Needs COM on the thread.
#pragma once

#include "bench_clock.h"

#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

namespace bench {

template <class T>
struct ComRef {
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p) p->Release();
    }
    T* p = nullptr;
};

// One full read; false when any step fails.
inline bool ReadWmiOnce(const wchar_t* ns, const wchar_t* wql, const wchar_t* prop) {
    ComRef<IWbemLocator> loc;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&loc.p))))
        return false;
    BSTR nsB = SysAllocString(ns), lang = SysAllocString(L"WQL"), q = SysAllocString(wql);
    ComRef<IWbemServices> svc;
    ComRef<IEnumWbemClassObject> e;
    ComRef<IWbemClassObject> obj;
    ULONG n = 0;
    VARIANT v;
    VariantInit(&v);
    bool ok = SUCCEEDED(loc.p->ConnectServer(nsB, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &svc.p)) &&
              SUCCEEDED(CoSetProxyBlanket(svc.p, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                          EOAC_NONE)) &&
              SUCCEEDED(svc.p->ExecQuery(lang, q, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr,
                                         &e.p)) &&
              e.p->Next(WBEM_INFINITE, 1, &obj.p, &n) == WBEM_S_NO_ERROR && n == 1 &&
              SUCCEEDED(obj.p->Get(prop, 0, &v, nullptr, nullptr));
    VariantClear(&v);
    SysFreeString(nsB);
    SysFreeString(lang);
    SysFreeString(q);
    return ok;
}

}  // namespace bench
