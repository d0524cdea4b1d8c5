// IEnumWbemClassObject over a snapshot of instances taken when the query
// ran. Each Next hands out fresh copies, so a caller's Put never changes
// what a later pass (after Reset, or in a clone) sees.
#pragma once

#include <wbemcli.h>

#include <memory>
#include <string>
#include <vector>

#include "com.h"
#include "wmi_model.h"

namespace emu {

struct InstanceSnapshot {
  const ClassDef* cls;
  std::vector<Value> values;
};

struct ResultSet {
  std::vector<InstanceSnapshot> items;
  std::string server;
};

class Enumerator final : public ComObject<IEnumWbemClassObject, ClientSecurity> {
 public:
  // forwardOnly: created with WBEM_FLAG_FORWARD_ONLY (no Reset, no Clone).
  static Enumerator* create(std::shared_ptr<const ResultSet> results, bool forwardOnly,
                            std::size_t position = 0);

  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                                 ULONG* puReturned) override;
  HRESULT STDMETHODCALLTYPE NextAsync(ULONG uCount, IWbemObjectSink* pSink) override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** ppEnum) override;
  HRESULT STDMETHODCALLTYPE Skip(LONG lTimeout, ULONG nCount) override;

 private:
  Enumerator(std::shared_ptr<const ResultSet> results, bool forwardOnly, std::size_t position)
      : results_(std::move(results)), forwardOnly_(forwardOnly), pos_(position) {}

  std::shared_ptr<const ResultSet> results_;
  const bool forwardOnly_;
  std::size_t pos_;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace emu
