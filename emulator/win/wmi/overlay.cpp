#include "overlay.h"

#include <memory>
#include <new>
#include <string>

#include "com.h"
#include "settings_registry.h"
#include "text.h"
#include "wide.h"
#include "wmi_model.h"

namespace emu {
namespace {

using Texts = std::shared_ptr<const ClassOverride>;

const std::wstring* replacement(const ClassOverride& o, LPCWSTR name) {
  if (!name) return nullptr;
  for (const auto& [property, text] : o.texts)
    if (equalsNoCase(toUtf8(property), toUtf8(name))) return &text;
  return nullptr;
}

// One of Wine's objects with some property texts replaced.
class OverlayObject final : public ComObject<IWbemClassObject, ClientSecurity> {
 public:
  static IWbemClassObject* wrap(IWbemClassObject* inner, Texts texts) {
    if (!inner) return nullptr;
    auto* o = new (std::nothrow) OverlayObject(inner, std::move(texts));
    if (!o) inner->Release();
    return o;
  }

  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* val, CIMTYPE* type,
                                LONG* flavor) override {
    HRESULT hr = inner_->Get(name, flags, val, type, flavor);
    if (SUCCEEDED(hr)) replace(name, val, type);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* val, CIMTYPE* type,
                                 LONG* flavor) override {
    HRESULT hr = inner_->Next(flags, name, val, type, flavor);
    if (hr == WBEM_S_NO_ERROR && name) replace(*name, val, type);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** copy) override {
    if (!copy) return WBEM_E_INVALID_PARAMETER;
    HRESULT hr = inner_->Clone(copy);
    if (SUCCEEDED(hr)) {
      *copy = wrap(*copy, texts_);
      if (!*copy) return WBEM_E_OUT_OF_MEMORY;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet** q) override {
    return inner_->GetQualifierSet(q);
  }
  HRESULT STDMETHODCALLTYPE Put(LPCWSTR n, LONG f, VARIANT* v, CIMTYPE t) override {
    return inner_->Put(n, f, v, t);
  }
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR n) override { return inner_->Delete(n); }
  HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR q, LONG f, VARIANT* v, SAFEARRAY** n) override {
    return inner_->GetNames(q, f, v, n);
  }
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG f) override { return inner_->BeginEnumeration(f); }
  HRESULT STDMETHODCALLTYPE EndEnumeration() override { return inner_->EndEnumeration(); }
  HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR p, IWbemQualifierSet** q) override {
    return inner_->GetPropertyQualifierSet(p, q);
  }
  HRESULT STDMETHODCALLTYPE GetObjectText(LONG f, BSTR* t) override {
    return inner_->GetObjectText(f, t);
  }
  HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG f, IWbemClassObject** c) override {
    return inner_->SpawnDerivedClass(f, c);
  }
  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG f, IWbemClassObject** i) override {
    return inner_->SpawnInstance(f, i);
  }
  HRESULT STDMETHODCALLTYPE CompareTo(LONG f, IWbemClassObject* o) override {
    return inner_->CompareTo(f, o);
  }
  HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR n, BSTR* c) override {
    return inner_->GetPropertyOrigin(n, c);
  }
  HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR a) override { return inner_->InheritsFrom(a); }
  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR n, LONG f, IWbemClassObject** i,
                                      IWbemClassObject** o) override {
    return inner_->GetMethod(n, f, i, o);
  }
  HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR n, LONG f, IWbemClassObject* i,
                                      IWbemClassObject* o) override {
    return inner_->PutMethod(n, f, i, o);
  }
  HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR n) override { return inner_->DeleteMethod(n); }
  HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG f) override {
    return inner_->BeginMethodEnumeration(f);
  }
  HRESULT STDMETHODCALLTYPE NextMethod(LONG f, BSTR* n, IWbemClassObject** i,
                                       IWbemClassObject** o) override {
    return inner_->NextMethod(f, n, i, o);
  }
  HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return inner_->EndMethodEnumeration(); }
  HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR m, IWbemQualifierSet** q) override {
    return inner_->GetMethodQualifierSet(m, q);
  }
  HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR m, BSTR* c) override {
    return inner_->GetMethodOrigin(m, c);
  }

 private:
  OverlayObject(IWbemClassObject* inner, Texts texts) : inner_(inner), texts_(std::move(texts)) {}

  void replace(LPCWSTR name, VARIANT* val, CIMTYPE* type) {
    const std::wstring* text = replacement(*texts_, name);
    if (!text) return;
    if (val) {
      VariantClear(val);
      V_VT(val) = VT_BSTR;
      V_BSTR(val) = SysAllocString(text->c_str());
    }
    if (type) *type = CIM_STRING;
  }

  ComPtr<IWbemClassObject> inner_;
  Texts texts_;
};

