#include "kb_hook_thread.h"

namespace vx {

namespace {

using HookEntry = int(__cdecl*)(HMODULE, DWORD, const char*);
using UnHookEntry = int(__cdecl*)();

// Loading the library and finding the window take milliseconds; the bounds
// only keep a broken library from holding the program's start or exit.
constexpr DWORD kStartWaitMs = 5000;
constexpr DWORD kStopWaitMs = 5000;

}  // namespace

CVXKbHookThread::CVXKbHookThread(const char* library, const char* title) : m_state(std::make_shared<State>()) {
    m_state->library = library;
    m_state->title = title;
    m_state->started.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_state->started) return;
    auto* threadState = new std::shared_ptr<State>(m_state);
    m_thread.Reset(CreateThread(nullptr, 0, ThreadMain, threadState, 0, &m_threadId));
    if (!m_thread) {
        delete threadState;
        return;
    }
    WaitForSingleObject(m_state->started.Get(), kStartWaitMs);
}

CVXKbHookThread::~CVXKbHookThread() {
    if (!m_thread) return;
    // The thread makes its queue first thing; one still starting gets the
    // same bounded time to get there.
    const DWORD start = GetTickCount();
    while (!PostThreadMessageA(m_threadId, WM_QUIT, 0, 0)) {
        if (WaitForSingleObject(m_thread.Get(), 10) == WAIT_OBJECT_0) return;
        if (GetTickCount() - start >= kStopWaitMs) return;
    }
    const DWORD spent = GetTickCount() - start;
    WaitForSingleObject(m_thread.Get(), spent < kStopWaitMs ? kStopWaitMs - spent : 0);
}

DWORD WINAPI CVXKbHookThread::ThreadMain(void* state) {
    std::unique_ptr<std::shared_ptr<State>> owned(static_cast<std::shared_ptr<State>*>(state));
    Run(**owned);
    return 0;
}

void CVXKbHookThread::Run(State& state) {
    // Makes the message queue, so that the destructor's WM_QUIT is kept.
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

    HMODULE library = LoadLibraryA(state.library.c_str());
    UnHookEntry unhook = nullptr;
    if (library) {
        auto hook = reinterpret_cast<HookEntry>(GetProcAddress(library, "Hook"));
        unhook = reinterpret_cast<UnHookEntry>(GetProcAddress(library, "UnHook"));
        if (hook) hook(library, 0, state.title.c_str());
    }
    SetEvent(state.started.Get());

    // The hook procedure runs inside this loop's waits.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    if (unhook) unhook();
    if (library) FreeLibrary(library);
}

}  // namespace vx
