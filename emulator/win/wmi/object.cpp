#include "object.h"

#include "method_class.h"

#include <new>

#include "text.h"
#include "variant.h"
#include "wide.h"

namespace emu {
namespace {

// GetNames / BeginEnumeration origin and kind flags to the set of names.
std::optional<NameSet> nameSetFor(LONG flags) {
  NameSet set;
  switch (flags & WBEM_MASK_CONDITION_ORIGIN) {
    case 0: set = NameSet::All; break;
    case WBEM_FLAG_LOCAL_ONLY:
    case WBEM_FLAG_NONSYSTEM_ONLY: set = NameSet::NonSystemOnly; break;
    case WBEM_FLAG_PROPAGATED_ONLY: set = NameSet::None; break;
    case WBEM_FLAG_SYSTEM_ONLY: set = NameSet::SystemOnly; break;
    default: return std::nullopt;
  }
  if (flags & WBEM_FLAG_REFS_ONLY) return NameSet::None;
  if (flags & WBEM_FLAG_KEYS_ONLY)
    return (set == NameSet::None || set == NameSet::SystemOnly) ? NameSet::None : NameSet::KeysOnly;
  return set;
}

constexpr LONG kNameFlagsAllowed = WBEM_MASK_CONDITION_ORIGIN | WBEM_FLAG_KEYS_ONLY |
                                   WBEM_FLAG_REFS_ONLY;

HRESULT namesToSafeArray(const std::vector<std::string_view>& names, SAFEARRAY** out) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(names.size()));
  if (!sa) return WBEM_E_OUT_OF_MEMORY;
  for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i) {
    Bstr b(toWide(names[i]).c_str());
    if (!b.get() || FAILED(SafeArrayPutElement(sa, &i, b.get()))) {
      SafeArrayDestroy(sa);
      return WBEM_E_OUT_OF_MEMORY;
    }
  }
  *out = sa;
  return WBEM_S_NO_ERROR;
}

}  // namespace

WbemObject::WbemObject(const ClassDef& cls, bool isClass, std::vector<Value> values,
                       std::string server)
    : cls_(cls), isClass_(isClass), values_(std::move(values)), server_(std::move(server)) {}

WbemObject* WbemObject::newInstance(const ClassDef& cls, std::vector<Value> values,
                                    std::string server) {
  return new (std::nothrow) WbemObject(cls, false, std::move(values), std::move(server));
}

WbemObject* WbemObject::newClass(const ClassDef& cls, std::string server) {
  return new (std::nothrow) WbemObject(cls, true, classValues(cls), std::move(server));
}

HRESULT WbemObject::getLocked(std::string_view name, VARIANT* pVal, CIMTYPE* pType,
                              LONG* plFlavor) {
  if (isSystemName(name)) {
    auto key = keyProperty(cls_);
    static const Value kNull;
    ObjectIdentity id{cls_, isClass_, key ? values_[*key] : kNull, server_};
    auto sys = systemProperty(name, id);
    if (!sys) return WBEM_E_NOT_FOUND;
    if (pVal) {
      HRESULT hr = toVariant(sys->value, sys->type, pVal);
      if (FAILED(hr)) return hr;
    }
    if (pType) *pType = cimTypeOf(sys->type);
    if (plFlavor) *plFlavor = WBEM_FLAVOR_ORIGIN_SYSTEM;
    return WBEM_S_NO_ERROR;
  }
  auto idx = findProperty(cls_, name);
  if (!idx) return WBEM_E_NOT_FOUND;
  const PropertyDef& p = cls_.properties[*idx];
  if (pVal) {
    HRESULT hr = toVariant(values_[*idx], p.type, pVal);
    if (FAILED(hr)) return hr;
  }
  if (pType) *pType = cimTypeOf(p.type);
  if (plFlavor) *plFlavor = WBEM_FLAVOR_ORIGIN_LOCAL;
  return WBEM_S_NO_ERROR;
}

HRESULT WbemObject::Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                        LONG* plFlavor) {
  if (!wszName || lFlags != 0) return WBEM_E_INVALID_PARAMETER;
  if (pVal) VariantInit(pVal);
  SrwGuard g(lock_);
  return getLocked(toUtf8(wszName), pVal, pType, plFlavor);
}

