// Load driver for the running command service: many clients at once, a mix
// of the requests the system sends and of what a careless or hostile client
// might send, every reply checked. Prints one "key=value" per line on
// standard output and nothing else, for scripts to read.
//
//   service_load --requests N [--clients K]
//       K threads (default 8) send N requests in total: allowed reads and
//       writes, denied requests, grammar errors (all through the system's
//       pipe client), garbage messages of random length (none, oversize,
//       unterminated) and clients that connect and leave (over raw pipe
//       handles). Keys: requests, served, busy, failed, first_error,
//       malformed, wrong, p50_ms, p99_ms, max_ms. Exit code 0 when busy,
//       failed, malformed and wrong are all 0, else 1.
//   service_load --one-shot-contention --calls N [--clients K]
//       K threads make N calls in total with the platform's one-shot
//       CallNamedPipeA (open, one wait for a busy pipe, one more open), then
//       N calls with the system's pipe client; prints the share served and
//       the 99th percentile of a call's time for each, side by side, and the
//       client's longest call. Exit code 0 unless a reply was malformed.
//
// A reply is well-formed when it is exactly 180 bytes with its last byte
// zero (the service fills the rest of the area after its text with zeros).
// The pipe client reports no reply length, so its reply area is larger than
// a reply and prefilled with a marker: a longer reply overwrites the marker
// past 180 bytes, a shorter one leaves it in byte 179.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Brindle.h"
#include "pipe_timing.h"
#include "service_core.h"

