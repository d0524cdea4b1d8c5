// The emulated firmware through real COM under Wine: the WMI locator of the
// prefix, root\WMI served from the EC, other namespaces from Wine, and the
// EC state shared with other processes (emuctl).
#include <gtest/gtest.h>
#include <wbemcli.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "emuctl_run.h"

namespace {

template <class T>
class Ptr {
 public:
  Ptr() = default;
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  Ptr(Ptr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~Ptr() {
    if (p_) p_->Release();
  }
  T** put() {
    if (p_) p_->Release();
    p_ = nullptr;
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

struct Variant {
  Variant() { VariantInit(&v); }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT v;
};

struct Bstr {
  explicit Bstr(const wchar_t* s) : b(SysAllocString(s)) {}
  ~Bstr() { SysFreeString(b); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR b;
};

// emuctl.exe, a second process of the run (tests/emuctl_run.h).
using ProcessResult = emutest::EmuctlResult;
ProcessResult emuctl(const std::wstring& args) { return emutest::RunEmuctl(args); }

std::wstring moduleOf(IUnknown* p) {
  HMODULE m = nullptr;
  void* vtable = *reinterpret_cast<void**>(p);
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(vtable), &m))
    return L"";
  wchar_t name[MAX_PATH];
  DWORD n = GetModuleFileNameW(m, name, MAX_PATH);
  std::wstring s(name, n);
  return s.substr(s.find_last_of(L"\\/") + 1);
}

bool isEmulator(IUnknown* p) { return _wcsicmp(moduleOf(p).c_str(), L"emuwmi.dll") == 0; }

class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // As the suite's clients do: an apartment thread and impersonation.
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    auto r = emuctl(L"install");
    ASSERT_EQ(r.exitCode, 0u) << r.out;
  }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

HRESULT connect(const wchar_t* ns, Ptr<IWbemServices>& svc) {
  Ptr<IWbemLocator> loc;
  HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(loc.put()));
  if (FAILED(hr)) return hr;
  Bstr name(ns);
  return loc->ConnectServer(name.b, nullptr, nullptr, nullptr, 0, nullptr, nullptr, svc.put());
}

HRESULT query(IWbemServices* svc, const wchar_t* wql, LONG flags, Ptr<IEnumWbemClassObject>& e,
              const wchar_t* language = L"WQL") {
  Bstr lang(language), q(wql);
  return svc->ExecQuery(lang.b, q.b, flags, nullptr, e.put());
}

constexpr LONG kClientFlags = WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY;

// Every object of a query, read one at a time as the suite's bridge does.
std::vector<Ptr<IWbemClassObject>> all(IWbemServices* svc, const wchar_t* wql) {
  std::vector<Ptr<IWbemClassObject>> out;
  Ptr<IEnumWbemClassObject> e;
  EXPECT_HRESULT_SUCCEEDED(query(svc, wql, kClientFlags, e));
  for (int guard = 0; e && guard < 16; ++guard) {
    Ptr<IWbemClassObject> obj;
    ULONG n = 0;
    HRESULT hr = e->Next(WBEM_INFINITE, 1, obj.put(), &n);
    if (hr == WBEM_S_FALSE) {
      EXPECT_EQ(n, 0u);
      break;
    }
    EXPECT_EQ(hr, WBEM_S_NO_ERROR);
    EXPECT_EQ(n, 1u);
    out.push_back(std::move(obj));
  }
  return out;
}

std::wstring getText(IWbemClassObject* o, const wchar_t* name) {
  Variant v;
  if (FAILED(o->Get(name, 0, &v.v, nullptr, nullptr)) || V_VT(&v.v) != VT_BSTR) return L"<none>";
  return V_BSTR(&v.v);
}

HRESULT putText(IWbemClassObject* o, const wchar_t* name, const wchar_t* text) {
  Variant v;
  V_VT(&v.v) = VT_BSTR;
  V_BSTR(&v.v) = SysAllocString(text);
  return o->Put(name, 0, &v.v, 0);
}

class EmulatorWmi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(emuctl(L"reset").exitCode, 0u);
    ASSERT_HRESULT_SUCCEEDED(connect(L"root\\WMI", svc_));
  }
  // Leaves the prefix's EC as the next test of the run expects it.
  void TearDown() override { EXPECT_EQ(emuctl(L"reset").exitCode, 0u); }
  void set(const wchar_t* reg, const wchar_t* value) {
    auto r = emuctl(std::wstring(L"set ") + reg + L" " + value);
    ASSERT_EQ(r.exitCode, 0u) << r.out;
  }
  Ptr<IWbemServices> svc_;
};

