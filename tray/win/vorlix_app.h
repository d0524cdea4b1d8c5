// The tray program's application object: one instance per session, one
// modal main window for the whole run.
#pragma once

namespace vx {

class CVorlixDlg;

class CVorlixApp {
public:
    // Runs the program; returns at once when another instance is running.
    int Run();

    CVorlixDlg* MainWindow() const { return m_mainWindow; }

private:
    CVorlixDlg* m_mainWindow = nullptr;
};

}  // namespace vx
