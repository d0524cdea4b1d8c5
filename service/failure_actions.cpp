#include "failure_actions.h"

#include <iterator>

#include "service_core.h"
#include "win_handles.h"

namespace harrowd {

static_assert(static_cast<DWORD>(RecoveryAction::None) == SC_ACTION_NONE);
static_assert(static_cast<DWORD>(RecoveryAction::Restart) == SC_ACTION_RESTART);

bool SetFailureActions(SC_HANDLE service, ChangeConfig2 change) {
    SC_ACTION actions[std::size(kFailurePolicy.steps)];
    for (std::size_t i = 0; i < std::size(actions); ++i) {
        actions[i].Type = static_cast<SC_ACTION_TYPE>(kFailurePolicy.steps[i].action);
        actions[i].Delay = kFailurePolicy.steps[i].delayMs;
    }
    SERVICE_FAILURE_ACTIONSA info{};
    info.dwResetPeriod = kFailurePolicy.resetPeriodSeconds;
    info.lpRebootMsg = nullptr;  // no reboot message and no command: left as they are
    info.lpCommand = nullptr;
    info.cActions = static_cast<DWORD>(std::size(actions));
    info.lpsaActions = actions;
    return change(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info) != FALSE;
}

bool SetOwnFailureActions(ChangeConfig2 change) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    ServiceHandle service(OpenServiceA(manager.Get(), kServiceName, kFailureActionsAccess));
    if (!service) return false;
    return SetFailureActions(service.Get(), change);
}

}  // namespace harrowd