namespace {

using harrowd::kReplySize;
using harrowd::kRequestSize;

constexpr char kMarker = static_cast<char>(0xA5);
constexpr DWORD kClientAreaSize = 800;
// Bounds of one raw exchange: the wait for a busy pipe (the service's
// default wait) and the wait for the reply (as the pipe client's).
constexpr DWORD kBusyWaitMs = brindle::kPipeDefaultWaitMs;
constexpr DWORD kReplyWaitMs = 5000;
// Garbage messages are up to this long: past the 80-byte request area and
// past a 180-byte reply.
constexpr std::size_t kGarbageMax = 300;

// Reads the firmware and the BIOS version as the tray program and the viewer do.
const char* const kReads[] = {
    "root\\WMI:Q:ZEL_Device:Device:0",
    "root\\WMI:Q:ZEL_System:System:0",
    "root\\WMI:Q:ZEL_System:System:1",
    "root\\WMI:Q:ZEL_AP:AP:1",
    "root\\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0",
};
// The tray program's announcement at start; writing it again changes nothing.
constexpr char kWrite[] = "root\\WMI:S:ZEL_Software:Software:0:1";
constexpr char kWriteReply[] = "1";
// Well-formed requests the service refuses: writes outside its rights,
// other namespaces and queries.
const char* const kDenied[] = {
    "root\\CIMV2:S:Win32_BIOS:SMBIOSBIOSVersion:0:1",
    "root\\WMI:S:ZEL_Event:ZELEvt:0:1",
    "root\\WMI:S:ZEL_Software:Software:0:7",
    "root\\default:Q:__NAMESPACE:Name:0",
    "root\\CIMV2:Q:Win32_BIOS where Version<>'':Version:0",
};
// Requests that break the command grammar.
const char* const kGrammarErrors[] = {
    "root\\WMI:q:ZEL_Device:Device:0",
    "root\\WMI:Q:ZEL_Device:Device",
    "root\\WMI:Q:ZEL_Device:Device:-1",
    "root\\WMI:X:ZEL_Device:Device:0",
    "root\\WMI:S:ZEL_Software:Software:0",
    "",
};

enum class Kind { Read, Write, Denied, GrammarError, Garbage, ConnectAndLeave };

// One request's result.
struct Result {
    enum Status { Served, Busy, Failed } status = Failed;
    DWORD error = 0;
    bool malformed = false;
    bool wrong = false;
    double ms = 0;
};

class Clock {
public:
    Clock() {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        m_frequency = static_cast<double>(f.QuadPart);
    }
    double NowMs() const {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        return static_cast<double>(t.QuadPart) * 1000.0 / m_frequency;
    }

private:
    double m_frequency = 1;
};
const Clock g_clock;

bool IsBusyError(DWORD error) { return error == ERROR_PIPE_BUSY || error == ERROR_SEM_TIMEOUT; }

// A reply area of the pipe client after a call: 180 bytes ending in a zero,
// the marker untouched after them.
bool WellFormedInArea(const std::vector<char>& area) {
    if (area[kReplySize - 1] != 0) return false;
    return std::all_of(area.begin() + kReplySize, area.end(), [](char c) { return c == kMarker; });
}

// The command zero-padded to the 80-byte request area, as the system sends it.
std::vector<char> RequestArea(const std::string& command) {
    std::vector<char> request(kRequestSize, 0);
    std::memcpy(request.data(), command.data(), std::min(command.size(), kRequestSize - 1));
    return request;
}

// Runs one call (a Windows call returning BOOL), timing it and sorting a
// failure into busy and other by its last error.
template <class Call>
Result TimedCall(Call call) {
    Result r;
    const double start = g_clock.NowMs();
    const BOOL ok = call();
    r.ms = g_clock.NowMs() - start;
    r.status = Result::Served;
    if (!ok) {
        r.error = GetLastError();
        r.status = IsBusyError(r.error) ? Result::Busy : Result::Failed;
    }
    return r;
}

// One request through the system's pipe client. `expected` is the reply
// text, or null when any well-formed reply will do.
Result CallClient(const std::string& command, const char* expected) {
    std::vector<char> request = RequestArea(command);
    std::vector<char> area(kClientAreaSize, kMarker);
    Result r = TimedCall([&] {
        return ZEL_CallNamePipe(request.data(), static_cast<DWORD>(request.size()), area.data(),
                                static_cast<DWORD>(area.size()));
    });
    if (r.status != Result::Served) return r;
    r.malformed = !WellFormedInArea(area);
    if (!r.malformed && expected) r.wrong = std::strcmp(area.data(), expected) != 0;
    return r;
}

// Owner of a raw pipe handle and of an event for its overlapped operations.
class RawPipe {
public:
    RawPipe() = default;
    ~RawPipe() {
        if (m_pipe != INVALID_HANDLE_VALUE) CloseHandle(m_pipe);
        if (m_event) CloseHandle(m_event);
    }
    RawPipe(const RawPipe&) = delete;
    RawPipe& operator=(const RawPipe&) = delete;

