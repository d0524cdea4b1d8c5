// Finds a visible top-level dialog window ("#32770") from outside its
// process, for the viewer's tests, probe and benchmark.
#pragma once

#include <windows.h>

#include <string>

namespace viewertest {

struct DialogMatch {
    DWORD pid = 0;                  // 0: any process
    const char* title = nullptr;    // nullptr: any title
    int childId = 0;                // 0: no control required
};

namespace detail {
struct Search {
    const DialogMatch* match;
    HWND found;
};
inline BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    const DialogMatch& m = *s->match;
    char cls[32] = {}, text[256] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !IsWindowVisible(hwnd)) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (m.pid && owner != m.pid) return TRUE;
    GetWindowTextA(hwnd, text, sizeof text);
    if (m.title && std::string(text) != m.title) return TRUE;
    if (m.childId && !GetDlgItem(hwnd, m.childId)) return TRUE;
    s->found = hwnd;
    return FALSE;
}
}  // namespace detail

inline HWND FindVisibleDialog(const DialogMatch& match) {
    detail::Search search{&match, nullptr};
    EnumWindows(detail::MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace viewertest
