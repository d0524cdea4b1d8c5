// The emulated firmware's events through real COM under Wine: notification
// queries in root\WMI, delivery of hotkeys pressed and values raised by
// another process (emuctl), batches, order, the delivery thread, and the end
// of a subscription.
#include <gtest/gtest.h>
#include <wbemcli.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "emuctl_run.h"

namespace {

// emuctl.exe, a second process of the run (tests/emuctl_run.h).
using ProcessResult = emutest::EmuctlResult;
ProcessResult emuctl(const std::wstring& args) { return emutest::RunEmuctl(args); }

struct Bstr {
  explicit Bstr(const wchar_t* s) : b(SysAllocString(s)) {}
  ~Bstr() { SysFreeString(b); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR b;
};

// Records what arrives: one entry per Indicate with the ZELEvt values of its
// objects and the thread it ran on, and every SetStatus.
class RecordingSink final : public IWbemObjectSink {
 public:
  struct Delivery {
    DWORD thread;
    std::vector<LONG> values;
  };
  struct Status {
    LONG flags;
    HRESULT result;
  };

  // property: the event objects' value to record (ZELEvt, or ULong of HOT_KEY_ULong).
  explicit RecordingSink(const wchar_t* property = L"ZELEvt") : property_(property) {
    InitializeCriticalSection(&cs_);
    arrived_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  ~RecordingSink() {
    CloseHandle(arrived_);
    DeleteCriticalSection(&cs_);
  }
  RecordingSink(const RecordingSink&) = delete;
  RecordingSink& operator=(const RecordingSink&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the test's stack; the count shows what the provider still holds.
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs_); }
  HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override {
    Delivery d{GetCurrentThreadId(), {}};
    for (LONG i = 0; i < count; ++i) {
      VARIANT v;
      VariantInit(&v);
      d.values.push_back(SUCCEEDED(objects[i]->Get(property_, 0, &v, nullptr, nullptr)) &&
                                 V_VT(&v) == VT_I4
                             ? V_I4(&v)
                             : -1);
      VariantClear(&v);
    }
    EnterCriticalSection(&cs_);
    deliveries_.push_back(std::move(d));
    LeaveCriticalSection(&cs_);
    SetEvent(arrived_);
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT result, BSTR, IWbemClassObject*) override {
    EnterCriticalSection(&cs_);
    statuses_.push_back({flags, result});
    LeaveCriticalSection(&cs_);
    return WBEM_S_NO_ERROR;
  }

  // Waits (bounded) until `count` deliveries have arrived; returns them all.
  std::vector<Delivery> waitFor(std::size_t count, DWORD timeoutMs = 10000) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
      EnterCriticalSection(&cs_);
      auto copy = deliveries_;
      LeaveCriticalSection(&cs_);
      ULONGLONG now = GetTickCount64();
      if (copy.size() >= count || now >= deadline) return copy;
      WaitForSingleObject(arrived_, static_cast<DWORD>(deadline - now));
    }
  }
  std::vector<Status> statuses() {
    EnterCriticalSection(&cs_);
    auto copy = statuses_;
    LeaveCriticalSection(&cs_);
    return copy;
  }
  LONG refs() const { return refs_; }

 private:
  const wchar_t* property_;
  LONG refs_ = 0;
  CRITICAL_SECTION cs_;
  HANDLE arrived_;
  std::vector<Delivery> deliveries_;
  std::vector<Status> statuses_;
};

class Events : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    auto r = emuctl(L"install");
    ASSERT_EQ(r.exitCode, 0u) << r.out;
  }
  static void TearDownTestSuite() { CoUninitialize(); }

  void SetUp() override {
    ASSERT_EQ(emuctl(L"reset").exitCode, 0u);
    IWbemLocator* locator = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IWbemLocator,
                                              reinterpret_cast<void**>(&locator)));
    Bstr ns(L"root\\WMI");
    HRESULT hr = locator->ConnectServer(ns.b, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                        &services_);
    locator->Release();
    ASSERT_HRESULT_SUCCEEDED(hr);
  }
  void TearDown() override {
    if (services_) services_->Release();
  }

  HRESULT subscribe(IWbemObjectSink* sink, const wchar_t* query = L"Select * from ZEL_Event",
                    const wchar_t* language = L"WQL") {
    Bstr q(query), l(language);
    return services_->ExecNotificationQueryAsync(l.b, q.b, WBEM_FLAG_SEND_STATUS, nullptr, sink);
  }

  IWbemServices* services_ = nullptr;
};