    // Opens the pipe, trying again while it is busy for kBusyWaitMs. On
    // failure the last error says why.
    bool Open() {
        const ULONGLONG deadline = GetTickCount64() + kBusyWaitMs;
        for (;;) {
            m_pipe = CreateFileA(harrowd::kDefaultPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
            if (m_pipe != INVALID_HANDLE_VALUE) break;
            if (GetLastError() != ERROR_PIPE_BUSY) return false;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return false;
            if (!WaitNamedPipeA(harrowd::kDefaultPipeName, static_cast<DWORD>(deadline - now))) return false;
        }
        DWORD mode = PIPE_READMODE_MESSAGE;
        m_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        return m_event && SetNamedPipeHandleState(m_pipe, &mode, nullptr, nullptr);
    }

    // Writes `message` as one message (none at all for an empty one is
    // still an empty message) and reads one reply message into `reply`.
    // False with the last error set when either step fails or outlasts
    // kReplyWaitMs.
    bool Exchange(const std::vector<char>& message, std::vector<char>& reply) {
        DWORD bytes = 0;
        if (!Complete(WriteFile(m_pipe, message.data(), static_cast<DWORD>(message.size()), nullptr, &Fresh()),
                      bytes))
            return false;
        reply.assign(1024, 0);
        if (!Complete(ReadFile(m_pipe, reply.data(), static_cast<DWORD>(reply.size()), nullptr, &Fresh()), bytes))
            return false;
        reply.resize(bytes);
        return true;
    }

private:
    OVERLAPPED& Fresh() {
        m_overlapped = OVERLAPPED{};
        m_overlapped.hEvent = m_event;
        ResetEvent(m_event);
        return m_overlapped;
    }
    bool Complete(BOOL started, DWORD& bytes) {
        if (!started && GetLastError() != ERROR_IO_PENDING) return false;
        if (WaitForSingleObject(m_event, kReplyWaitMs) != WAIT_OBJECT_0) {
            CancelIo(m_pipe);
            GetOverlappedResult(m_pipe, &m_overlapped, &bytes, TRUE);
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        return GetOverlappedResult(m_pipe, &m_overlapped, &bytes, FALSE) != FALSE;
    }

    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    HANDLE m_event = nullptr;
    OVERLAPPED m_overlapped{};
};

// Garbage bytes as one message over a raw handle; the reply must be the
// well-formed malformed-request reply.
Result SendGarbage(const std::vector<char>& message) {
    RawPipe pipe;
    std::vector<char> reply;
    Result r = TimedCall([&] { return pipe.Open() && pipe.Exchange(message, reply); });
    // A reply longer than the read area is a malformed reply, not a failed call.
    if (r.status == Result::Failed && r.error == ERROR_MORE_DATA) {
        r.status = Result::Served;
        r.malformed = true;
    } else if (r.status == Result::Served) {
        r.malformed = reply.size() != kReplySize || reply[kReplySize - 1] != 0;
        if (!r.malformed) r.wrong = std::strcmp(reply.data(), harrowd::kMalformedReply) != 0;
    }
    return r;
}

// A client that connects and leaves without a request.
Result ConnectAndLeave() {
    RawPipe pipe;
    return TimedCall([&] { return pipe.Open(); });
}

// Random bytes of random length up to kGarbageMax: unterminated, terminated
// at the end, or with zeros anywhere. None holds a colon, so none can spell a
// command and each must get the malformed-request reply.
std::vector<char> Garbage(std::mt19937& random) {
    std::vector<char> bytes(random() % (kGarbageMax + 1));
    const unsigned flavour = random() % 3;
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xFF);
        if (c == ':') c = ';';
        if (flavour != 2 && c == 0) c = 1;
    }
    if (flavour == 1 && !bytes.empty()) bytes.back() = 0;
    return bytes;
}

// The next request of the mix: mostly what the system sends, a good share of
// what it never sends.
Result NextRequest(std::mt19937& random) {
    const unsigned pick = random() % 20;
    if (pick < 6) return CallClient(kReads[random() % std::size(kReads)], nullptr);
    if (pick < 8) return CallClient(kWrite, kWriteReply);
    if (pick < 11) return CallClient(kDenied[random() % std::size(kDenied)], harrowd::kDeniedReply);
    if (pick < 14)
        return CallClient(kGrammarErrors[random() % std::size(kGrammarErrors)], harrowd::kMalformedReply);
    if (pick < 18) return SendGarbage(Garbage(random));
    return ConnectAndLeave();
}

struct Totals {
    std::mutex lock;
    long requests = 0, served = 0, busy = 0, failed = 0, malformed = 0, wrong = 0;
    DWORD firstError = 0;
    std::vector<double> ms;

    void Add(const Result& r) {
        std::lock_guard<std::mutex> guard(lock);
        ++requests;
        ms.push_back(r.ms);
        if (r.status == Result::Served) ++served;
        if (r.status == Result::Busy) ++busy;
        if (r.status == Result::Failed) {
            if (failed == 0) firstError = r.error;
            ++failed;
        }
        if (r.malformed) ++malformed;
        if (r.wrong) ++wrong;
    }
};

// The q-th quantile (0..1) of `values` by the nearest-rank rule; 0 for none.
double Quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
    rank = std::clamp<std::size_t>(rank, 1, values.size());
    return values[rank - 1];
}

void PrintMs(const char* key, double ms) { std::printf("%s=%.2f\n", key, ms); }