HRESULT WbemObject::Put(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE Type) {
  if (!wszName || lFlags != 0) return WBEM_E_INVALID_PARAMETER;
  const std::string name = toUtf8(wszName);
  if (isSystemName(name)) {
    static const Value kNull;
    ObjectIdentity id{cls_, isClass_, kNull, server_};
    return systemProperty(name, id) ? WBEM_E_READ_ONLY : WBEM_E_NOT_FOUND;
  }
  auto idx = findProperty(cls_, name);
  if (!idx) return WBEM_E_NOT_FOUND;
  const PropertyDef& p = cls_.properties[*idx];
  if (Type != 0 && Type != cimTypeOf(p.type)) return WBEM_E_TYPE_MISMATCH;
  auto supplied = fromVariant(pVal);
  if (!supplied) return WBEM_E_TYPE_MISMATCH;
  auto converted = coerce(p.type, *supplied);
  if (!converted) return WBEM_E_TYPE_MISMATCH;
  SrwGuard g(lock_);
  values_[*idx] = std::move(*converted);
  return WBEM_S_NO_ERROR;
}

HRESULT WbemObject::GetNames(LPCWSTR wszQualifierName, LONG lFlags, VARIANT*, SAFEARRAY** pNames) {
  if (!pNames) return WBEM_E_INVALID_PARAMETER;
  *pNames = nullptr;
  if (lFlags & ~(kNameFlagsAllowed | WBEM_MASK_PRIMARY_CONDITION)) return WBEM_E_INVALID_PARAMETER;
  auto set = nameSetFor(lFlags);
  if (!set) return WBEM_E_INVALID_PARAMETER;
  std::vector<std::string_view> names = propertyNames(cls_, *set);
  const LONG condition = lFlags & WBEM_MASK_PRIMARY_CONDITION;
  if (wszQualifierName) {
    if (condition == WBEM_FLAG_ALWAYS) return WBEM_E_INVALID_PARAMETER;
    // The only qualifier these classes carry is "key" on InstanceName.
    const bool isKeyQualifier = equalsNoCase(toUtf8(wszQualifierName), "key");
    const bool wantWith = condition != WBEM_FLAG_ONLY_IF_FALSE;
    std::vector<std::string_view> kept;
    for (auto n : names) {
      if (isSystemName(n)) continue;
      bool has = isKeyQualifier && cls_.properties[*findProperty(cls_, n)].key;
      if (has == wantWith) kept.push_back(n);
    }
    names = std::move(kept);
  } else if (condition != WBEM_FLAG_ALWAYS) {
    return WBEM_E_INVALID_PARAMETER;
  }
  return namesToSafeArray(names, pNames);
}

HRESULT WbemObject::BeginEnumeration(LONG lEnumFlags) {
  if (lEnumFlags & ~kNameFlagsAllowed) return WBEM_E_INVALID_PARAMETER;
  auto set = nameSetFor(lEnumFlags);
  if (!set) return WBEM_E_INVALID_PARAMETER;
  SrwGuard g(lock_);
  enumNames_ = propertyNames(cls_, *set);
  enumPos_ = 0;
  enumerating_ = true;
  return WBEM_S_NO_ERROR;
}

HRESULT WbemObject::Next(LONG lFlags, BSTR* strName, VARIANT* pVal, CIMTYPE* pType,
                         LONG* plFlavor) {
  if (lFlags != 0) return WBEM_E_INVALID_PARAMETER;
  if (strName) *strName = nullptr;
  if (pVal) VariantInit(pVal);
  SrwGuard g(lock_);
  if (!enumerating_) return WBEM_E_UNEXPECTED;
  if (enumPos_ >= enumNames_.size()) return WBEM_S_NO_MORE_DATA;
  std::string_view name = enumNames_[enumPos_];
  HRESULT hr = getLocked(name, pVal, pType, plFlavor);
  if (FAILED(hr)) return hr;
  if (strName) {
    *strName = SysAllocString(toWide(name).c_str());
    if (!*strName) {
      if (pVal) VariantClear(pVal);
      return WBEM_E_OUT_OF_MEMORY;
    }
  }
  ++enumPos_;
  return WBEM_S_NO_ERROR;
}

HRESULT WbemObject::EndEnumeration() {
  SrwGuard g(lock_);
  enumerating_ = false;
  enumNames_.clear();
  return WBEM_S_NO_ERROR;
}

