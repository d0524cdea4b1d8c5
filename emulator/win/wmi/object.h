// IWbemClassObject of the emulated classes: an instance (a copy of one data
// block's values, changed locally by Put and written back by PutInstance) or
// a class definition (every value null).
#pragma once

#include <wbemcli.h>

#include <string>
#include <vector>

#include "com.h"
#include "wmi_model.h"

namespace emu {

class WbemObject final : public ComObject<IWbemClassObject, ClientSecurity> {
 public:
  static WbemObject* newInstance(const ClassDef& cls, std::vector<Value> values,
                                 std::string server);
  static WbemObject* newClass(const ClassDef& cls, std::string server);

  // IWbemClassObject
  HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet** ppQualSet) override;
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                                LONG* plFlavor) override;
  HRESULT STDMETHODCALLTYPE Put(LPCWSTR wszName, LONG lFlags, VARIANT* pVal,
                                CIMTYPE Type) override;
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR wszName) override;
  HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR wszQualifierName, LONG lFlags, VARIANT* pQualifierVal,
                                     SAFEARRAY** pNames) override;
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG lEnumFlags) override;
  HRESULT STDMETHODCALLTYPE Next(LONG lFlags, BSTR* strName, VARIANT* pVal, CIMTYPE* pType,
                                 LONG* plFlavor) override;
  HRESULT STDMETHODCALLTYPE EndEnumeration() override;
  HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR wszProperty,
                                                    IWbemQualifierSet** ppQualSet) override;
  HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** ppCopy) override;
  HRESULT STDMETHODCALLTYPE GetObjectText(LONG lFlags, BSTR* pstrObjectText) override;
  HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG lFlags, IWbemClassObject** ppNewClass) override;
  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG lFlags, IWbemClassObject** ppNewInstance) override;
  HRESULT STDMETHODCALLTYPE CompareTo(LONG lFlags, IWbemClassObject* pCompareTo) override;
  HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR wszName, BSTR* pstrClassName) override;
  HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR strAncestor) override;
  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR wszName, LONG lFlags, IWbemClassObject** ppInSignature,
                                      IWbemClassObject** ppOutSignature) override;
  HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR wszName, LONG lFlags, IWbemClassObject* pInSignature,
                                      IWbemClassObject* pOutSignature) override;
  HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR wszName) override;
  HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG lEnumFlags) override;
  HRESULT STDMETHODCALLTYPE NextMethod(LONG lFlags, BSTR* pstrName, IWbemClassObject** ppInSignature,
                                       IWbemClassObject** ppOutSignature) override;
  HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override;
  HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR wszMethod,
                                                  IWbemQualifierSet** ppQualSet) override;
  HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR wszMethodName, BSTR* pstrClassName) override;

 private:
  WbemObject(const ClassDef& cls, bool isClass, std::vector<Value> values, std::string server);
  // Reads one property (system or not) under the lock.
  HRESULT getLocked(std::string_view name, VARIANT* pVal, CIMTYPE* pType, LONG* plFlavor);

  const ClassDef& cls_;
  const bool isClass_;
  std::vector<Value> values_;
  const std::string server_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::vector<std::string_view> enumNames_;
  std::size_t enumPos_ = 0;
  bool enumerating_ = false;
};

}  // namespace emu