TEST_F(EmulatorWmi, LocatorOfThePrefixIsTheEmulatorAndHandsOtherNamespacesToWine) {
  Ptr<IWbemLocator> loc;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IWbemLocator, reinterpret_cast<void**>(loc.put())));
  EXPECT_TRUE(isEmulator(loc.get())) << "locator from " << moduleOf(loc.get()).c_str();
  const std::pair<const wchar_t*, bool> forms[] = {
      {L"root\\WMI", true},     {L"ROOT\\wmi", true},  {L"\\\\.\\root\\wmi", true},
      {L"//./root/wmi", true},  {L"root\\cimv2", false}};
  for (auto& [ns, emulated] : forms) {
    Ptr<IWbemServices> svc;
    ASSERT_HRESULT_SUCCEEDED(connect(ns, svc)) << ns;
    EXPECT_EQ(isEmulator(svc.get()), emulated) << ns;
  }
}

TEST_F(EmulatorWmi, EachClassServesItsInstancesInOrder) {
  set(L"System0", L"2");
  set(L"System1", L"5");
  set(L"AP0", L"7");
  struct Row {
    const wchar_t* cls;
    const wchar_t* prop;
    std::vector<LONG> values;
  };
  const Row rows[] = {{L"ZEL_Device", L"Device", {11}},
                      {L"ZEL_System", L"System", {2, 5}},
                      {L"ZEL_Software", L"Software", {0}},
                      {L"ZEL_AP", L"AP", {7, 17}}};
  for (const auto& row : rows) {
    auto objs = all(svc_.get(), (std::wstring(L"Select * from ") + row.cls).c_str());
    ASSERT_EQ(objs.size(), row.values.size()) << row.cls;
    for (size_t i = 0; i < objs.size(); ++i) {
      Variant v;
      CIMTYPE type = 0;
      ASSERT_HRESULT_SUCCEEDED(objs[i]->Get(row.prop, 0, &v.v, &type, nullptr));
      EXPECT_EQ(V_VT(&v.v), VT_I4);
      EXPECT_EQ(type, CIM_UINT32);
      EXPECT_EQ(V_I4(&v.v), row.values[i]) << row.cls << i;
      EXPECT_EQ(getText(objs[i].get(), L"InstanceName"), L"ACPI\\PNP0C14\\0_" + std::to_wstring(i));
      EXPECT_EQ(getText(objs[i].get(), L"__CLASS"), row.cls);
      Variant active;
      ASSERT_HRESULT_SUCCEEDED(objs[i]->Get(L"Active", 0, &active.v, nullptr, nullptr));
      EXPECT_EQ(V_VT(&active.v), VT_BOOL);
      EXPECT_EQ(V_BOOL(&active.v), VARIANT_TRUE);
    }
  }
}

