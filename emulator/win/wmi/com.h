// COM plumbing of the WMI provider: owners for interface pointers and BSTRs,
// a reference-counted object base answering QueryInterface for its listed
// interfaces, and the IClientSecurity every object offers so that
// CoSetProxyBlanket succeeds on it as on a Windows WMI proxy.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <oleauto.h>

#include <atomic>
#include <utility>

namespace emu {

// Objects alive and server locks held, for DllCanUnloadNow.
extern std::atomic<long> g_moduleRefs;

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* p) : p_(p) {}  // adopts a reference
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  static ComPtr share(T* p) {
    if (p) p->AddRef();
    return ComPtr(p);
  }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  T** put() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* detach() { return std::exchange(p_, nullptr); }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* s) : b_(SysAllocString(s)) {}
  Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR detach() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
};

// IClientSecurity for objects that live in the caller's process: the
// blanket is remembered and reported back; nothing travels over RPC.
class ClientSecurity : public IClientSecurity {
 public:
  HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD* authn, DWORD* authz,
                                         OLECHAR** serverPrincName, DWORD* authnLevel,
                                         DWORD* impLevel, void** authInfo,
                                         DWORD* capabilities) override {
    if (authn) *authn = authn_;
    if (authz) *authz = authz_;
    if (serverPrincName) *serverPrincName = nullptr;
    if (authnLevel) *authnLevel = authnLevel_;
    if (impLevel) *impLevel = impLevel_;
    if (authInfo) *authInfo = nullptr;
    if (capabilities) *capabilities = capabilities_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD authn, DWORD authz, OLECHAR*,
                                       DWORD authnLevel, DWORD impLevel, void*,
                                       DWORD capabilities) override {
    // RPC_C_AUTHN_DEFAULT and friends keep the current value, as for a proxy.
    if (authn != RPC_C_AUTHN_DEFAULT) authn_ = authn;
    if (authz != RPC_C_AUTHZ_DEFAULT) authz_ = authz;
    if (authnLevel != RPC_C_AUTHN_LEVEL_DEFAULT) authnLevel_ = authnLevel;
    if (impLevel != RPC_C_IMP_LEVEL_DEFAULT) impLevel_ = impLevel;
    if (capabilities != EOAC_DEFAULT) capabilities_ = capabilities;
    return S_OK;
  }
  // There is no proxy to copy: the object itself serves as its copy.
  HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown* proxy, IUnknown** copy) override {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    if (!proxy) return E_INVALIDARG;
    proxy->AddRef();
    *copy = proxy;
    return S_OK;
  }

 private:
  DWORD authn_ = RPC_C_AUTHN_WINNT;
  DWORD authz_ = RPC_C_AUTHZ_NONE;
  DWORD authnLevel_ = RPC_C_AUTHN_LEVEL_CONNECT;
  DWORD impLevel_ = RPC_C_IMP_LEVEL_IMPERSONATE;
  DWORD capabilities_ = EOAC_NONE;
};

// Interface identifier of each base a ComObject may list.
template <class I>
struct Iid {
  static const IID& get() { return __uuidof(I); }
};
template <>
struct Iid<ClientSecurity> {
  static const IID& get() { return IID_IClientSecurity; }
};

// A COM object implementing Interfaces...; the first one stands for
// IUnknown. Derived classes are created with new and die on the last Release.
template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() { ++g_moduleRefs; }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
      *ppv = static_cast<First*>(this);
    } else {
      ((riid == Iid<Interfaces>::get() ? (*ppv = static_cast<Interfaces*>(this), true) : false) ||
       ...);
    }
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  virtual ~ComObject() { --g_moduleRefs; }

 private:
  template <class F, class...>
  struct FirstOf {
    using type = F;
  };
  using First = typename FirstOf<Interfaces...>::type;
  std::atomic<ULONG> refs_{1};
};

// An SRW lock held for a scope.
class SrwGuard {
 public:
  explicit SrwGuard(SRWLOCK& l) : l_(l) { AcquireSRWLockExclusive(&l_); }
  ~SrwGuard() { ReleaseSRWLockExclusive(&l_); }
  SrwGuard(const SrwGuard&) = delete;
  SrwGuard& operator=(const SrwGuard&) = delete;

 private:
  SRWLOCK& l_;
};

}  // namespace emu
