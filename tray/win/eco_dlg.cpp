#include "eco_dlg.h"

#include "device_commands_win.h"

#include <windows.h>
#include <powrprof.h>

#include <cstring>
#include <string>

namespace vx {

namespace {

static_assert(sizeof(SchemeId) == sizeof(GUID));

GUID ToGuid(const SchemeId& id) {
    GUID g;
    std::memcpy(&g, &id, sizeof g);
    return g;
}

SchemeId ToSchemeId(const GUID& g) {
    SchemeId id;
    std::memcpy(&id, &g, sizeof id);
    return id;
}

// The power-management functions, always without a root power key.
class PowrprofCalls : public PowerSchemeCalls {
public:
    bool GetActive(SchemeId& active) override {
        GUID* scheme = nullptr;
        if (PowerGetActiveScheme(nullptr, &scheme) != ERROR_SUCCESS || !scheme) return false;
        active = ToSchemeId(*scheme);
        LocalFree(scheme);
        return true;
    }
    bool ImportEcoFile(const SchemeId& as) override {
        wchar_t path[MAX_PATH] = {};
        if (!MultiByteToWideChar(CP_ACP, 0, kEcoSchemeFile, -1, path, MAX_PATH)) return false;
        GUID wanted = ToGuid(as);
        GUID* destination = &wanted;
        DWORD rc = PowerImportPowerScheme(nullptr, path, &destination);
        // Given a destination the call fills in none of its own.
        if (destination != &wanted) LocalFree(destination);
        return rc == ERROR_SUCCESS;
    }
    bool SetActive(const SchemeId& scheme) override {
        GUID g = ToGuid(scheme);
        return PowerSetActiveScheme(nullptr, &g) == ERROR_SUCCESS;
    }
    bool Delete(const SchemeId& scheme) override {
        GUID g = ToGuid(scheme);
        return PowerDeleteScheme(nullptr, &g) == ERROR_SUCCESS;
    }
    Enumerated Enumerate(unsigned index, SchemeId& scheme) override {
        GUID g = {};
        DWORD size = sizeof g;
        const DWORD rc =
            PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, index, reinterpret_cast<UCHAR*>(&g), &size);
        if (rc == ERROR_NO_MORE_ITEMS) return Enumerated::End;
        if (rc != ERROR_SUCCESS) return Enumerated::Failed;
        scheme = ToSchemeId(g);
        return Enumerated::Scheme;
    }
};

// One per process: the saved scheme lives as long as the program.
EcoSchemes& ProcessEcoSchemes() {
    static PowrprofCalls calls;
    static EcoSchemes schemes(calls);
    return schemes;
}

void RemoveLeftoverModeScheme() {
    if (ProcessEcoSchemes().RemoveLeftoverModeScheme()) SetEcoFlag(0);
}

}  // namespace

void EnableEcoScheme() { ProcessEcoSchemes().Enable(); }

void DisableEcoScheme(int restoreMode) { ProcessEcoSchemes().Disable(restoreMode); }

void RemoveEcoScheme(int restoreMode) { ProcessEcoSchemes().Remove(restoreMode); }

CVXSysECODlg::CVXSysECODlg() { RemoveLeftoverModeScheme(); }

CVXSysECODlg::~CVXSysECODlg() { RemoveLeftoverModeScheme(); }

}  // namespace vx
