// The keyboard hook library on a thread of its own. The system calls a
// low-level keyboard hook on the thread that installed it, before any
// program sees the key; a thread that also waits on pipes, WMI or the power
// functions would hold up every key press on the machine meanwhile (and the
// system removes a hook that misses its time-out). This thread does nothing
// but pump messages: it loads the library, calls its "Hook", and at the end
// calls "UnHook" and unloads it.
#pragma once

#include "handles.h"

#include <windows.h>

#include <memory>
#include <string>

namespace vx {

class CVXKbHookThread {
public:
    // Starts the thread and waits (bounded) until it has called "Hook" of
    // `library` with `title`, the title of the window that gets the keys.
    CVXKbHookThread(const char* library, const char* title);
    // Asks the thread to end (WM_QUIT) and waits for it, bounded: it calls
    // "UnHook" and unloads the library first.
    ~CVXKbHookThread();
    CVXKbHookThread(const CVXKbHookThread&) = delete;
    CVXKbHookThread& operator=(const CVXKbHookThread&) = delete;

private:
    // Shared with the thread, which may outlive this object when it does not
    // end within the bound.
    struct State {
        std::string library;
        std::string title;
        UniqueOwner<KernelHandleTraits> started;  // set once "Hook" was called (or could not be)
    };
    static DWORD WINAPI ThreadMain(void* state);
    static void Run(State& state);

    std::shared_ptr<State> m_state;
    UniqueOwner<KernelHandleTraits> m_thread;
    DWORD m_threadId = 0;
};

}  // namespace vx
