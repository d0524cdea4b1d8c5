// Soak helper: the resources one running process holds, read from outside,
// so a long run can compare them with their values after its first load.
//
//   proc_usage PID|NAME.exe  ->  pid= handles= gdi= user= gdi_from= user_from=
//
// Handles are the target's entries in the system's handle list
// (NtQuerySystemInformation, as GetProcessHandleCount answers 0 under Wine
// for another process). GDI and USER objects come from
// GetGuiResources where it answers; where it is a stub that answers 0 (Wine),
// GDI objects are the live entries of the target's own GDI handle table (the
// table its PEB names, read with ReadProcessMemory), and USER objects are the
// windows the target owns: top-level, child and message-only windows. Menus,
// icons, cursors and hooks are then not counted; gdi_from and user_from say
// which way each figure was taken. The target must have this tool's bitness.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One entry of the GDI handle table as the system lays it out: the same
// 24 bytes for 32-bit and 64-bit processes.
#pragma pack(push, 1)
struct GdiHandleEntry {
    unsigned long long object;
    unsigned short ownerPid;
    unsigned short ownerCount;
    unsigned short unique;
    unsigned char type;
    unsigned char flags;
    unsigned long long userPointer;
};
#pragma pack(pop)
static_assert(sizeof(GdiHandleEntry) == 24, "GDI handle table entry layout");
constexpr size_t kGdiTableEntries = 0x10000;
// Where the PEB keeps the table's address.
constexpr size_t kPebGdiTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE v) : h(v) {}
    ~Handle() {
        if (h) CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

DWORD PidOfName(const char* name) {
    Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snap.h == INVALID_HANDLE_VALUE) {
        snap.h = nullptr;
        return 0;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snap.h, &entry); more; more = Process32Next(snap.h, &entry)) {
        if (_stricmp(entry.szExeFile, name) == 0) return entry.th32ProcessID;
    }
    return 0;
}

// Live entries of the target's GDI handle table, or -1 when it cannot be read.
long GdiTableCount(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG got = 0;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &got) != 0 ||
        !basic.PebBaseAddress)
        return -1;
    void* table = nullptr;
    SIZE_T read = 0;
    auto at = reinterpret_cast<const char*>(basic.PebBaseAddress) + kPebGdiTableOffset;
    if (!ReadProcessMemory(process, at, &table, sizeof table, &read) || read != sizeof table || !table) return -1;
    std::vector<GdiHandleEntry> entries(kGdiTableEntries);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiHandleEntry), &read) ||
        read != entries.size() * sizeof(GdiHandleEntry))
        return -1;
    long n = 0;
    for (const auto& e : entries)
        if (e.type != 0) ++n;
    return n;
}

// The extended system handle list: one entry per open handle of any process.
struct HandleEntryEx {
    void* object;
    ULONG_PTR pid;
    ULONG_PTR value;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};
struct HandleListEx {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntryEx entries[1];
};
constexpr int kSystemExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

// Open handles of the process, or -1 when the list cannot be had.
long HandlesOf(DWORD pid) {
    std::vector<char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG need = 0;
        LONG status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(kSystemExtendedHandleInformation),
                                               buffer.data(), static_cast<ULONG>(buffer.size()), &need);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, need + 4096));
            continue;
        }
        if (status != 0) return -1;
        auto* list = reinterpret_cast<const HandleListEx*>(buffer.data());
        long n = 0;
        for (ULONG_PTR i = 0; i < list->count; ++i)
            if (list->entries[i].pid == pid) ++n;
        return n;
    }
    return -1;
}

struct WindowCount {
    DWORD pid;
    long n;
};

BOOL CALLBACK CountChild(HWND hwnd, LPARAM arg) {
    auto* c = reinterpret_cast<WindowCount*>(arg);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == c->pid) ++c->n;
    return TRUE;
}

BOOL CALLBACK CountTop(HWND hwnd, LPARAM arg) {
    CountChild(hwnd, arg);
    EnumChildWindows(hwnd, CountChild, arg);  // every descendant, whatever its owner
    return TRUE;
}

long WindowsOf(DWORD pid) {
    WindowCount c = {pid, 0};
    EnumWindows(CountTop, reinterpret_cast<LPARAM>(&c));
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr)) {
        CountTop(w, reinterpret_cast<LPARAM>(&c));
    }
    return c.n;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: proc_usage PID|NAME.exe\n");
        return 2;
    }
    char* end = nullptr;
    DWORD pid = std::strtoul(argv[1], &end, 10);
    if (*end != '\0') pid = PidOfName(argv[1]);
    if (pid == 0) {
        std::fprintf(stderr, "proc_usage: no process %s\n", argv[1]);
        return 1;
    }
    Handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process.h) {
        std::fprintf(stderr, "proc_usage: cannot open process %lu (error %lu)\n", pid, GetLastError());
        return 1;
    }
    long handles = HandlesOf(pid);
    if (handles < 0) {
        std::fprintf(stderr, "proc_usage: cannot list the system's handles\n");
        return 1;
    }
    long gdi = GetGuiResources(process.h, GR_GDIOBJECTS);
    const char* gdiFrom = "system";
    if (gdi == 0) {
        gdi = GdiTableCount(process.h);
        gdiFrom = "handle-table";
    }
    long user = GetGuiResources(process.h, GR_USEROBJECTS);
    const char* userFrom = "system";
    if (user == 0) {
        user = WindowsOf(pid);
        userFrom = "windows";
    }
    if (gdi < 0) {
        std::fprintf(stderr, "proc_usage: cannot read the GDI handle table of process %lu\n", pid);
        return 1;
    }
    std::printf("pid=%lu handles=%ld gdi=%ld user=%ld gdi_from=%s user_from=%s\n", pid, handles, gdi, user, gdiFrom,
                userFrom);
    return 0;
}
