// IWbemServices of namespace root\WMI, served from the emulated EC.
#pragma once

#include <wbemcli.h>

#include <memory>
#include <string>

#include "com.h"
#include "ec_registry.h"
#include "settings_registry.h"
#include "method_class.h"
#include "wmi_model.h"

namespace emu {

class Services final : public ComObject<IWbemServices, ClientSecurity> {
 public:
  static Services* create();

  HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR strNamespace, LONG lFlags, IWbemContext* pCtx,
                                          IWbemServices** ppWorkingNamespace,
                                          IWbemCallResult** ppResult) override;
  HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* pSink) override;
  HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG lFlags, IWbemObjectSink** ppResponseHandler) override;
  HRESULT STDMETHODCALLTYPE GetObject(const BSTR strObjectPath, LONG lFlags, IWbemContext* pCtx,
                                      IWbemClassObject** ppObject,
                                      IWbemCallResult** ppCallResult) override;
  HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR strObjectPath, LONG lFlags, IWbemContext* pCtx,
                                           IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* pObject, LONG lFlags, IWbemContext* pCtx,
                                     IWbemCallResult** ppCallResult) override;
  HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject* pObject, LONG lFlags, IWbemContext* pCtx,
                                          IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR strClass, LONG lFlags, IWbemContext* pCtx,
                                        IWbemCallResult** ppCallResult) override;
  HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR strClass, LONG lFlags, IWbemContext* pCtx,
                                             IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR strSuperclass, LONG lFlags, IWbemContext* pCtx,
                                            IEnumWbemClassObject** ppEnum) override;
  HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR strSuperclass, LONG lFlags,
                                                 IWbemContext* pCtx,
                                                 IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* pInst, LONG lFlags, IWbemContext* pCtx,
                                        IWbemCallResult** ppCallResult) override;
  HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* pInst, LONG lFlags, IWbemContext* pCtx,
                                             IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR strObjectPath, LONG lFlags, IWbemContext* pCtx,
                                           IWbemCallResult** ppCallResult) override;
  HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR strObjectPath, LONG lFlags,
                                                IWbemContext* pCtx,
                                                IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR strFilter, LONG lFlags, IWbemContext* pCtx,
                                               IEnumWbemClassObject** ppEnum) override;
  HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR strFilter, LONG lFlags,
                                                    IWbemContext* pCtx,
                                                    IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                                      IWbemContext* pCtx, IEnumWbemClassObject** ppEnum) override;
  HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR strQueryLanguage, const BSTR strQuery,
                                           LONG lFlags, IWbemContext* pCtx,
                                           IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR strQueryLanguage, const BSTR strQuery,
                                                  LONG lFlags, IWbemContext* pCtx,
                                                  IEnumWbemClassObject** ppEnum) override;
  HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR strQueryLanguage,
                                                       const BSTR strQuery, LONG lFlags,
                                                       IWbemContext* pCtx,
                                                       IWbemObjectSink* pResponseHandler) override;
  HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR strObjectPath, const BSTR strMethodName,
                                       LONG lFlags, IWbemContext* pCtx, IWbemClassObject* pInParams,
                                       IWbemClassObject** ppOutParams,
                                       IWbemCallResult** ppCallResult) override;
  HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR strObjectPath, const BSTR strMethodName,
                                            LONG lFlags, IWbemContext* pCtx,
                                            IWbemClassObject* pInParams,
                                            IWbemObjectSink* pResponseHandler) override;

 private:
  Services();
  bool gone() const;
  HRESULT enumerate(const ClassDef& cls, LONG flags, IEnumWbemClassObject** ppEnum);
  HRESULT getObject(const BSTR path, IWbemClassObject** ppObject);
  HRESULT putInstance(IWbemClassObject* inst, LONG flags, std::string* relPath);
  HRESULT setBrightness(const BrightnessMethodPlan& plan, IWbemClassObject* in, IWbemCallResult** pp);

  RegistryEcBackend backend_;
  Ec ec_{backend_};
  SettingsStore settings_;
  const std::string server_;
  const std::uint32_t generation_;  // of the WMI service it was made in
};

}  // namespace emu
