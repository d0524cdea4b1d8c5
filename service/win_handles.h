// Owners of the Windows handles the service opens: each closes its handle
// once, on every path, and cannot be copied.
#pragma once

#include <windows.h>

namespace harrowd {

template <class Handle, class Traits>
class Owner {
public:
    Owner() = default;
    explicit Owner(Handle handle) : m_handle(handle) {}
    ~Owner() { Reset(); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : m_handle(other.Release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return m_handle; }
    explicit operator bool() const { return Traits::Valid(m_handle); }
    Handle Release() {
        Handle handle = m_handle;
        m_handle = Traits::Empty();
        return handle;
    }
    void Reset(Handle handle = Traits::Empty()) {
        if (Traits::Valid(m_handle)) Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = Traits::Empty();
};

// Kernel objects; both "no handle" values of the Windows functions count as empty.
struct KernelHandleTraits {
    static HANDLE Empty() { return nullptr; }
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
using UniqueHandle = Owner<HANDLE, KernelHandleTraits>;

struct ServiceHandleTraits {
    static SC_HANDLE Empty() { return nullptr; }
    static bool Valid(SC_HANDLE h) { return h != nullptr; }
    static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
using ServiceHandle = Owner<SC_HANDLE, ServiceHandleTraits>;

// Memory the system allocated with LocalAlloc for the caller.
struct LocalMemoryTraits {
    static void* Empty() { return nullptr; }
    static bool Valid(void* p) { return p != nullptr; }
    static void Close(void* p) { LocalFree(p); }
};
using LocalMemory = Owner<void*, LocalMemoryTraits>;

}  // namespace harrowd
