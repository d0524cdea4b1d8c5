// Entry points of emuwmi.dll: the class factory of the locator.
#include <wbemcli.h>

#include <new>

#include "com.h"
#include "locator.h"

namespace emu {

std::atomic<long> g_moduleRefs{0};
HMODULE g_module = nullptr;

namespace {

class LocatorFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: its lifetime is the module's.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<Locator> locator(new (std::nothrow) Locator());
    if (!locator) return E_OUTOFMEMORY;
    return locator->QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) ++g_moduleRefs;
    else --g_moduleRefs;
    return S_OK;
  }
};

LocatorFactory g_factory;

}  // namespace
}  // namespace emu

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    emu::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_WbemLocator) return CLASS_E_CLASSNOTAVAILABLE;
  return emu::g_factory.QueryInterface(riid, ppv);
}

HRESULT WINAPI DllCanUnloadNow() { return emu::g_moduleRefs == 0 ? S_OK : S_FALSE; }

}  // extern "C"
