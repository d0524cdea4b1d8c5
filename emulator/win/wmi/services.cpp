#include "services.h"

#include <new>

#include "enumerator.h"
#include "event_bus.h"
#include "event_class.h"
#include "events.h"
#include "method_class.h"
#include "object.h"
#include "text.h"
#include "variant.h"
#include "wide.h"
#include "wmi_service_registry.h"

namespace emu {
namespace {

// How often a hung method looks at its setting again.
constexpr DWORD kHangPollMs = 50;

std::string computerName() {
  wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(buf, &n) ? toUtf8({buf, n}) : std::string(".");
}

std::string bstrText(const BSTR b) { return b ? toUtf8({b, SysStringLen(b)}) : std::string(); }

// The outcome of a synchronous call, for callers that ask for one.
class CallResult final : public ComObject<IWbemCallResult, ClientSecurity> {
 public:
  CallResult(HRESULT status, IWbemClassObject* object, std::string text)
      : status_(status), object_(ComPtr<IWbemClassObject>::share(object)), text_(std::move(text)) {}

  HRESULT STDMETHODCALLTYPE GetResultObject(LONG, IWbemClassObject** ppResultObject) override {
    if (!ppResultObject) return WBEM_E_INVALID_PARAMETER;
    *ppResultObject = nullptr;
    if (FAILED(status_)) return status_;
    if (!object_) return WBEM_E_INVALID_OPERATION;
    return object_->Clone(ppResultObject);
  }
  HRESULT STDMETHODCALLTYPE GetResultString(LONG, BSTR* pstrResultString) override {
    if (!pstrResultString) return WBEM_E_INVALID_PARAMETER;
    *pstrResultString = nullptr;
    if (FAILED(status_)) return status_;
    if (text_.empty()) return WBEM_E_INVALID_OPERATION;
    *pstrResultString = SysAllocString(toWide(text_).c_str());
    return *pstrResultString ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  }
  HRESULT STDMETHODCALLTYPE GetResultServices(LONG, IWbemServices** ppServices) override {
    if (ppServices) *ppServices = nullptr;
    return WBEM_E_INVALID_OPERATION;
  }
  HRESULT STDMETHODCALLTYPE GetCallStatus(LONG, LONG* plStatus) override {
    if (!plStatus) return WBEM_E_INVALID_PARAMETER;
    *plStatus = status_;
    return WBEM_S_NO_ERROR;
  }

