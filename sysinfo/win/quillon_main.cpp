// Quillon.exe: the system information viewer. Everything happens in the
// application object's start-up; the process ends when it returns.
#include <windows.h>

#include "QNSystemInfoApp.h"

namespace {
CQNSystemInfoApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    theApp.InitInstance();
    return 0;
}
