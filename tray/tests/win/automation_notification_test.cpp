// UI Automation's notification event bound at run time: a system without
// it (or a library without the functions) leaves it unbound, and nothing
// is raised; where it is bound, a raise reaches the system's function.
#include "automation_notification.h"

#include <gtest/gtest.h>

namespace {

TEST(AutomationNotification, UnboundWhereTheFunctionsAreMissing) {
    // A system library without them, and a library the system does not have.
    for (const char* library : {"user32.dll", "no-such-library-here.dll"}) {
        SCOPED_TRACE(library);
        AutomationNotification notification(library);
        EXPECT_FALSE(notification.Bound());
        EXPECT_FALSE(notification.ClientsListening());
        EXPECT_FALSE(notification.Raise(GetDesktopWindow(), L"Wireless on", L"OsdResult"));
    }
}

TEST(AutomationNotification, TheSystemsLibraryAnswersWhatItHas) {
    AutomationNotification notification;
    HMODULE module = GetModuleHandleA("uiautomationcore.dll");
    const bool complete = module && GetProcAddress(module, "UiaRaiseNotificationEvent") &&
                          GetProcAddress(module, "UiaHostProviderFromHwnd") &&
                          GetProcAddress(module, "UiaClientsAreListening");
    EXPECT_EQ(notification.Bound(), complete);
    std::printf("uiautomationcore.dll: %s, notification %s, clients listening: %s\n", module ? "loaded" : "missing",
                notification.Bound() ? "bound" : "not bound", notification.ClientsListening() ? "yes" : "no");
    if (!notification.Bound()) GTEST_SKIP() << "this system has no notification event to raise";
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    std::printf("raised: %s\n", notification.Raise(window, L"Wireless on", L"OsdResult") ? "yes" : "no");
    DestroyWindow(window);
}

}  // namespace