TEST_F(EmulatorWmi, EnumeratorFollowsWindowsRules) {
  Ptr<IEnumWbemClassObject> fwd;
  ASSERT_HRESULT_SUCCEEDED(query(svc_.get(), L"select * FROM zel_system", kClientFlags, fwd));
  IWbemClassObject* objs[5] = {};
  ULONG n = 99;
  EXPECT_EQ(fwd->Next(WBEM_INFINITE, 5, objs, &n), WBEM_S_FALSE);
  EXPECT_EQ(n, 2u);
  for (ULONG i = 0; i < n; ++i) objs[i]->Release();
  EXPECT_EQ(fwd->Next(0, 1, objs, &n), WBEM_S_FALSE);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(fwd->Reset(), WBEM_E_INVALID_OPERATION);
  Ptr<IEnumWbemClassObject> clone;
  EXPECT_EQ(fwd->Clone(clone.put()), WBEM_E_INVALID_OPERATION);

  set(L"System0", L"2");
  Ptr<IEnumWbemClassObject> bidi;
  ASSERT_HRESULT_SUCCEEDED(query(svc_.get(), L"Select * from ZEL_System", 0, bidi));
  auto nextValue = [](IEnumWbemClassObject* e) {
    Ptr<IWbemClassObject> o;
    ULONG got = 0;
    if (e->Next(WBEM_INFINITE, 1, o.put(), &got) != WBEM_S_NO_ERROR || got != 1) return -1L;
    Variant v;
    o->Get(L"System", 0, &v.v, nullptr, nullptr);
    return static_cast<long>(V_I4(&v.v));
  };
  EXPECT_EQ(nextValue(bidi.get()), 2);
  ASSERT_HRESULT_SUCCEEDED(bidi->Clone(clone.put()));
  EXPECT_EQ(nextValue(clone.get()), 0);  // the clone goes on from instance 1
  EXPECT_HRESULT_SUCCEEDED(bidi->Reset());
  EXPECT_EQ(nextValue(bidi.get()), 2);
  EXPECT_EQ(bidi->Skip(WBEM_INFINITE, 5), WBEM_S_FALSE);
  EXPECT_EQ(nextValue(bidi.get()), -1);
}

TEST_F(EmulatorWmi, PutInstanceWritesTheEcForEveryProcess) {
  struct Row {
    const wchar_t* cls;
    size_t instance;
    const wchar_t* prop;
    const wchar_t* text;
    const char* after;  // what emuctl, another process, then reads
  };
  const Row rows[] = {{L"ZEL_Device", 0, L"Device", L"9", "Device=9"},
                      {L"ZEL_System", 1, L"System", L"511", "System1=255"},
                      {L"ZEL_Software", 0, L"Software", L"1", "Software=1"}};
  for (const auto& row : rows) {
    auto objs = all(svc_.get(), (std::wstring(L"Select * from ") + row.cls).c_str());
    ASSERT_GT(objs.size(), row.instance);
    IWbemClassObject* obj = objs[row.instance].get();
    ASSERT_HRESULT_SUCCEEDED(putText(obj, row.prop, row.text));
    Variant v;
    ASSERT_HRESULT_SUCCEEDED(obj->Get(row.prop, 0, &v.v, nullptr, nullptr));
    EXPECT_EQ(V_VT(&v.v), VT_I4) << "Put converts text to the property's type";
    ASSERT_EQ(svc_->PutInstance(obj, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr), WBEM_S_NO_ERROR);
    auto r = emuctl(L"get");
    EXPECT_NE(r.out.find(std::string(row.after) + "\n"), std::string::npos) << r.out;
  }
}

TEST_F(EmulatorWmi, FailuresCarryTheWindowsStatusCodes) {
  Ptr<IEnumWbemClassObject> e;
  EXPECT_EQ(query(svc_.get(), L"Select * from ZEL_Nothing", kClientFlags, e), WBEM_E_INVALID_CLASS);
  EXPECT_EQ(query(svc_.get(), L"Select * frm ZEL_Device", kClientFlags, e), WBEM_E_INVALID_QUERY);
  EXPECT_EQ(query(svc_.get(), L"Select * from ZEL_Device", kClientFlags, e, L"SQL"),
            WBEM_E_INVALID_QUERY_TYPE);

  auto sys = all(svc_.get(), L"Select * from ZEL_System");
  ASSERT_EQ(sys.size(), 2u);
  Variant v;
  EXPECT_EQ(sys[1]->Get(L"Volume", 0, &v.v, nullptr, nullptr), WBEM_E_NOT_FOUND);
  EXPECT_EQ(putText(sys[1].get(), L"Volume", L"1"), WBEM_E_NOT_FOUND);
  EXPECT_EQ(putText(sys[1].get(), L"System", L"abc"), WBEM_E_TYPE_MISMATCH);

  // Instance 0 (turbo state) is the firmware's to change, not a client's.
  ASSERT_HRESULT_SUCCEEDED(putText(sys[0].get(), L"System", L"2"));
  EXPECT_EQ(svc_->PutInstance(sys[0].get(), WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr),
            WBEM_E_ACCESS_DENIED);
  // No instance can be created.
  ASSERT_HRESULT_SUCCEEDED(putText(sys[1].get(), L"InstanceName", L"ACPI\\PNP0C14\\0_9"));
  EXPECT_EQ(svc_->PutInstance(sys[1].get(), WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr),
            WBEM_E_NOT_FOUND);
  EXPECT_EQ(svc_->PutInstance(sys[1].get(), WBEM_FLAG_CREATE_OR_UPDATE, nullptr, nullptr),
            WBEM_E_ACCESS_DENIED);
  auto r = emuctl(L"get");
  EXPECT_NE(r.out.find("System0=0\nSystem1=0\n"), std::string::npos) << r.out;
}

