// MtaWorker: one job run on a worker thread of the multithreaded apartment,
// started at construction and waited for with a bound. The job keeps what it
// produces in state it shares with its owner, so a worker that is not waited
// for to its end holds nothing of its owner's.
#pragma once

#include <windows.h>

#include <functional>

class MtaWorker {
public:
    // Starts the job; Started() tells whether a thread could be made (when
    // not, the job never runs).
    explicit MtaWorker(std::function<void()> job);
    // Closes the thread's handle; a worker still running is left to end on
    // its own.
    ~MtaWorker();
    MtaWorker(const MtaWorker&) = delete;
    MtaWorker& operator=(const MtaWorker&) = delete;

    bool Started() const { return m_thread != nullptr; }
    // Waits at most until waitMs after the start; true once the job has ended.
    bool WaitSinceStart(DWORD waitMs);

private:
    HANDLE m_thread = nullptr;
    ULONGLONG m_startedAt = 0;
};
