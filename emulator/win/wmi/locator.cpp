#include "locator.h"

#include <string>

#include "ec_registry.h"
#include "overlay.h"
#include "settings_registry.h"
#include "services.h"
#include "wide.h"
#include "wmi_service_registry.h"
#include "wmi_model.h"

namespace emu {

extern HMODULE g_module;

namespace {

std::string localComputerName() {
  wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(buf, &n) ? toUtf8({buf, n}) : std::string();
}

// The DLL that held the locator before the emulator was installed (saved by
// emuctl install), else Wine's usual place for it.
std::wstring wineLocatorPath() {
  wchar_t buf[MAX_PATH];
  DWORD size = sizeof(buf);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kEmulatorKey, L"OriginalLocator", RRF_RT_REG_SZ, nullptr,
                   buf, &size) == ERROR_SUCCESS && buf[0])
    return buf;
  UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return L"wbemprox.dll";
  return std::wstring(buf, n) + L"\\wbem\\wbemprox.dll";
}

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// Loaded once and kept for the life of the process: objects it hands out
// may outlive any one locator.
GetClassObjectFn wineGetClassObject() {
  static const GetClassObjectFn fn = []() -> GetClassObjectFn {
    HMODULE m = LoadLibraryW(wineLocatorPath().c_str());
    if (!m) m = LoadLibraryW(L"wbemprox.dll");
    if (!m || m == g_module) return nullptr;  // never delegate to ourselves
    return reinterpret_cast<GetClassObjectFn>(GetProcAddress(m, "DllGetClassObject"));
  }();
  return fn;
}

bool hasText(const BSTR b) { return b && SysStringLen(b) > 0; }

}  // namespace

HRESULT createWineLocator(IWbemLocator** out) {
  *out = nullptr;
  GetClassObjectFn get = wineGetClassObject();
  if (!get) return WBEM_E_FAILED;
  ComPtr<IClassFactory> factory;
  HRESULT hr = get(CLSID_WbemLocator, IID_IClassFactory, reinterpret_cast<void**>(factory.put()));
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, IID_IWbemLocator, reinterpret_cast<void**>(out));
}

HRESULT Locator::ConnectServer(const BSTR strNetworkResource, const BSTR strUser,
                               const BSTR strPassword, const BSTR strLocale, LONG lSecurityFlags,
                               const BSTR strAuthority, IWbemContext* pCtx,
                               IWbemServices** ppNamespace) {
  if (!ppNamespace) return WBEM_E_INVALID_PARAMETER;
  *ppNamespace = nullptr;
  const std::string ns =
      strNetworkResource ? toUtf8({strNetworkResource, SysStringLen(strNetworkResource)}) : "";
  if (strNetworkResource && isEmulatedNamespace(ns, localComputerName())) {
    // As Windows does, a local connection takes no credentials.
    if (hasText(strUser) || hasText(strPassword)) return WBEM_E_LOCAL_CREDENTIALS;
    // While the WMI service restarts (emuctl wmi-restart) there is no server
    // to reach: DCOM answers RPC_S_SERVER_UNAVAILABLE.
    if (connectionRefused(loadWmiService(), GetTickCount64()))
      return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    *ppNamespace = Services::create();
    return *ppNamespace ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  }
  // Per-test overrides of root\CIMV2 (emuctl cimv2); without any, Wine's
  // services come back untouched.
  const bool cimv2 =
      strNetworkResource && isLocalNamespace(ns, "root\\cimv2", localComputerName());
  const bool overridden = cimv2 && cimv2Overridden();
  // As with the WMI service stopped and disabled.
  if (overridden && cimv2Unavailable()) return HRESULT_FROM_WIN32(ERROR_SERVICE_DISABLED);
  ComPtr<IWbemLocator> wine;
  HRESULT hr = createWineLocator(wine.put());
  if (FAILED(hr)) return hr;
  hr = wine->ConnectServer(strNetworkResource, strUser, strPassword, strLocale, lSecurityFlags,
                           strAuthority, pCtx, ppNamespace);
  if (FAILED(hr) || !overridden || !*ppNamespace) return hr;
  IWbemServices* services = *ppNamespace;
  *ppNamespace = nullptr;
  HRESULT wrapped = overlayCimv2(services, ppNamespace);
  return FAILED(wrapped) ? wrapped : hr;
}

}  // namespace emu
