#include "mta_worker.h"

#include <objbase.h>

#include <memory>
#include <new>

#include "dialog_rules.h"

namespace {

DWORD WINAPI RunJob(void* param) {
    std::unique_ptr<std::function<void()>> job(static_cast<std::function<void()>*>(param));
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    (*job)();
    job.reset();  // what the job holds goes before the apartment is left
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

}  // namespace

MtaWorker::MtaWorker(std::function<void()> job) {
    auto* forThread = new (std::nothrow) std::function<void()>(std::move(job));
    if (!forThread) return;
    m_startedAt = GetTickCount64();
    m_thread = CreateThread(nullptr, 0, RunJob, forThread, 0, nullptr);
    if (!m_thread) delete forThread;
}

MtaWorker::~MtaWorker() {
    if (m_thread) CloseHandle(m_thread);
}

bool MtaWorker::WaitSinceStart(DWORD waitMs) {
    if (!m_thread) return false;
    static_assert(INFINITE == quillon::kWaitWithoutEnd);
    return WaitForSingleObject(m_thread, quillon::RemainingWaitMs(waitMs, GetTickCount64() - m_startedAt)) ==
           WAIT_OBJECT_0;
}