 private:
  const HRESULT status_;
  ComPtr<IWbemClassObject> object_;
  const std::string text_;
};

void giveCallResult(IWbemCallResult** pp, HRESULT status, IWbemClassObject* obj, std::string text) {
  if (pp) *pp = new (std::nothrow) CallResult(status, obj, std::move(text));
}

HRESULT putOutcomeStatus(PutOutcome o) {
  switch (o) {
    case PutOutcome::Write: return WBEM_S_NO_ERROR;
    case PutOutcome::NotFound: return WBEM_E_NOT_FOUND;
    case PutOutcome::AlreadyExists: return WBEM_E_ALREADY_EXISTS;
    case PutOutcome::AccessDenied: return WBEM_E_ACCESS_DENIED;
    case PutOutcome::IllegalNull: return WBEM_E_ILLEGAL_NULL;
  }
  return WBEM_E_FAILED;
}

}  // namespace

Services::Services() : server_(computerName()), generation_(loadWmiService().generation) {}

// A services object of a WMI service that has restarted since it was made
// is a proxy whose server is gone: every call fails as a Windows proxy's
// does then, with RPC_E_DISCONNECTED.
bool Services::gone() const { return objectGone(loadWmiService(), generation_); }

Services* Services::create() { return new (std::nothrow) Services(); }

HRESULT Services::enumerate(const ClassDef& cls, LONG flags, IEnumWbemClassObject** ppEnum) {
  auto regs = ec_.readAll();
  if (!regs) return WBEM_E_FAILED;
  const std::string label = loadLabel();
  auto results = std::make_shared<ResultSet>();
  results->server = server_;
  std::span<const InstanceDef> instances = cls.instances;
  if (&cls == &methodClass()) {
    auto s = settings_.readAll();
    if (!s) return WBEM_E_FAILED;
    instances = methodInstances(*s);
  }
  for (const auto& inst : instances)
    results->items.push_back({&cls, instanceValues(cls, inst, *regs, label)});
  // Results are complete before the call returns, so return-immediately
  // (semisynchronous) and a plain synchronous call behave alike.
  *ppEnum = Enumerator::create(std::move(results), (flags & WBEM_FLAG_FORWARD_ONLY) != 0);
  return *ppEnum ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

HRESULT Services::ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                            IWbemContext*, IEnumWbemClassObject** ppEnum) {
  if (!ppEnum || !strQuery) return WBEM_E_INVALID_PARAMETER;
  *ppEnum = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  if (!strQueryLanguage || !isWql(bstrText(strQueryLanguage))) return WBEM_E_INVALID_QUERY_TYPE;
  if (lFlags & WBEM_FLAG_PROTOTYPE) return WBEM_E_NOT_SUPPORTED;
  WqlQuery q = parseWql(bstrText(strQuery));
  if (q.status == WqlQuery::Status::Invalid) return WBEM_E_INVALID_QUERY;
  const ClassDef* cls = q.className.empty() ? nullptr : findClass(q.className);
  // Windows names an unknown class in root\WMI; Wine would return no rows.
  if (!q.className.empty() && !cls) return WBEM_E_INVALID_CLASS;
  if (q.status == WqlQuery::Status::Unsupported) return WBEM_E_NOT_SUPPORTED;
  return enumerate(*cls, lFlags, ppEnum);
}

HRESULT Services::CreateInstanceEnum(const BSTR strFilter, LONG lFlags, IWbemContext*,
                                     IEnumWbemClassObject** ppEnum) {
  if (!ppEnum || !strFilter) return WBEM_E_INVALID_PARAMETER;
  *ppEnum = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  const ClassDef* cls = findClass(bstrText(strFilter));
  if (!cls) return WBEM_E_INVALID_CLASS;
  // Failures asked for by a test (emuctl setting FailInstanceEnums N).
  if (settings_.takeInstanceEnumFailure()) return WBEM_E_FAILED;
  return enumerate(*cls, lFlags, ppEnum);
}

HRESULT Services::getObject(const BSTR path, IWbemClassObject** ppObject) {
  if (!path || SysStringLen(path) == 0) return WBEM_E_NOT_SUPPORTED;  // no empty class objects
  auto p = parseObjectPath(bstrText(path), server_);
  if (!p) return WBEM_E_INVALID_OBJECT_PATH;
  const ClassDef* cls = findClass(p->className);
  if (!cls) return p->keyValue ? WBEM_E_INVALID_CLASS : WBEM_E_NOT_FOUND;
  if (!p->keyValue) {
    *ppObject = WbemObject::newClass(*cls, server_);
    return *ppObject ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  }
  auto key = keyProperty(*cls);
  if (p->keyName && !equalsNoCase(*p->keyName, cls->properties[*key].name))
    return WBEM_E_INVALID_OBJECT_PATH;
  const InstanceDef* inst = findInstance(*cls, *p->keyValue);
  if (!inst) return WBEM_E_NOT_FOUND;
  if (cls == &methodClass()) {  // only the instances the setting lets exist
    auto s = settings_.readAll();
    if (!s) return WBEM_E_FAILED;
    if (static_cast<std::size_t>(inst - cls->instances.data()) >= methodInstances(*s).size())
      return WBEM_E_NOT_FOUND;
  }
  auto regs = ec_.readAll();
  if (!regs) return WBEM_E_FAILED;
  *ppObject = WbemObject::newInstance(*cls, instanceValues(*cls, *inst, *regs, loadLabel()), server_);
  return *ppObject ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

HRESULT Services::GetObject(const BSTR strObjectPath, LONG, IWbemContext*,
                            IWbemClassObject** ppObject, IWbemCallResult** ppCallResult) {
  if (!ppObject && !ppCallResult) return WBEM_E_INVALID_PARAMETER;
  if (ppObject) *ppObject = nullptr;
  if (ppCallResult) *ppCallResult = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  IWbemClassObject* obj = nullptr;
  HRESULT hr = getObject(strObjectPath, &obj);
  giveCallResult(ppCallResult, hr, obj, {});
  if (ppObject) *ppObject = obj;
  else if (obj) obj->Release();
  return hr;
}

HRESULT Services::putInstance(IWbemClassObject* inst, LONG flags, std::string* relPath) {
  if (!inst) return WBEM_E_INVALID_PARAMETER;
  PutMode mode;
  switch (flags & (WBEM_FLAG_UPDATE_ONLY | WBEM_FLAG_CREATE_ONLY)) {
    case WBEM_FLAG_CREATE_OR_UPDATE: mode = PutMode::CreateOrUpdate; break;
    case WBEM_FLAG_UPDATE_ONLY: mode = PutMode::UpdateOnly; break;
    case WBEM_FLAG_CREATE_ONLY: mode = PutMode::CreateOnly; break;
    default: return WBEM_E_INVALID_PARAMETER;
  }
  // The object is read through its interface, so any instance of one of
  // these classes can be written, whoever made it.
  VARIANT v;
  VariantInit(&v);
  if (FAILED(inst->Get(L"__CLASS", 0, &v, nullptr, nullptr)) || V_VT(&v) != VT_BSTR) {
    VariantClear(&v);
    return WBEM_E_INVALID_OBJECT;
  }
  const ClassDef* cls = findClass(bstrText(V_BSTR(&v)));
  VariantClear(&v);
  if (!cls) return WBEM_E_INVALID_CLASS;
  std::vector<Value> values;
  for (const auto& p : cls->properties) {
    if (FAILED(inst->Get(toWide(p.name).c_str(), 0, &v, nullptr, nullptr)))
      return WBEM_E_INVALID_OBJECT;
    auto supplied = fromVariant(&v);
    VariantClear(&v);
    auto converted = supplied ? coerce(p.type, *supplied) : std::nullopt;
    if (!converted) return WBEM_E_TYPE_MISMATCH;
    values.push_back(std::move(*converted));
  }
  PutPlan plan = planPutInstance(*cls, values, mode);
  if (plan.outcome != PutOutcome::Write) return putOutcomeStatus(plan.outcome);
  if (!ec_.write(plan.reg, plan.value)) return WBEM_E_FAILED;
  if (relPath) {
    auto key = keyProperty(*cls);
    *relPath = relativePath(*cls, false, values[*key]).value_or(std::string());
  }
  return WBEM_S_NO_ERROR;
}

HRESULT Services::PutInstance(IWbemClassObject* pInst, LONG lFlags, IWbemContext*,
                              IWbemCallResult** ppCallResult) {
  if (ppCallResult) *ppCallResult = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  std::string rel;
  HRESULT hr = putInstance(pInst, lFlags, &rel);
  giveCallResult(ppCallResult, hr, nullptr, rel);
  return hr;
}

// Another namespace below root\WMI does not exist on the notebook.
HRESULT Services::OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices** ppWorkingNamespace,
                                IWbemCallResult** ppResult) {
  if (ppWorkingNamespace) *ppWorkingNamespace = nullptr;
  if (ppResult) *ppResult = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_INVALID_NAMESPACE;
}

// Event subscriptions outlive this object, as they outlive a Windows
// client's services proxy: they belong to the process (wmi/events.h).
HRESULT Services::ExecNotificationQueryAsync(const BSTR strQueryLanguage, const BSTR strQuery,
                                             LONG, IWbemContext*,
                                             IWbemObjectSink* pResponseHandler) {
  if (!strQuery || !pResponseHandler) return WBEM_E_INVALID_PARAMETER;
  if (gone()) return RPC_E_DISCONNECTED;
  switch (planNotificationQuery(bstrText(strQueryLanguage), bstrText(strQuery))) {
    case NotificationVerdict::Subscribe: break;
    case NotificationVerdict::InvalidQueryType: return WBEM_E_INVALID_QUERY_TYPE;
    case NotificationVerdict::InvalidQuery: return WBEM_E_INVALID_QUERY;
    case NotificationVerdict::InvalidClass: return WBEM_E_INVALID_CLASS;
    case NotificationVerdict::NotEventClass: return WBEM_E_NOT_EVENT_CLASS;
    case NotificationVerdict::Unsupported: return WBEM_E_NOT_SUPPORTED;
  }
  // The firmware's event provider sends no progress reports, so
  // WBEM_FLAG_SEND_STATUS changes nothing: events go to Indicate, and
  // SetStatus comes only when the call ends (CancelAsyncCall).
  auto eventClass = eventClassId(parseWql(bstrText(strQuery)).className);
  return subscribeEvents(pResponseHandler, server_, eventClass.value_or(kZelEventClass), generation_);
}

HRESULT Services::CancelAsyncCall(IWbemObjectSink* pSink) {
  if (gone()) return RPC_E_DISCONNECTED;
  return cancelEvents(pSink);
}

// Not offered (yet) by the emulated firmware's provider.
HRESULT Services::QueryObjectSink(LONG, IWbemObjectSink** pp) {
  if (pp) *pp = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult** pp) {
  if (pp) *pp = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult** pp) {
  if (pp) *pp = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject** pp) {
  if (pp) *pp = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult** pp) {
  if (pp) *pp = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT Services::ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                        IEnumWbemClassObject** pp) {
  if (pp) *pp = nullptr;
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}
// GetULong of Method_ULong: takes no input, answers "Data".
HRESULT Services::ExecMethod(const BSTR strObjectPath, const BSTR strMethodName, LONG,
                             IWbemContext*, IWbemClassObject* pInParams, IWbemClassObject** ppOut,
                             IWbemCallResult** pp) {
  if (ppOut) *ppOut = nullptr;
  if (pp) *pp = nullptr;
  if (!strObjectPath || !strMethodName) return WBEM_E_INVALID_PARAMETER;
  if (gone()) return RPC_E_DISCONNECTED;
  settings_.countMethodCall();
  if (auto b = planSetBrightness(bstrText(strObjectPath), bstrText(strMethodName), server_))
    return setBrightness(*b, pInParams, pp);
  auto s = settings_.readAll();
  if (!s) return WBEM_E_FAILED;
  MethodPlan plan = planMethodCall(bstrText(strObjectPath), bstrText(strMethodName), *s, server_);
  // A hung firmware method on request (emuctl setting MethodHangMs N): the
  // call waits in the caller's thread, as an in-process provider's would,
  // until the time has passed or the setting is lowered or cleared.
  std::optional<SettingFile> now = s;
  for (const DWORD start = GetTickCount(); now && methodStillHangs(plan, GetTickCount() - start, *now);
       now = settings_.readAll())
    Sleep(kHangPollMs);
  HRESULT hr = WBEM_S_NO_ERROR;
  switch (plan.outcome) {
    case MethodOutcome::Data: break;
    case MethodOutcome::InvalidObjectPath: hr = WBEM_E_INVALID_OBJECT_PATH; break;
    case MethodOutcome::InvalidClass: hr = WBEM_E_INVALID_CLASS; break;
    case MethodOutcome::NotFound: hr = WBEM_E_NOT_FOUND; break;
    case MethodOutcome::InvalidMethod: hr = WBEM_E_INVALID_METHOD; break;
  }
  ComPtr<IWbemClassObject> out;
  if (SUCCEEDED(hr)) {
    out = ComPtr<IWbemClassObject>(WbemObject::newInstance(
        methodOutputClass(), {Value(static_cast<std::int64_t>(plan.data))}, server_));
    if (!out) hr = WBEM_E_OUT_OF_MEMORY;
  }
  giveCallResult(pp, hr, out.get(), {});
  if (ppOut) *ppOut = out.detach();
  return hr;
}
// WmiSetBrightness: the panel takes the new brightness and, when it changed,
// the display raises WmiMonitorBrightnessEvent, as a brightness key would.
HRESULT Services::setBrightness(const BrightnessMethodPlan& plan, IWbemClassObject* in,
                                IWbemCallResult** pp) {
  HRESULT hr = WBEM_S_NO_ERROR;
  switch (plan.outcome) {
    case MethodOutcome::Data: break;
    case MethodOutcome::NotFound: hr = WBEM_E_NOT_FOUND; break;
    case MethodOutcome::InvalidMethod: hr = WBEM_E_INVALID_METHOD; break;
    default: hr = WBEM_E_INVALID_OBJECT_PATH; break;
  }
  std::optional<Value> requested;
  if (SUCCEEDED(hr)) {
    VARIANT v;
    VariantInit(&v);
    if (!in || FAILED(in->Get(L"Brightness", 0, &v, nullptr, nullptr))) hr = WBEM_E_INVALID_PARAMETER;
    else if (auto supplied = fromVariant(&v)) requested = coerce(CimType::Uint8, *supplied);
    VariantClear(&v);
    if (SUCCEEDED(hr) && (!requested || !std::holds_alternative<std::int64_t>(*requested)))
      hr = WBEM_E_INVALID_PARAMETER;
  }
  if (SUCCEEDED(hr)) {
    const std::uint32_t value = panelBrightness(std::get<std::int64_t>(*requested));
    EventBus bus;
    EventBus::Hold hold(bus);
    auto before = ec_.read(plan.reg);
    if (!hold.held() || !before || !ec_.write(plan.reg, value)) {
      hr = WBEM_E_FAILED;
    } else if (*before != value) {
      const std::uint32_t values[] = {value};
      bus.raiseHeld(hold, values, kBrightnessEventClass);
    }
  }
  giveCallResult(pp, hr, nullptr, {});
  return hr;
}

HRESULT Services::ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                  IWbemObjectSink*) {
  if (gone()) return RPC_E_DISCONNECTED;
  return WBEM_E_NOT_SUPPORTED;
}

}  // namespace emu
