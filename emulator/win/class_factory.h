// The class factory of an in-process COM server of the emulated notebook,
// kept as a static object of its DLL: its lifetime is the module's, so
// AddRef and Release count nothing. Each object is made with a reference
// count of one, handed out through QueryInterface and released again, so a
// failed QueryInterface frees it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <new>

namespace emu {

template <class T>
class StaticClassFactory final : public IClassFactory {
 public:
  // `locks` counts LockServer calls toward the module's DllCanUnloadNow.
  explicit StaticClassFactory(std::atomic<long>& locks) : locks_(locks) {}
  StaticClassFactory(const StaticClassFactory&) = delete;
  StaticClassFactory& operator=(const StaticClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T();
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) ++locks_;
    else --locks_;
    return S_OK;
  }

 private:
  std::atomic<long>& locks_;
};

}  // namespace emu
