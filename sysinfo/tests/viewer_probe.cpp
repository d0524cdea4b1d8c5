// Looks at the viewer's dialog from outside for the demo and the memory
// benchmark (test build only):
//   viewer_probe wait MS [TITLE]   waits for the dialog; prints "x y w h" of its window
//   viewer_probe close MS [TITLE]  presses its OK button and waits until it is gone
// Without TITLE the dialog is the viewer's, known by its gauge area
// (control 1013), in any language; with TITLE any dialog of that title.
// Exit code 0 when done, 1 when the deadline passed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialog_find.h"

namespace {

HWND WaitDialog(DWORD ms, const char* title) {
    viewertest::DialogMatch match;
    match.title = title;
    match.childId = title ? 0 : 1013;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10))
        if (HWND dlg = viewertest::FindVisibleDialog(match)) return dlg;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: viewer_probe wait|close MS [TITLE]\n");
        return 2;
    }
    const std::string mode = argv[1];
    const DWORD ms = static_cast<DWORD>(std::atol(argv[2]));
    const char* title = argc > 3 ? argv[3] : nullptr;
    HWND dlg = WaitDialog(ms, title);
    if (!dlg) return 1;
    if (mode == "wait") {
        RECT r{};
        GetWindowRect(dlg, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (mode == "close") {
        PostMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
        for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10))
            if (!IsWindow(dlg)) return 0;
        return 1;
    }
    return 2;
}