TEST_F(EmulatorWmi, OtherNamespacesAnswerFromWine) {
  Ptr<IWbemServices> none;
  EXPECT_EQ(connect(L"root\\nonexistent", none), WBEM_E_INVALID_NAMESPACE);
  Ptr<IWbemServices> cimv2;
  ASSERT_HRESULT_SUCCEEDED(connect(L"root\\CIMV2", cimv2));
  auto bios = all(cimv2.get(), L"Select * from Win32_BIOS");
  ASSERT_EQ(bios.size(), 1u);
  std::wstring version = getText(bios[0].get(), L"SMBIOSBIOSVersion");
  EXPECT_NE(version, L"<none>");
  EXPECT_FALSE(version.empty());
}

TEST_F(EmulatorWmi, ProxyBlanketCanBeSetOnEmulatorObjects) {
  ASSERT_EQ(CoSetProxyBlanket(svc_.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                              RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                              EOAC_NONE),
            S_OK);
  DWORD level = 0, imp = 0;
  ASSERT_EQ(CoQueryProxyBlanket(svc_.get(), nullptr, nullptr, nullptr, &level, &imp, nullptr,
                                nullptr),
            S_OK);
  EXPECT_EQ(level, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_CALL));
  EXPECT_EQ(imp, static_cast<DWORD>(RPC_C_IMP_LEVEL_IMPERSONATE));
  Ptr<IEnumWbemClassObject> e;
  ASSERT_HRESULT_SUCCEEDED(query(svc_.get(), L"Select * from ZEL_AP", kClientFlags, e));
  EXPECT_EQ(CoSetProxyBlanket(e.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                              RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                              EOAC_NONE),
            S_OK);
}

TEST_F(EmulatorWmi, ObjectsDescribeThemselvesForGenericClients) {
  auto ap = all(svc_.get(), L"Select * from ZEL_AP");
  ASSERT_EQ(ap.size(), 2u);
  const std::wstring rel = getText(ap[1].get(), L"__RELPATH");
  EXPECT_EQ(rel, L"ZEL_AP.InstanceName=\"ACPI\\\\PNP0C14\\\\0_1\"");
  EXPECT_NE(getText(ap[1].get(), L"__PATH").find(L"\\root\\wmi:" + rel), std::wstring::npos);

  SAFEARRAY* names = nullptr;
  ASSERT_HRESULT_SUCCEEDED(ap[1]->GetNames(nullptr, WBEM_FLAG_NONSYSTEM_ONLY, nullptr, &names));
  std::vector<std::wstring> got;
  for (LONG i = 0; i < static_cast<LONG>(names->rgsabound[0].cElements); ++i) {
    BSTR b = nullptr;
    SafeArrayGetElement(names, &i, &b);
    got.emplace_back(b);
    SysFreeString(b);
  }
  SafeArrayDestroy(names);
  EXPECT_EQ(got, (std::vector<std::wstring>{L"InstanceName", L"Active", L"AP"}));

  Bstr path(rel.c_str());
  Ptr<IWbemClassObject> byPath;
  ASSERT_HRESULT_SUCCEEDED(svc_->GetObject(path.b, 0, nullptr, byPath.put(), nullptr));
  Variant v;
  ASSERT_HRESULT_SUCCEEDED(byPath->Get(L"AP", 0, &v.v, nullptr, nullptr));
  EXPECT_EQ(V_I4(&v.v), 17);
  Bstr unknown(L"ZEL_Nothing.InstanceName=\"x\"");
  EXPECT_EQ(svc_->GetObject(unknown.b, 0, nullptr, byPath.put(), nullptr), WBEM_E_INVALID_CLASS);
}

