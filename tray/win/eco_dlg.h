// ECO power modes on the Windows side: the ECO power scheme imported and made
// active while ECO is on, and the clean-up of schemes left by earlier runs.
// Every call runs on the main window's thread; none blocks it for longer
// than a few quick power-management calls (see kPowerCallTries).
#pragma once

#include "dialog_base.h"
#include "eco_schemes.h"

namespace vx {

// The ECO scheme file that ships with the system.
inline constexpr char kEcoSchemeFile[] = "C:\\Windows\\ZELECO";

// ECO on: saves the active scheme, imports the ECO scheme and makes it active.
void EnableEcoScheme();
// ECO off: restore mode 0 returns to the saved scheme, 1 to Power saver;
// the ECO scheme is deleted.
void DisableEcoScheme(int restoreMode);
// DisableEcoScheme only when the ECO scheme exists.
void RemoveEcoScheme(int restoreMode);

// Created by the main window and never shown: construction and destruction
// remove the first ECO mode scheme found (Power saver made active) and then
// clear the firmware's ECO bit.
class CVXSysECODlg : public CDialogBase {
public:
    CVXSysECODlg();
    ~CVXSysECODlg() override;

protected:
    bool OnMessage(UINT, WPARAM, LPARAM, LRESULT&) override { return false; }
};

}  // namespace vx
