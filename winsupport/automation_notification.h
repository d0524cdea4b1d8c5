// UI Automation's notification event, bound at run time: the functions
// exist from Windows 10 version 1709 on, and a program that imported them
// would not start on earlier systems.
#pragma once

#include "system_library.h"

#include <windows.h>
#include <ole2.h>

#include <string>

class AutomationNotification {
public:
    explicit AutomationNotification(const char* library = "uiautomationcore.dll") {
        m_module = LoadSystemLibrary(library);
        if (!m_module) return;
        m_raise = reinterpret_cast<RaiseFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "UiaRaiseNotificationEvent")));
        m_hostProvider =
            reinterpret_cast<HostProviderFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "UiaHostProviderFromHwnd")));
        m_listening =
            reinterpret_cast<ListeningFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "UiaClientsAreListening")));
    }
    ~AutomationNotification() {
        if (m_module) FreeLibrary(m_module);
    }
    AutomationNotification(const AutomationNotification&) = delete;
    AutomationNotification& operator=(const AutomationNotification&) = delete;

    // Every function the notification needs was found.
    bool Bound() const { return m_raise && m_hostProvider && m_listening; }
    bool ClientsListening() const { return Bound() && m_listening(); }

    // The text as a finished action's notification of the window's element,
    // replacing one of the same activity not yet spoken. False when it could
    // not be raised.
    bool Raise(HWND window, const std::wstring& text, const wchar_t* activity) const {
        if (!Bound()) return false;
        IUnknown* provider = nullptr;  // IRawElementProviderSimple
        if (FAILED(m_hostProvider(window, &provider)) || !provider) return false;
        BSTR display = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        BSTR activityId = SysAllocString(activity);
        const bool raised = display && activityId &&
                            SUCCEEDED(m_raise(provider, kActionCompleted, kMostRecent, display, activityId));
        SysFreeString(display);
        SysFreeString(activityId);
        provider->Release();
        return raised;
    }

private:
    // NotificationKind_ActionCompleted and NotificationProcessing_MostRecent.
    static constexpr int kActionCompleted = 2;
    static constexpr int kMostRecent = 3;
    using RaiseFn = HRESULT(WINAPI*)(IUnknown*, int, int, BSTR, BSTR);
    using HostProviderFn = HRESULT(WINAPI*)(HWND, IUnknown**);
    using ListeningFn = BOOL(WINAPI*)();

    HMODULE m_module = nullptr;
    RaiseFn m_raise = nullptr;
    HostProviderFn m_hostProvider = nullptr;
    ListeningFn m_listening = nullptr;
};
