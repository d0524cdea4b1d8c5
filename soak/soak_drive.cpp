// Soak helper: the system's own messages, many at a time, and a watch on a
// window that tells whether its thread keeps answering.
//
//   soak_drive power COUNT PAUSE_MS     COUNT suspend/resume cycles broadcast to every
//                                       top-level window, as the system sends them
//   soak_drive taskbar COUNT PAUSE_MS   COUNT "TaskbarCreated" broadcasts (the shell restarted)
//   soak_drive watch CLASS TITLE PERIOD_MS LIMIT_MS
//                                       sends WM_NULL to the window every PERIOD_MS (each
//                                       waiting at most LIMIT_MS) until "soak_drive stop";
//                                       prints probes= answered= hangs= missing= max_ms=
//   soak_drive stop                     ends a running watch
//   soak_drive hold FILE MS             holds FILE for MS ms as a backup tool would: opened
//                                       without sharing, or, where another program has it open
//                                       (which refuses that), opened shared and locked whole;
//                                       prints how (exclusive=1 or locked=1)
// Broadcasts skip a window that does not answer within 5 seconds and count it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kStopEvent[] = "SoakDriveWatchStop";
constexpr UINT kBroadcastWaitMs = 5000;

struct SendAll {
    UINT msg;
    WPARAM w;
    LPARAM l;
    int unanswered;
};

BOOL CALLBACK SendOne(HWND hwnd, LPARAM arg) {
    auto* s = reinterpret_cast<SendAll*>(arg);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, s->msg, s->w, s->l, SMTO_ABORTIFHUNG | SMTO_BLOCK, kBroadcastWaitMs, &result))
        ++s->unanswered;
    return TRUE;
}

// Sends a message to every top-level window and waits for each; returns how
// many windows did not answer in time.
int Broadcast(UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD recipients = BSM_APPLICATIONS;
    LONG r = BroadcastSystemMessageA(BSF_FORCEIFHUNG | BSF_NOTIMEOUTIFNOTHUNG | BSF_IGNORECURRENTTASK, &recipients,
                                     msg, wParam, lParam);
    if (r > 0) return 0;
    // Where the broadcast is refused, each window is asked in turn.
    SendAll send = {msg, wParam, lParam, 0};
    EnumWindows(SendOne, reinterpret_cast<LPARAM>(&send));
    return send.unanswered;
}

int Repeat(int count, DWORD pauseMs, bool power) {
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    int unanswered = 0;
    for (int i = 0; i < count; ++i) {
        if (power) {
            unanswered += Broadcast(WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
            Sleep(pauseMs);
            unanswered += Broadcast(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
            unanswered += Broadcast(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        } else {
            unanswered += Broadcast(taskbarCreated, 0, 0);
        }
        Sleep(pauseMs);
    }
    std::printf("sent=%d unanswered=%d\n", count, unanswered);
    return 0;
}

int Watch(const char* cls, const char* title, DWORD periodMs, DWORD limitMs) {
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, kStopEvent);
    if (!stop) return 1;
    long probes = 0, answered = 0, hangs = 0, missing = 0;
    DWORD maxMs = 0;
    do {
        ++probes;
        HWND hwnd = FindWindowA(cls, title);
        if (!hwnd) {
            ++missing;
            continue;
        }
        DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        bool ok = SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_BLOCK, limitMs, &result) != 0;
        DWORD took = GetTickCount() - start;
        if (took > maxMs) maxMs = took;
        if (ok)
            ++answered;
        else if (IsWindow(hwnd))
            ++hangs;  // the window is there and its thread did not answer in time
        else
            ++missing;
    } while (WaitForSingleObject(stop, periodMs) == WAIT_TIMEOUT);
    CloseHandle(stop);
    std::printf("probes=%ld answered=%ld hangs=%ld missing=%ld max_ms=%lu\n", probes, answered, hangs, missing, maxMs);
    return 0;
}

int Hold(const char* path, DWORD ms) {
    HANDLE f = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool exclusive = f != INVALID_HANDLE_VALUE;
    bool locked = false;
    if (!exclusive && GetLastError() == ERROR_SHARING_VIOLATION) {
        f = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        OVERLAPPED whole = {};
        locked = f != INVALID_HANDLE_VALUE &&
                 LockFileEx(f, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole);
    }
    if (!exclusive && !locked) {
        std::fprintf(stderr, "soak_drive: cannot hold %s (error %lu)\n", path, GetLastError());
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
        return 1;
    }
    std::printf("exclusive=%d locked=%d\n", exclusive ? 1 : 0, locked ? 1 : 0);
    std::fflush(stdout);
    Sleep(ms);
    CloseHandle(f);  // ends the lock too
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: soak_drive power COUNT PAUSE_MS | taskbar COUNT PAUSE_MS |\n"
                 "                  watch CLASS TITLE PERIOD_MS LIMIT_MS | stop | hold FILE MS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const char* cmd = argv[1];
    auto num = [&](int i) { return i < argc ? std::strtoul(argv[i], nullptr, 10) : 0ul; };
    if ((!std::strcmp(cmd, "power") || !std::strcmp(cmd, "taskbar")) && argc == 4)
        return Repeat(static_cast<int>(num(2)), num(3), !std::strcmp(cmd, "power"));
    if (!std::strcmp(cmd, "watch") && argc == 6) return Watch(argv[2], argv[3], num(4), num(5));
    if (!std::strcmp(cmd, "hold") && argc == 4) return Hold(argv[2], num(3));
    if (!std::strcmp(cmd, "stop") && argc == 2) {
        HANDLE stop = OpenEventA(EVENT_MODIFY_STATE, FALSE, kStopEvent);
        if (!stop) return 1;
        SetEvent(stop);
        CloseHandle(stop);
        return 0;
    }
    return Usage();
}