HRESULT WbemObject::Clone(IWbemClassObject** ppCopy) {
  if (!ppCopy) return WBEM_E_INVALID_PARAMETER;
  SrwGuard g(lock_);
  *ppCopy = new (std::nothrow) WbemObject(cls_, isClass_, values_, server_);
  return *ppCopy ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

HRESULT WbemObject::GetObjectText(LONG, BSTR* pstrObjectText) {
  if (!pstrObjectText) return WBEM_E_INVALID_PARAMETER;
  SrwGuard g(lock_);
  *pstrObjectText = SysAllocString(toWide(objectText(cls_, isClass_, values_)).c_str());
  return *pstrObjectText ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

HRESULT WbemObject::SpawnInstance(LONG lFlags, IWbemClassObject** ppNewInstance) {
  if (!ppNewInstance || lFlags != 0) return WBEM_E_INVALID_PARAMETER;
  *ppNewInstance = newInstance(cls_, classValues(cls_), server_);
  return *ppNewInstance ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

HRESULT WbemObject::CompareTo(LONG, IWbemClassObject* pCompareTo) {
  if (!pCompareTo) return WBEM_E_INVALID_PARAMETER;
  // Compares class, genus and every property value, read through the
  // interface so that any object can be compared.
  VARIANT v;
  VariantInit(&v);
  if (FAILED(pCompareTo->Get(L"__CLASS", 0, &v, nullptr, nullptr)) || V_VT(&v) != VT_BSTR ||
      !equalsNoCase(toUtf8(V_BSTR(&v)), cls_.name)) {
    VariantClear(&v);
    return WBEM_S_DIFFERENT;
  }
  VariantClear(&v);
  SrwGuard g(lock_);
  for (std::size_t i = 0; i < cls_.properties.size(); ++i) {
    const std::wstring name = toWide(cls_.properties[i].name);
    if (FAILED(pCompareTo->Get(name.c_str(), 0, &v, nullptr, nullptr))) return WBEM_S_DIFFERENT;
    auto other = fromVariant(&v);
    VariantClear(&v);
    auto converted = other ? coerce(cls_.properties[i].type, *other) : std::nullopt;
    if (!converted || *converted != values_[i]) return WBEM_S_DIFFERENT;
  }
  return WBEM_S_SAME;
}

HRESULT WbemObject::GetPropertyOrigin(LPCWSTR wszName, BSTR* pstrClassName) {
  if (!wszName || !pstrClassName) return WBEM_E_INVALID_PARAMETER;
  if (!findProperty(cls_, toUtf8(wszName))) return WBEM_E_NOT_FOUND;
  *pstrClassName = SysAllocString(toWide(cls_.name).c_str());
  return *pstrClassName ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

// The firmware classes derive from nothing.
HRESULT WbemObject::InheritsFrom(LPCWSTR strAncestor) {
  return strAncestor ? WBEM_S_FALSE : WBEM_E_INVALID_PARAMETER;
}

// Only WmiSetBrightness has a signature (its inputs; no outputs); other
// lookups find nothing, and enumeration is empty.
HRESULT WbemObject::GetMethod(LPCWSTR wszName, LONG, IWbemClassObject** ppIn,
                              IWbemClassObject** ppOut) {
  if (ppIn) *ppIn = nullptr;
  if (ppOut) *ppOut = nullptr;
  if (!wszName) return WBEM_E_INVALID_PARAMETER;
  if (&cls_ != &brightnessMethodsClass() || !equalsNoCase(toUtf8(wszName), "WmiSetBrightness"))
    return WBEM_E_NOT_FOUND;
  if (ppIn) {
    *ppIn = newClass(setBrightnessInputClass(), server_);
    if (!*ppIn) return WBEM_E_OUT_OF_MEMORY;
  }
  return WBEM_S_NO_ERROR;
}
HRESULT WbemObject::BeginMethodEnumeration(LONG) { return WBEM_S_NO_ERROR; }
HRESULT WbemObject::NextMethod(LONG, BSTR* pstrName, IWbemClassObject** ppIn,
                               IWbemClassObject** ppOut) {
  if (pstrName) *pstrName = nullptr;
  if (ppIn) *ppIn = nullptr;
  if (ppOut) *ppOut = nullptr;
  return WBEM_S_NO_MORE_DATA;
}
HRESULT WbemObject::EndMethodEnumeration() { return WBEM_S_NO_ERROR; }
HRESULT WbemObject::GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet** ppQualSet) {
  if (ppQualSet) *ppQualSet = nullptr;
  return WBEM_E_NOT_FOUND;
}
HRESULT WbemObject::GetMethodOrigin(LPCWSTR, BSTR* pstrClassName) {
  if (pstrClassName) *pstrClassName = nullptr;
  return WBEM_E_NOT_FOUND;
}

// Qualifier sets, property deletion, class derivation and method changes are
// not offered by the firmware's provider.
HRESULT WbemObject::GetQualifierSet(IWbemQualifierSet** ppQualSet) {
  if (ppQualSet) *ppQualSet = nullptr;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT WbemObject::GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet** ppQualSet) {
  if (ppQualSet) *ppQualSet = nullptr;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT WbemObject::Delete(LPCWSTR) { return WBEM_E_NOT_SUPPORTED; }
HRESULT WbemObject::SpawnDerivedClass(LONG, IWbemClassObject** ppNewClass) {
  if (ppNewClass) *ppNewClass = nullptr;
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT WbemObject::PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) {
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT WbemObject::DeleteMethod(LPCWSTR) { return WBEM_E_NOT_SUPPORTED; }

}  // namespace emu
