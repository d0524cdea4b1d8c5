// Owners for the Windows handles the tray program keeps: each closes its
// handle exactly once and cannot be copied.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace vx {

template <typename Traits>
class UniqueOwner {
public:
    using Handle = typename Traits::Handle;
    UniqueOwner() = default;
    explicit UniqueOwner(Handle h) : m_h(h) {}
    ~UniqueOwner() { Reset(); }
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : m_h(std::exchange(other.m_h, Traits::Invalid())) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) {
            Reset();
            m_h = std::exchange(other.m_h, Traits::Invalid());
        }
        return *this;
    }

    Handle Get() const { return m_h; }
    bool Valid() const { return m_h != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }
    void Reset(Handle h = Traits::Invalid()) {
        if (Valid()) Traits::Close(m_h);
        m_h = h;
    }
    Handle* Receive() {
        Reset();
        return &m_h;
    }

private:
    Handle m_h = Traits::Invalid();
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DestroyMenu(h); }
};
struct FindTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
struct BstrTraits {
    using Handle = BSTR;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { SysFreeString(h); }
};
struct PowerNotifyTraits {
    using Handle = HPOWERNOTIFY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { UnregisterPowerSettingNotification(h); }
};

using UniqueFile = UniqueOwner<FileHandleTraits>;    // CreateFile results
using UniqueHandle = UniqueOwner<KernelHandleTraits>;  // mutexes, events, processes
using UniqueRegKey = UniqueOwner<RegKeyTraits>;
using UniqueMenu = UniqueOwner<MenuTraits>;
using UniqueFind = UniqueOwner<FindTraits>;
using UniqueBstr = UniqueOwner<BstrTraits>;
using UniquePowerNotify = UniqueOwner<PowerNotifyTraits>;

}  // namespace vx
