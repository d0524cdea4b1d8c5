// CQNSystemInfoApp: the viewer's application object. It lets one copy run
// per machine and only with a brand option, gathers the texts the
// information dialog shows, runs the dialog modally and then lets the
// process end (at once when the firmware never answered).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "dialog_rules.h"
#include "viewer_rules.h"

class CBMSysInfo;

class CQNSystemInfoApp {
public:
    CQNSystemInfoApp() = default;
    CQNSystemInfoApp(const CQNSystemInfoApp&) = delete;
    CQNSystemInfoApp& operator=(const CQNSystemInfoApp&) = delete;

    // The whole program: returns false in every case (refused, or the
    // dialog has ended), after which the process ends.
    bool InitInstance();

    quillon::Brand GetBrand() const { return m_brand; }

private:
    // Brand, COM, inventory, firmware version and the modal dialog of a copy
    // allowed to run; true when the firmware walk never answered and still
    // waits on its worker.
    bool ShowInformation();

    quillon::Brand m_brand = quillon::Brand::QN;  // until the command line is read
    quillon::EcVersionRecord m_ecVersion;
    CBMSysInfo* m_pMainWnd = nullptr;
};

// "ProcessorNameString" of the first processor from the registry, or none
// when the key or the value cannot be read.
std::optional<std::string> RegistryProcessorName();
