// Entry points of emuwmi.dll: the class factory of the locator.
#include <wbemcli.h>

#include <new>

#include "class_factory.h"
#include "com.h"
#include "locator.h"

namespace emu {

std::atomic<long> g_moduleRefs{0};
HMODULE g_module = nullptr;

namespace {

StaticClassFactory<Locator> g_factory(g_moduleRefs);

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
