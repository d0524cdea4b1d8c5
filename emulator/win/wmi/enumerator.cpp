#include "enumerator.h"

#include <new>

#include "object.h"

namespace emu {
namespace {
bool validTimeout(LONG t) { return t >= 0 || t == static_cast<LONG>(WBEM_INFINITE); }
}  // namespace

Enumerator* Enumerator::create(std::shared_ptr<const ResultSet> results, bool forwardOnly,
                               std::size_t position) {
  return new (std::nothrow) Enumerator(std::move(results), forwardOnly, position);
}

HRESULT Enumerator::Reset() {
  if (forwardOnly_) return WBEM_E_INVALID_OPERATION;
  SrwGuard g(lock_);
  pos_ = 0;
  return WBEM_S_NO_ERROR;
}

// Every result is ready when the query returns, so the time-out never
// expires: Next gives what is left, up to uCount, at once.
HRESULT Enumerator::Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                         ULONG* puReturned) {
  if (!apObjects || !puReturned || !validTimeout(lTimeout)) return WBEM_E_INVALID_PARAMETER;
  *puReturned = 0;
  SrwGuard g(lock_);
  ULONG n = 0;
  while (n < uCount && pos_ < results_->items.size()) {
    const InstanceSnapshot& s = results_->items[pos_];
    WbemObject* obj = WbemObject::newInstance(*s.cls, s.values, results_->server);
    if (!obj) {
      for (ULONG i = 0; i < n; ++i) {
        apObjects[i]->Release();
        apObjects[i] = nullptr;
      }
      return WBEM_E_OUT_OF_MEMORY;
    }
    apObjects[n++] = obj;
    ++pos_;
  }
  *puReturned = n;
  return n == uCount ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
}

HRESULT Enumerator::NextAsync(ULONG, IWbemObjectSink*) { return WBEM_E_NOT_SUPPORTED; }

HRESULT Enumerator::Clone(IEnumWbemClassObject** ppEnum) {
  if (!ppEnum) return WBEM_E_INVALID_PARAMETER;
  *ppEnum = nullptr;
  if (forwardOnly_) return WBEM_E_INVALID_OPERATION;
  SrwGuard g(lock_);
  *ppEnum = create(results_, false, pos_);
  return *ppEnum ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

HRESULT Enumerator::Skip(LONG lTimeout, ULONG nCount) {
  if (!validTimeout(lTimeout)) return WBEM_E_INVALID_PARAMETER;
  SrwGuard g(lock_);
  const std::size_t left = results_->items.size() - pos_;
  if (nCount > left) {
    pos_ = results_->items.size();
    return WBEM_S_FALSE;
  }
  pos_ += nCount;
  return WBEM_S_NO_ERROR;
}

}  // namespace emu