TEST_F(EmulatorWmi, CallsNotOfferedSayNotSupported) {
  auto objs = all(svc_.get(), L"Select * from ZEL_Device");
  ASSERT_EQ(objs.size(), 1u);
  Ptr<IEnumWbemClassObject> e;
  ASSERT_HRESULT_SUCCEEDED(query(svc_.get(), L"Select * from ZEL_Device", 0, e));
  Bstr wql(L"WQL"), q(L"Select * from ZEL_Device"), path(L"ZEL_Device");
  IWbemQualifierSet* quals = nullptr;
  const HRESULT results[] = {
      svc_->ExecQueryAsync(wql.b, q.b, 0, nullptr, nullptr),
      svc_->DeleteInstance(path.b, 0, nullptr, nullptr),
      svc_->PutClass(objs[0].get(), 0, nullptr, nullptr),
      e->NextAsync(1, nullptr),
      objs[0]->GetQualifierSet(&quals),
      objs[0]->Delete(L"Device")};
  for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], WBEM_E_NOT_SUPPORTED) << i;
  EXPECT_EQ(quals, nullptr);
}

// GetULong of Method_ULong through ExecMethod: "Data" of the instance.
HRESULT getULong(IWbemServices* svc, const wchar_t* path, LONG& data,
                 const wchar_t* method = L"GetULong") {
  Bstr p(path), m(method);
  Ptr<IWbemClassObject> out;
  HRESULT hr = svc->ExecMethod(p.b, m.b, 0, nullptr, nullptr, out.put(), nullptr);
  if (FAILED(hr)) return hr;
  Variant v;
  hr = out->Get(L"Data", 0, &v.v, nullptr, nullptr);
  if (SUCCEEDED(hr)) data = V_VT(&v.v) == VT_I4 ? V_I4(&v.v) : -1;
  return hr;
}

std::string setting(const wchar_t* name) {
  auto r = emuctl(std::wstring(L"setting ") + name);
  EXPECT_EQ(r.exitCode, 0u) << r.out;
  return r.out;
}

TEST_F(EmulatorWmi, MethodULongAnswersGetULongPerInstanceWithTheSettingsOfAnyProcess) {
  ASSERT_EQ(emuctl(L"setting ECVersion 0xDEAD0105").exitCode, 0u);
  auto objs = all(svc_.get(), L"Select * from Method_ULong");
  ASSERT_EQ(objs.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const std::wstring name = L"ACPI\\PNP0C14\\0_" + std::to_wstring(i);
    EXPECT_EQ(getText(objs[i].get(), L"InstanceName"), name);
    LONG data = -2;
    const std::wstring path = L"Method_ULong.InstanceName=\"ACPI\\\\PNP0C14\\\\0_" + std::to_wstring(i) + L"\"";
    ASSERT_EQ(getULong(svc_.get(), path.c_str(), data), WBEM_S_NO_ERROR) << i;
    EXPECT_EQ(data, i == 3 ? static_cast<LONG>(0xDEAD0105u) : 0) << i;
  }
  EXPECT_EQ(setting(L"MethodCalls"), "MethodCalls=4\n");  // reset by SetUp

  ASSERT_EQ(emuctl(L"setting MethodInstances 2").exitCode, 0u);
  EXPECT_EQ(all(svc_.get(), L"Select * from Method_ULong").size(), 2u);
  LONG data = -2;
  const wchar_t kThird[] = L"Method_ULong.InstanceName=\"ACPI\\\\PNP0C14\\\\0_3\"";
  EXPECT_EQ(static_cast<DWORD>(getULong(svc_.get(), kThird, data)), WBEM_E_NOT_FOUND);
  Bstr third(kThird);
  Ptr<IWbemClassObject> obj;
  EXPECT_EQ(static_cast<DWORD>(svc_->GetObject(third.b, 0, nullptr, obj.put(), nullptr)),
            WBEM_E_NOT_FOUND);
  const wchar_t kFirst[] = L"Method_ULong.InstanceName=\"ACPI\\\\PNP0C14\\\\0_0\"";
  EXPECT_EQ(static_cast<DWORD>(getULong(svc_.get(), kFirst, data, L"SetULong")),
            WBEM_E_INVALID_METHOD);
  EXPECT_EQ(static_cast<DWORD>(getULong(svc_.get(), L"ZEL_Device.InstanceName=\"x\"", data)),
            WBEM_E_INVALID_METHOD);
  EXPECT_EQ(setting(L"MethodCalls"), "MethodCalls=7\n");
}