// Runs `count` jobs spread over `clients` threads, job i on thread i % clients.
template <class Job>
void RunSpread(long count, int clients, Job job) {
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([=] {
            std::mt19937 random(0x5eed + c);
            for (long i = c; i < count; i += clients) job(random);
        });
    }
    for (auto& t : threads) t.join();
}

int RunMix(long requests, int clients) {
    Totals totals;
    RunSpread(requests, clients, [&totals](std::mt19937& random) { totals.Add(NextRequest(random)); });
    std::printf("requests=%ld\nserved=%ld\nbusy=%ld\nfailed=%ld\nfirst_error=%lu\nmalformed=%ld\nwrong=%ld\n",
                totals.requests, totals.served, totals.busy, totals.failed, totals.firstError, totals.malformed,
                totals.wrong);
    PrintMs("p50_ms", Quantile(totals.ms, 0.50));
    PrintMs("p99_ms", Quantile(totals.ms, 0.99));
    PrintMs("max_ms", Quantile(totals.ms, 1.0));
    return totals.busy == 0 && totals.failed == 0 && totals.malformed == 0 && totals.wrong == 0 ? 0 : 1;
}

// One read through the platform's one-shot call, as the pipe client made it
// before it learned to keep trying.
Result CallOneShot(const char* command) {
    std::vector<char> request = RequestArea(command);
    std::vector<char> area(kClientAreaSize, kMarker);
    DWORD read = 0;
    Result r = TimedCall([&] {
        return CallNamedPipeA(harrowd::kDefaultPipeName, request.data(), static_cast<DWORD>(request.size()),
                              area.data(), static_cast<DWORD>(area.size()), &read, NMPWAIT_USE_DEFAULT_WAIT);
    });
    if (r.status == Result::Served) r.malformed = read != kReplySize || area[kReplySize - 1] != 0;
    return r;
}

int RunContention(long calls, int clients) {
    const char* const command = kReads[0];
    Totals oneShot, client;
    RunSpread(calls, clients, [&](std::mt19937&) { oneShot.Add(CallOneShot(command)); });
    RunSpread(calls, clients, [&](std::mt19937&) { client.Add(CallClient(command, nullptr)); });
    const auto share = [](const Totals& t) { return t.requests ? static_cast<double>(t.served) / t.requests : 0.0; };
    std::printf("clients=%d\n", clients);
    std::printf("oneshot_calls=%ld\noneshot_served_share=%.4f\n", oneShot.requests, share(oneShot));
    PrintMs("oneshot_p99_ms", Quantile(oneShot.ms, 0.99));
    std::printf("client_calls=%ld\nclient_served_share=%.4f\n", client.requests, share(client));
    PrintMs("client_p99_wait_ms", Quantile(client.ms, 0.99));
    PrintMs("client_max_wait_ms", Quantile(client.ms, 1.0));
    std::printf("malformed=%ld\n", oneShot.malformed + client.malformed);
    return oneShot.malformed + client.malformed == 0 ? 0 : 1;
}

// A whole positive number, or -1.
long Count(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return (end != text && *end == 0 && value > 0) ? value : -1;
}

int Usage() {
    std::fputs("usage: service_load --requests N [--clients K]\n"
               "       service_load --one-shot-contention --calls N [--clients K]\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long requests = -1, calls = -1, clients = 8;
    bool contention = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--one-shot-contention") {
            contention = true;
        } else if (arg == "--requests" && hasValue) {
            requests = Count(argv[++i]);
        } else if (arg == "--calls" && hasValue) {
            calls = Count(argv[++i]);
        } else if (arg == "--clients" && hasValue) {
            clients = Count(argv[++i]);
        } else {
            return Usage();
        }
    }
    if (clients < 1 || clients > 64) return Usage();
    if (contention) return calls > 0 && requests < 0 ? RunContention(calls, static_cast<int>(clients)) : Usage();
    return requests > 0 && calls < 0 ? RunMix(requests, static_cast<int>(clients)) : Usage();
}
