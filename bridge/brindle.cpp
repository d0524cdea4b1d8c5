// The bridge object: its two fields and the COM set-up of the thread it lives on.
#include "Brindle.h"

#include "access_rules.h"
#include "internal.h"

namespace {

// Constructions on this thread whose CoInitialize failed (the thread already
// belongs to the multithreaded apartment). Their destruction must not call
// CoUninitialize, or it would take back an initialisation that belongs to
// the caller.
thread_local int t_unmatchedInits = 0;

}  // namespace

CBrindle::CBrindle() : m_hEventWnd(nullptr), m_nOSVersion(0) {
    GetOSVer();
    InitialCOM();
}

CBrindle::~CBrindle() {
    brindle::ForgetSubscriptions(m_hEventWnd);
    UnInitialCOM();
}

CBrindle& CBrindle::operator=(const CBrindle& other) {
    m_hEventWnd = other.m_hEventWnd;
    m_nOSVersion = other.m_nOSVersion;
    return *this;
}

void CBrindle::AddHWND(HWND hwnd) {
    m_hEventWnd = hwnd;
}

void CBrindle::GetOSVer() {
    // The extended structure is the one whose size is 156 bytes.
    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
        m_nOSVersion = 0;
        return;
    }
    m_nOSVersion = brindle::OsGeneration(info.dwMajorVersion, info.dwMinorVersion);
}

void CBrindle::InitialCOM() {
    if (FAILED(CoInitialize(nullptr))) ++t_unmatchedInits;
    // Process-wide security; only the first call in a process takes effect.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_NONE, nullptr);
}

void CBrindle::UnInitialCOM() {
    if (t_unmatchedInits > 0) {
        --t_unmatchedInits;
        return;
    }
    CoUninitialize();
}
