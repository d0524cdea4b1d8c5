// Owners for the viewer's COM pointers, BSTRs and its one lock.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace quillon {

// Holds one reference; not copyable.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Release(); }

    void Release() {
        if (m_p) std::exchange(m_p, nullptr)->Release();
    }
    T** Put() {
        Release();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

class BStr {
public:
    explicit BStr(const wchar_t* text) : m_s(SysAllocString(text)) {}
    ~BStr() { SysFreeString(m_s); }
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    operator BSTR() const { return m_s; }

private:
    BSTR m_s;
};

class Lock {
public:
    Lock() { InitializeCriticalSection(&m_cs); }
    ~Lock() { DeleteCriticalSection(&m_cs); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    class Held {
    public:
        explicit Held(Lock& lock) : m_lock(lock) { EnterCriticalSection(&m_lock.m_cs); }
        ~Held() { LeaveCriticalSection(&m_lock.m_cs); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        Lock& m_lock;
    };

private:
    CRITICAL_SECTION m_cs;
};

}  // namespace quillon
