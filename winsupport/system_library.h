// Loads a library of the system from the system folder only, never a file
// of the same name beside the program or in the current folder: through the
// system-folder search flag, or, where the system does not know that flag,
// by the system folder's full path.
#pragma once

#include <windows.h>

#include <string>

inline HMODULE LoadSystemLibrary(const char* name) {
    if (HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    char directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return LoadLibraryA((std::string(directory) + "\\" + name).c_str());
}
