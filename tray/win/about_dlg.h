// The about box: product and firmware interface versions, the maker's lines
// on the maker's own BIOS, and the Ctrl+Alt+S switch of the activity log.
#pragma once

#include "dialog_base.h"

namespace vx {

class CVorlixDlg;

class CVXSysAboutDlg : public CDialogBase {
public:
    explicit CVXSysAboutDlg(CVorlixDlg& mainWindow) : m_main(mainWindow) {}

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnInitDialog();
    void OnLoggingHotKey();

    CVorlixDlg& m_main;
};

}  // namespace vx