// GetULong of instance 3 on a thread of its own, for a call that may hang.
struct HungCall {
  IWbemServices* svc;
  LONG data = -2;
  HRESULT hr = E_FAIL;
};
DWORD WINAPI CallGetULong(void* param) {
  auto* call = static_cast<HungCall*>(param);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  call->hr = getULong(call->svc, L"Method_ULong.InstanceName=\"ACPI\\\\PNP0C14\\\\0_3\"", call->data);
  CoUninitialize();
  return 0;
}

TEST_F(EmulatorWmi, AHungGetULongAnswersOnceTheSettingIsCleared) {
  ASSERT_EQ(emuctl(L"setting MethodHangMs 600000").exitCode, 0u);
  LONG data = -2;
  // A call that reaches no instance does not hang.
  const wchar_t kMissing[] = L"Method_ULong.InstanceName=\"ACPI\\\\PNP0C14\\\\0_9\"";
  EXPECT_EQ(static_cast<DWORD>(getULong(svc_.get(), kMissing, data)), WBEM_E_NOT_FOUND);
  auto* call = new HungCall{svc_.get()};  // left to a call that never returns
  HANDLE thread = CreateThread(nullptr, 0, CallGetULong, call, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 1000), static_cast<DWORD>(WAIT_TIMEOUT)) << "answered while hanging";
  ASSERT_EQ(emuctl(L"setting MethodHangMs 0").exitCode, 0u);
  const bool ended = WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0;
  CloseHandle(thread);
  ASSERT_TRUE(ended) << "still hangs";
  EXPECT_EQ(call->hr, WBEM_S_NO_ERROR);
  EXPECT_EQ(call->data, 0x0A01);
  delete call;
}

TEST_F(EmulatorWmi, InstanceEnumerationsFailOnRequestThenWorkAgain) {
  ASSERT_EQ(emuctl(L"setting FailInstanceEnums 2").exitCode, 0u);
  Bstr cls(L"Method_ULong");
  for (int i = 0; i < 2; ++i) {
    Ptr<IEnumWbemClassObject> e;
    EXPECT_EQ(static_cast<DWORD>(svc_->CreateInstanceEnum(cls.b, 0, nullptr, e.put())),
              WBEM_E_FAILED) << i;
    EXPECT_FALSE(e);
  }
  EXPECT_EQ(setting(L"FailInstanceEnums"), "FailInstanceEnums=0\n");
  Ptr<IEnumWbemClassObject> e;
  EXPECT_EQ(svc_->CreateInstanceEnum(cls.b, 0, nullptr, e.put()), WBEM_S_NO_ERROR);
}

