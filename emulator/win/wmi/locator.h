// The WMI locator registered in the prefix in place of Wine's: root\WMI is
// served by the emulator, every other namespace by Wine's own locator.
#pragma once

#include <wbemcli.h>

#include "com.h"

namespace emu {

class Locator final : public ComObject<IWbemLocator> {
 public:
  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource, const BSTR strUser,
                                          const BSTR strPassword, const BSTR strLocale,
                                          LONG lSecurityFlags, const BSTR strAuthority,
                                          IWbemContext* pCtx,
                                          IWbemServices** ppNamespace) override;
};

// Wine's locator, created through wbemprox.dll's class factory.
HRESULT createWineLocator(IWbemLocator** out);

}  // namespace emu