// Wine's enumerator of an overridden class: at most `left` more objects,
// each wrapped.
class OverlayEnumerator final : public ComObject<IEnumWbemClassObject, ClientSecurity> {
 public:
  OverlayEnumerator(IEnumWbemClassObject* inner, Texts texts)
      : inner_(inner), texts_(std::move(texts)), left_(limit()) {}

  HRESULT STDMETHODCALLTYPE Reset() override {
    left_ = limit();
    return inner_->Reset();
  }
  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                 ULONG* returned) override {
    if (!objects || !returned) return WBEM_E_INVALID_PARAMETER;
    *returned = 0;
    const ULONG asked = count;
    if (count > left_) count = left_;
    HRESULT hr = count ? inner_->Next(timeout, count, objects, returned) : HRESULT(WBEM_S_FALSE);
    if (FAILED(hr)) return hr;
    for (ULONG i = 0; i < *returned; ++i) objects[i] = OverlayObject::wrap(objects[i], texts_);
    left_ -= *returned;
    return *returned == asked ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** copy) override {
    if (copy) *copy = nullptr;
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE Skip(LONG timeout, ULONG count) override {
    if (count > left_) count = left_;
    left_ -= count;
    return count ? inner_->Skip(timeout, count) : HRESULT(WBEM_S_FALSE);
  }

 private:
  ULONG limit() const { return texts_->instances ? *texts_->instances : 0xFFFFFFFFu; }

  ComPtr<IEnumWbemClassObject> inner_;
  Texts texts_;
  ULONG left_;
};

class OverlayServices final : public ComObject<IWbemServices, ClientSecurity> {
 public:
  explicit OverlayServices(IWbemServices* inner) : inner_(inner) {}

  HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR cls, LONG f, IWbemContext* c,
                                               IEnumWbemClassObject** e) override {
    HRESULT hr = inner_->CreateInstanceEnum(cls, f, c, e);
    return cls ? overlay(cls, hr, e) : hr;
  }
  HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR l, const BSTR q, LONG f, IWbemContext* c,
                                      IEnumWbemClassObject** e) override {
    HRESULT hr = inner_->ExecQuery(l, q, f, c, e);
    if (!q) return hr;
    WqlQuery query = parseWql(toUtf8(q));
    if (query.status != WqlQuery::Status::SelectAll) return hr;
    return overlay(toWide(query.className), hr, e);
  }

  HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR n, LONG f, IWbemContext* c,
                                          IWbemServices** s, IWbemCallResult** r) override {
    return inner_->OpenNamespace(n, f, c, s, r);
  }
  HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* s) override {
    return inner_->CancelAsyncCall(s);
  }
  HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG f, IWbemObjectSink** s) override {
    return inner_->QueryObjectSink(f, s);
  }
  HRESULT STDMETHODCALLTYPE GetObject(const BSTR p, LONG f, IWbemContext* c, IWbemClassObject** o,
                                      IWbemCallResult** r) override {
    return inner_->GetObject(p, f, c, o, r);
  }
  HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR p, LONG f, IWbemContext* c,
                                           IWbemObjectSink* s) override {
    return inner_->GetObjectAsync(p, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* o, LONG f, IWbemContext* c,
                                     IWbemCallResult** r) override {
    return inner_->PutClass(o, f, c, r);
  }
  HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject* o, LONG f, IWbemContext* c,
                                          IWbemObjectSink* s) override {
    return inner_->PutClassAsync(o, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR n, LONG f, IWbemContext* c,
                                        IWbemCallResult** r) override {
    return inner_->DeleteClass(n, f, c, r);
  }
  HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR n, LONG f, IWbemContext* c,
                                             IWbemObjectSink* s) override {
    return inner_->DeleteClassAsync(n, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR n, LONG f, IWbemContext* c,
                                            IEnumWbemClassObject** e) override {
    return inner_->CreateClassEnum(n, f, c, e);
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR n, LONG f, IWbemContext* c,
                                                 IWbemObjectSink* s) override {
    return inner_->CreateClassEnumAsync(n, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* o, LONG f, IWbemContext* c,
                                        IWbemCallResult** r) override {
    return inner_->PutInstance(o, f, c, r);
  }
  HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* o, LONG f, IWbemContext* c,
                                             IWbemObjectSink* s) override {
    return inner_->PutInstanceAsync(o, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR p, LONG f, IWbemContext* c,
                                           IWbemCallResult** r) override {
    return inner_->DeleteInstance(p, f, c, r);
  }
  HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR p, LONG f, IWbemContext* c,
                                                IWbemObjectSink* s) override {
    return inner_->DeleteInstanceAsync(p, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR n, LONG f, IWbemContext* c,
                                                    IWbemObjectSink* s) override {
    return inner_->CreateInstanceEnumAsync(n, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR l, const BSTR q, LONG f, IWbemContext* c,
                                           IWbemObjectSink* s) override {
    return inner_->ExecQueryAsync(l, q, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR l, const BSTR q, LONG f,
                                                  IWbemContext* c,
                                                  IEnumWbemClassObject** e) override {
    return inner_->ExecNotificationQuery(l, q, f, c, e);
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR l, const BSTR q, LONG f,
                                                       IWbemContext* c,
                                                       IWbemObjectSink* s) override {
    return inner_->ExecNotificationQueryAsync(l, q, f, c, s);
  }
  HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR p, const BSTR m, LONG f, IWbemContext* c,
                                       IWbemClassObject* i, IWbemClassObject** o,
                                       IWbemCallResult** r) override {
    return inner_->ExecMethod(p, m, f, c, i, o, r);
  }
  HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR p, const BSTR m, LONG f, IWbemContext* c,
                                            IWbemClassObject* i, IWbemObjectSink* s) override {
    return inner_->ExecMethodAsync(p, m, f, c, i, s);
  }

 private:
  // The override is read at each enumeration, so a test may change it on a
  // connection it holds.
  HRESULT overlay(const std::wstring& cls, HRESULT hr, IEnumWbemClassObject** e) {
    if (FAILED(hr) || !e || !*e) return hr;
    auto o = cimv2Override(cls);
    if (!o) return hr;
    auto* wrapped = new (std::nothrow)
        OverlayEnumerator(*e, std::make_shared<const ClassOverride>(std::move(*o)));
    if (!wrapped) {
      (*e)->Release();
      *e = nullptr;
      return WBEM_E_OUT_OF_MEMORY;
    }
    *e = wrapped;
    return hr;
  }

  ComPtr<IWbemServices> inner_;
};

}  // namespace

HRESULT overlayCimv2(IWbemServices* wine, IWbemServices** out) {
  *out = new (std::nothrow) OverlayServices(wine);
  if (*out) return WBEM_S_NO_ERROR;
  wine->Release();
  return WBEM_E_OUT_OF_MEMORY;
}

}  // namespace emu