TEST_F(EmulatorWmi, Cimv2ClassesCanBeOverriddenForOneTest) {
  Ptr<IWbemServices> wine;
  ASSERT_HRESULT_SUCCEEDED(connect(L"root\\cimv2", wine));
  auto plain = all(wine.get(), L"Select * from Win32_BIOS");
  ASSERT_FALSE(plain.empty());
  const std::wstring wineVersion = getText(plain[0].get(), L"SMBIOSBIOSVersion");
  const std::wstring wineCaption = getText(plain[0].get(), L"Caption");

  ASSERT_EQ(emuctl(L"cimv2 Win32_BIOS \"SMBIOSBIOSVersion= 9.9 \"").exitCode, 0u);
  ASSERT_EQ(emuctl(L"cimv2 Win32_VideoController --instances 0").exitCode, 0u);
  Ptr<IWbemServices> svc;
  ASSERT_HRESULT_SUCCEEDED(connect(L"\\\\.\\root\\cimv2", svc));
  auto bios = all(svc.get(), L"Select * from Win32_BIOS");
  ASSERT_EQ(bios.size(), plain.size());
  EXPECT_EQ(getText(bios[0].get(), L"SMBIOSBIOSVersion"), L" 9.9 ");
  EXPECT_EQ(getText(bios[0].get(), L"Caption"), wineCaption);  // the rest is Wine's
  Bstr cls(L"Win32_BIOS");
  Ptr<IEnumWbemClassObject> e;
  ASSERT_HRESULT_SUCCEEDED(svc->CreateInstanceEnum(cls.b, 0, nullptr, e.put()));
  Ptr<IWbemClassObject> first;
  ULONG n = 0;
  ASSERT_EQ(e->Next(2000, 1, first.put(), &n), WBEM_S_NO_ERROR);
  EXPECT_EQ(getText(first.get(), L"SMBIOSBIOSVersion"), L" 9.9 ");
  EXPECT_TRUE(all(svc.get(), L"Select * from Win32_VideoController").empty());

  ASSERT_EQ(emuctl(L"cimv2 --unavailable").exitCode, 0u);
  Ptr<IWbemServices> none;
  EXPECT_EQ(static_cast<DWORD>(connect(L"root\\cimv2", none)),
            static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_SERVICE_DISABLED)));
  EXPECT_FALSE(none);

  ASSERT_EQ(emuctl(L"cimv2 --clear").exitCode, 0u);
  Ptr<IWbemServices> again;
  ASSERT_HRESULT_SUCCEEDED(connect(L"root\\cimv2", again));
  EXPECT_FALSE(isEmulator(again.get()));
  auto back = all(again.get(), L"Select * from Win32_BIOS");
  ASSERT_FALSE(back.empty());
  EXPECT_EQ(getText(back[0].get(), L"SMBIOSBIOSVersion"), wineVersion);
}

// A script runs each line as its own command, in order, in one process;
// failed lines are counted, not fatal, and decide the exit code.
TEST(Emuctl, ScriptRunsEachLineAndCountsFailures) {
  struct Case {
    std::string input;
    DWORD exitCode;
    const char* output;   // in order in the output
    const char* summary;  // on standard error
  } cases[] = {
      {"set Device 3\npause 10\nget Device\n\nset Device 0x0B\n", 0, "Device=3\nDevice=3\nDevice=11\n",
       "script: 4 lines, 0 failed"},
      {"set Device 1\nfrobnicate\nset Bogus 1\npause many\nscript\nget Device\n", 1, "Device=1\nDevice=1\n",
       "script: 6 lines, 4 failed"},
      {"", 0, "", "script: 0 lines, 0 failed"},
  };
  for (const auto& c : cases) {
    auto r = emutest::RunEmuctl(L"script", 30000, &c.input);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.input << r.out;
    std::string values;
    for (size_t at = 0; (at = r.out.find("Device=", at)) != std::string::npos; at = r.out.find('\n', at))
      values += r.out.substr(at, r.out.find('\n', at) + 1 - at);
    EXPECT_EQ(values, c.output) << c.input;
    EXPECT_NE(r.out.find(c.summary), std::string::npos) << c.input << r.out;
  }
  ASSERT_EQ(emuctl(L"reset").exitCode, 0u);
}

TEST(Emuctl, RejectsWhatItCannotDo) {
  const std::pair<const wchar_t*, DWORD> cases[] = {
      {L"", 2}, {L"frobnicate", 2}, {L"set Bogus 1", 2}, {L"set Device abc", 2},
      {L"set Device", 2}, {L"get Device extra", 2}, {L"get Nothing", 2},
      {L"setting Nothing", 2}, {L"setting MethodInstances 5", 2}, {L"raise-ulong", 2},
      {L"cimv2 Win32_BIOS Version", 2}, {L"cimv2", 2}};
  for (auto& [args, code] : cases) {
    auto r = emuctl(args);
    EXPECT_EQ(r.exitCode, code) << args;
    EXPECT_NE(r.out.find("usage: emuctl"), std::string::npos) << args;
  }
}

}  // namespace
