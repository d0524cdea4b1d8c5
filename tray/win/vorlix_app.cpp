#include "vorlix_app.h"

#include "handles.h"
#include "resource.h"
#include "vorlix_dlg.h"

#include <memory>

namespace vx {

namespace {

constexpr char kSingleInstanceMutex[] = "Corvane";

}  // namespace

int CVorlixApp::Run() {
    UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kSingleInstanceMutex));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another instance runs: leave silently without disturbing it.
        return 0;
    }
    auto mainWindow = std::make_unique<CVorlixDlg>();
    m_mainWindow = mainWindow.get();
    mainWindow->DoModal(IDD_VORLIX_DIALOG, nullptr);
    mutex.Reset();
    m_mainWindow = nullptr;
    mainWindow.reset();
    return 0;
}

}  // namespace vx

namespace {
vx::CVorlixApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return theApp.Run(); }