TEST_F(Events, AHotkeyPressedByAnotherProcessArrivesOnAnotherThread) {
  RecordingSink sink;
  ASSERT_HRESULT_SUCCEEDED(subscribe(&sink));
  auto r = emuctl(L"press wireless");
  ASSERT_EQ(r.exitCode, 0u) << r.out;
  EXPECT_EQ(r.out, "Device=3\nZELEvt=0x035F\n");
  auto got = sink.waitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].values, std::vector<LONG>{0x035F});
  EXPECT_NE(got[0].thread, GetCurrentThreadId());
  EXPECT_TRUE(sink.statuses().empty());  // no progress reports for an event query
  EXPECT_HRESULT_SUCCEEDED(services_->CancelAsyncCall(&sink));
}

TEST_F(Events, RaisesArriveInOrderAndABatchIsOneIndicate) {
  RecordingSink sink;
  ASSERT_HRESULT_SUCCEEDED(subscribe(&sink));
  ASSERT_EQ(emuctl(L"raise 0x156 0xABCD0157 0x1FF").exitCode, 0u);
  ASSERT_EQ(emuctl(L"raise --batch 1 2 3").exitCode, 0u);
  ASSERT_EQ(emuctl(L"press 0x25").exitCode, 0u);
  auto got = sink.waitFor(5);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].values, std::vector<LONG>{0x156});
  EXPECT_EQ(got[1].values, std::vector<LONG>{static_cast<LONG>(0xABCD0157u)});
  EXPECT_EQ(got[2].values, std::vector<LONG>{0x1FF});
  EXPECT_EQ(got[3].values, (std::vector<LONG>{1, 2, 3}));
  EXPECT_EQ(got[4].values, std::vector<LONG>{0x25});
  EXPECT_HRESULT_SUCCEEDED(services_->CancelAsyncCall(&sink));
}

TEST_F(Events, CancelEndsDeliveryWithCallCancelledAndReleasesTheSink) {
  RecordingSink cancelled, kept;
  ASSERT_HRESULT_SUCCEEDED(subscribe(&cancelled));
  ASSERT_HRESULT_SUCCEEDED(subscribe(&kept));
  EXPECT_GT(cancelled.refs(), 0);
  ASSERT_HRESULT_SUCCEEDED(services_->CancelAsyncCall(&cancelled));
  ASSERT_EQ(cancelled.statuses().size(), 1u);
  EXPECT_EQ(cancelled.statuses()[0].flags, WBEM_STATUS_COMPLETE);
  EXPECT_EQ(static_cast<DWORD>(cancelled.statuses()[0].result), WBEM_E_CALL_CANCELLED);
  EXPECT_EQ(cancelled.refs(), 0);
  EXPECT_EQ(static_cast<DWORD>(services_->CancelAsyncCall(&cancelled)), WBEM_E_NOT_FOUND);

  ASSERT_EQ(emuctl(L"press webcam").exitCode, 0u);
  ASSERT_EQ(kept.waitFor(1).size(), 1u);  // delivered to the subscriber that stayed
  EXPECT_TRUE(cancelled.waitFor(1, 0).empty());
  EXPECT_HRESULT_SUCCEEDED(services_->CancelAsyncCall(&kept));
  EXPECT_EQ(kept.refs(), 0);
}

TEST_F(Events, HotKeyULongEventsReachOnlyTheirOwnSubscribers) {
  RecordingSink ulong(L"ULong"), zel;
  ASSERT_HRESULT_SUCCEEDED(subscribe(&ulong, L"select * from HOT_KEY_ULong"));
  ASSERT_HRESULT_SUCCEEDED(subscribe(&zel));
  auto r = emuctl(L"raise-ulong 0xCAFE0042 7");
  ASSERT_EQ(r.exitCode, 0u) << r.out;
  EXPECT_EQ(r.out, "ULong=0xCAFE0042\nULong=0x0007\n");
  ASSERT_EQ(emuctl(L"raise 0x15F").exitCode, 0u);
  ASSERT_EQ(emuctl(L"raise-ulong --batch 1 2").exitCode, 0u);
  auto got = ulong.waitFor(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].values, std::vector<LONG>{static_cast<LONG>(0xCAFE0042u)});
  EXPECT_EQ(got[1].values, std::vector<LONG>{7});
  EXPECT_EQ(got[2].values, (std::vector<LONG>{1, 2}));
  EXPECT_NE(got[0].thread, GetCurrentThreadId());
  auto zelGot = zel.waitFor(1);
  ASSERT_EQ(zelGot.size(), 1u);
  EXPECT_EQ(zelGot[0].values, std::vector<LONG>{0x15F});
  EXPECT_HRESULT_SUCCEEDED(services_->CancelAsyncCall(&ulong));
  EXPECT_HRESULT_SUCCEEDED(services_->CancelAsyncCall(&zel));
  EXPECT_EQ(ulong.refs(), 0);
}

