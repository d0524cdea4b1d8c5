// Cost of one WMI read as the suite's bridge makes it (create the locator,
// connect, set the blanket, query, take the first object, read a property,
// release everything), against the emulated root\WMI and, side by side in
// the same run, against Wine's own root\CIMV2 (Win32_BIOS). Run under Wine
// after `emuctl install`:  wine emulator_wmi_bench.exe [rounds]
#include <wbemcli.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

template <class T>
struct Ptr {
  Ptr() = default;
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  ~Ptr() {
    if (p) p->Release();
  }
  T* p = nullptr;
};

// One full read; false when any step fails.
bool readOnce(const wchar_t* ns, const wchar_t* wql, const wchar_t* prop) {
  Ptr<IWbemLocator> loc;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(&loc.p))))
    return false;
  BSTR nsB = SysAllocString(ns), lang = SysAllocString(L"WQL"), q = SysAllocString(wql);
  Ptr<IWbemServices> svc;
  Ptr<IEnumWbemClassObject> e;
  Ptr<IWbemClassObject> obj;
  ULONG n = 0;
  VARIANT v;
  VariantInit(&v);
  bool ok = SUCCEEDED(loc.p->ConnectServer(nsB, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                           &svc.p)) &&
            SUCCEEDED(CoSetProxyBlanket(svc.p, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                        RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE,
                                        nullptr, EOAC_NONE)) &&
            SUCCEEDED(svc.p->ExecQuery(lang, q,
                                       WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                       nullptr, &e.p)) &&
            e.p->Next(WBEM_INFINITE, 1, &obj.p, &n) == WBEM_S_NO_ERROR && n == 1 &&
            SUCCEEDED(obj.p->Get(prop, 0, &v, nullptr, nullptr));
  VariantClear(&v);
  SysFreeString(nsB);
  SysFreeString(lang);
  SysFreeString(q);
  return ok;
}

struct Figures {
  double medianUs = 0;
  double p90Us = 0;
  bool ok = true;
};

Figures measure(int rounds, const wchar_t* ns, const wchar_t* wql, const wchar_t* prop) {
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  std::vector<double> us;
  Figures r;
  readOnce(ns, wql, prop);  // warm: loads the DLLs once
  for (int i = 0; i < rounds; ++i) {
    QueryPerformanceCounter(&a);
    r.ok = readOnce(ns, wql, prop) && r.ok;
    QueryPerformanceCounter(&b);
    us.push_back(1e6 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart));
  }
  std::sort(us.begin(), us.end());
  r.medianUs = us[us.size() / 2];
  r.p90Us = us[us.size() * 9 / 10];
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
  if (FAILED(CoInitialize(nullptr))) return 1;
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  Figures emu = measure(rounds, L"root\\WMI", L"Select * from ZEL_Device", L"Device");
  Figures wine = measure(rounds, L"root\\CIMV2", L"Select * from Win32_BIOS", L"SMBIOSBIOSVersion");
  std::printf("one WMI read (locator, connect, blanket, query, Next, Get), %d rounds each\n", rounds);
  std::printf("  emulated root\\WMI  ZEL_Device.Device          median %8.1f us  p90 %8.1f us%s\n",
              emu.medianUs, emu.p90Us, emu.ok ? "" : "  (FAILED reads)");
  std::printf("  Wine root\\CIMV2    Win32_BIOS.SMBIOSBIOSVersion median %8.1f us  p90 %8.1f us%s\n",
              wine.medianUs, wine.p90Us, wine.ok ? "" : "  (FAILED reads)");
  std::printf("  ratio emulated / Wine (median): %.2f\n", emu.medianUs / wine.medianUs);
  CoUninitialize();
  return emu.ok && wine.ok ? 0 : 1;
}
