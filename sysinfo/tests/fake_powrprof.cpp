// A stand-in "powrprof.dll" that a test puts beside a copy of the viewer
// (test build only). The viewer must load the system's library instead; the
// stand-in answers the one call the viewer makes, so a viewer that loaded
// it would run on unaware, and the test tells the two apart by their paths.
#include <windows.h>

extern "C" __declspec(dllexport) BOOLEAN WINAPI ReadGlobalPwrPolicy(void*) { return FALSE; }
