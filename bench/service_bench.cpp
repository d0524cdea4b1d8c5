// Command round trips through the command service, side by side with a bare
// pipe echo server of the same shape (the floor of the platform): the same
// pipe modes, one instance, an 80-byte request, a 180-byte reply and one
// connection per call, served by a program of its own as the service is.
// Both are called the way the tray program calls the service (CallNamedPipeA
// with the default wait, an 80-byte zero-padded request, an 800-byte reply
// area), in alternating blocks, so both see the same conditions.
// Then the service's private memory after 10,000 further requests.
//
//   service_bench [calls per subject]        (default 2000)
//   service_bench --echo <pipe> <stop event> (the echo server; started by the bench)
//
// Run: scripts/with-wine scripts/wine-run $BUILD_ROOT/win64/bin/service_bench.exe
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "bench_report.h"
#include "service_test_support.h"

namespace {

constexpr char kCommand[] = "root\\WMI:Q:ZEL_Device:Device:0";
constexpr int kBlock = 100;
constexpr int kMemoryRequests = 10000;

// The echo server: the service's loop without the parser.
int RunEchoServer(const char* pipeName, const char* stopName) {
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, stopName);
    HANDLE io = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE pipe = CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                   1, 0, 0, 1000, nullptr);
    if (!stop || !io || pipe == INVALID_HANDLE_VALUE) return 1;
    char request[80];
    char reply[180];
    OVERLAPPED overlapped;
    const HANDLE events[2] = {stop, io};
    // Starts one operation and waits for it; false when the server must stop.
    auto complete = [&](BOOL started) {
        if (started || GetLastError() != ERROR_IO_PENDING) return true;
        return WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
    };
    auto prepare = [&] {
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = io;
        ResetEvent(io);
    };
    for (;;) {
        prepare();
        if (!complete(ConnectNamedPipe(pipe, &overlapped))) break;
        std::memset(request, 0, sizeof request);
        prepare();
        if (!complete(ReadFile(pipe, request, sizeof request, nullptr, &overlapped))) break;
        std::memset(reply, 0, sizeof reply);
        std::memcpy(reply, request, sizeof request - 1);
        prepare();
        if (!complete(WriteFile(pipe, reply, sizeof reply, nullptr, &overlapped))) break;
        DisconnectNamedPipe(pipe);
    }
    CloseHandle(pipe);
    CloseHandle(io);
    CloseHandle(stop);
    return 0;
}

struct Subject {
    const char* label;
    std::string pipe;
    std::vector<double> micros;
    int failures = 0;
    std::string reply;
};

void Round(Subject& s, int calls, bool record) {
    for (int i = 0; i < calls; ++i) {
        const double start = bench::NowUs();
        const harrowd_test::Exchange e = harrowd_test::CallCommand(s.pipe, kCommand);
        const double end = bench::NowUs();
        if (!e.ok) {
            ++s.failures;
            continue;
        }
        if (record) s.micros.push_back(end - start);
        s.reply = e.Text();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--echo") == 0) return RunEchoServer(argv[2], argv[3]);
    int calls = argc > 1 ? std::atoi(argv[1]) : 2000;
    calls = std::max(calls, kBlock);

    // The echo server, a program of its own like the service.
    char stopName[64];
    std::snprintf(stopName, sizeof stopName, "Local\\service-bench-stop-%lu", GetCurrentProcessId());
    HANDLE stopEcho = CreateEventA(nullptr, TRUE, FALSE, stopName);
    Subject echo{"bare pipe echo", harrowd_test::UniquePipeName("bench-echo"), {}, 0, {}};
    std::string echoLine = "\"" + harrowd_test::BesideTest("service_bench.exe") + "\" --echo " + echo.pipe + " " + stopName;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION echoProcess{};
    if (!CreateProcessA(nullptr, echoLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &echoProcess)) {
        std::fprintf(stderr, "cannot start the echo server\n");
        return 1;
    }

    int status = 0;
    {
        harrowd_test::DebugServer service(harrowd_test::UniquePipeName("bench-service"));
        Subject harrowd{"Harrowd, ZEL_Device", service.PipeName(), {}, 0, {}};
        if (!service.WaitReady() || !WaitNamedPipeA(echo.pipe.c_str(), harrowd_test::kDeadlineMs)) {
            std::fprintf(stderr, "the servers do not answer\n");
            status = 1;
        } else {
            Subject* subjects[] = {&echo, &harrowd};
            for (Subject* s : subjects) Round(*s, kBlock, false);  // warm-up
            for (int done = 0; done < calls; done += kBlock)
                for (Subject* s : subjects) Round(*s, kBlock, true);

            std::printf("Command round trips, one connection per call (CallNamedPipeA, default wait,\n"
                        "80-byte request, 180-byte reply), %d calls each, alternating blocks of %d\n",
                        calls, kBlock);
            std::printf("  %-22s %10s %10s %12s %9s  reply\n", "server", "median ms", "p99 ms", "commands/s",
                        "failures");
            bench::Summary ms[2];
            double rates[2];
            for (int i = 0; i < 2; ++i) {
                Subject& s = *subjects[i];
                double total = 0;
                for (double m : s.micros) total += m;
                std::vector<double> millis;
                for (double m : s.micros) millis.push_back(m / 1000);
                ms[i] = bench::Summarise(millis);
                rates[i] = 1e6 * static_cast<double>(s.micros.size()) / total;
                std::printf("  %-22s %10.3f %10.3f %12.0f %9d  %s\n", s.label, ms[i].median, ms[i].p99, rates[i],
                            s.failures, s.reply.c_str());
            }
            std::printf("  %-22s %9.2fx %9.2fx %11.2fx\n", "ratio service/echo", ms[1].median / ms[0].median,
                        ms[1].p99 / ms[0].p99, rates[1] / rates[0]);
            bench::PrintRow("Harrowd round trip, ZEL_Device read", "ms", ms[1], "bare pipe echo round trip", ms[0]);

            const SIZE_T before = harrowd_test::PrivateBytes(service.Process());
            Round(harrowd, kMemoryRequests, false);
            const SIZE_T after = harrowd_test::PrivateBytes(service.Process());
            std::printf("Harrowd private memory: %.1f MiB after %zu requests, %.1f MiB after %d more (%+.1f KiB)\n",
                        before / 1048576.0, harrowd.micros.size() + kBlock, after / 1048576.0, kMemoryRequests,
                        (static_cast<double>(after) - static_cast<double>(before)) / 1024.0);
            bench::PrintRow("Harrowd private memory after 10,000 more requests", "KiB",
                            bench::Single(after / 1024.0), "Harrowd private memory before them",
                            bench::Single(before / 1024.0));
        }
    }

    SetEvent(stopEcho);
    if (WaitForSingleObject(echoProcess.hProcess, harrowd_test::kDeadlineMs) != WAIT_OBJECT_0)
        TerminateProcess(echoProcess.hProcess, 1);
    CloseHandle(echoProcess.hThread);
    CloseHandle(echoProcess.hProcess);
    CloseHandle(stopEcho);
    return status;
}
