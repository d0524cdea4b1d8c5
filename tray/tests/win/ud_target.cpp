// A program for the user-defined key to start (test build only): writes the
// folder it was started in to "ud_target.txt" in that folder.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char folder[MAX_PATH] = {};
    DWORD len = GetCurrentDirectoryA(MAX_PATH, folder);
    HANDLE f = CreateFileA("ud_target.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(f, folder, len, &written, nullptr);
    CloseHandle(f);
    return 0;
}