TEST_F(Events, RejectedQueriesSubscribeNothing) {
  struct Case {
    const wchar_t* query;
    const wchar_t* language;
    DWORD expected;
  };
  const Case cases[] = {
      {L"Select * from ZEL_Nothing", L"WQL", WBEM_E_INVALID_CLASS},
      {L"Select * from ZEL_Device", L"WQL", WBEM_E_NOT_EVENT_CLASS},
      {L"Select * from Method_ULong", L"WQL", WBEM_E_NOT_EVENT_CLASS},
      {L"Select * from ZEL_Event", L"SQL", WBEM_E_INVALID_QUERY_TYPE},
      {L"Select from", L"WQL", WBEM_E_INVALID_QUERY},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    EXPECT_EQ(static_cast<DWORD>(subscribe(&sink, c.query, c.language)), c.expected);
    EXPECT_EQ(sink.refs(), 0);
  }
}

// Waits (bounded) until the provider has let go of the sink.
bool waitReleased(const RecordingSink& sink, DWORD timeoutMs = 10000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (sink.refs() != 0 && GetTickCount64() < deadline) Sleep(20);
  return sink.refs() == 0;
}

HRESULT connectWmi(IWbemServices** services) {
  IWbemLocator* locator = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator));
  if (FAILED(hr)) return hr;
  Bstr ns(L"root\\WMI");
  hr = locator->ConnectServer(ns.b, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services);
  locator->Release();
  return hr;
}

// A restart of Windows' WMI service: subscriptions made before end (told
// WBEM_E_SHUTTING_DOWN, or silently), the services object they came through
// is dead, connections are refused while the service is down and work again
// after, with events reaching the new subscription.
TEST_F(Events, ARestartEndsSubscriptionsAndServicesAndRefusesConnectionsForAWhile) {
  struct Case {
    const wchar_t* args;
    bool toldStatus;
  };
  for (const Case c : {Case{L"wmi-restart 1500", true}, Case{L"wmi-restart 1500 silent", false}}) {
    SCOPED_TRACE(testing::Message() << c.args);
    IWbemServices* before = nullptr;
    ASSERT_HRESULT_SUCCEEDED(connectWmi(&before));
    RecordingSink old;
    {
      Bstr q(L"Select * from ZEL_Event"), l(L"WQL");
      ASSERT_HRESULT_SUCCEEDED(before->ExecNotificationQueryAsync(l.b, q.b, 0, nullptr, &old));
    }
    auto r = emuctl(c.args);
    ASSERT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_NE(r.out.find("WmiGeneration="), std::string::npos) << r.out;

    ASSERT_TRUE(waitReleased(old));
    const auto statuses = old.statuses();
    if (c.toldStatus) {
      ASSERT_EQ(statuses.size(), 1u);
      EXPECT_EQ(statuses[0].flags, WBEM_STATUS_COMPLETE);
      EXPECT_EQ(static_cast<DWORD>(statuses[0].result), static_cast<DWORD>(WBEM_E_SHUTTING_DOWN));
    } else {
      EXPECT_TRUE(statuses.empty());
    }
    // The old services object answers nothing any more.
    IWbemClassObject* obj = nullptr;
    Bstr cls(L"ZEL_Device");
    EXPECT_EQ(before->GetObject(cls.b, 0, nullptr, &obj, nullptr), RPC_E_DISCONNECTED);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(before->CancelAsyncCall(&old), RPC_E_DISCONNECTED);
    before->Release();

    // Refused while down, then taken again (bounded wait: the down time is 1.5 s).
    IWbemServices* after = nullptr;
    HRESULT hr = connectWmi(&after);
    EXPECT_EQ(static_cast<DWORD>(hr), static_cast<DWORD>(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)));
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (FAILED(hr) && GetTickCount64() < deadline) {
      Sleep(100);
      hr = connectWmi(&after);
    }
    ASSERT_HRESULT_SUCCEEDED(hr);
    RecordingSink renewed;
    {
      Bstr q(L"Select * from ZEL_Event"), l(L"WQL");
      ASSERT_HRESULT_SUCCEEDED(after->ExecNotificationQueryAsync(l.b, q.b, 0, nullptr, &renewed));
    }
    ASSERT_EQ(emuctl(L"press webcam").exitCode, 0u);
    EXPECT_EQ(renewed.waitFor(1).size(), 1u);
    EXPECT_TRUE(old.waitFor(1, 0).empty());  // the ended sink never hears of it
    EXPECT_HRESULT_SUCCEEDED(after->CancelAsyncCall(&renewed));
    after->Release();
  }
}

}  // namespace
