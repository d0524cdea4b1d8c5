// proc_usage reads another process's handles, GDI objects and USER objects
// from outside: here it looks at this test process while the test creates
// and frees objects of each kind, and must see them come and go. The tool
// is the 64-bit build's, which reads processes of either bitness.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

std::map<std::string, long> Usage() {
    std::string out;
    std::map<std::string, long> fields;
    char pid[32];
    std::snprintf(pid, sizeof pid, "%lu", GetCurrentProcessId());
    if (vxtest::Run(PROC_USAGE_EXE, pid, &out) != 0) return fields;
    std::istringstream words(out);
    std::string word;
    while (words >> word) {
        auto eq = word.find('=');
        if (eq != std::string::npos) fields[word.substr(0, eq)] = std::atol(word.c_str() + eq + 1);
    }
    return fields;
}

struct Windows {
    HWND top, child, message;
    Windows() {
        top = CreateWindowExA(0, "STATIC", "proc usage", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                              nullptr);
        child = CreateWindowExA(0, "STATIC", "child", WS_CHILD, 0, 0, 10, 10, top, nullptr, nullptr, nullptr);
        message = CreateWindowExA(0, "STATIC", "message", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~Windows() {
        DestroyWindow(message);
        DestroyWindow(top);
    }
};

TEST(ProcUsage, SeesObjectsOfEachKindComeAndGo) {
    constexpr int kCount = 20;
    // The first windows of a process set up what every later one reuses.
    { Windows warmUp; }
    auto before = Usage();
    ASSERT_EQ(before.count("handles"), 1u);
    ASSERT_EQ(before.count("gdi"), 1u);
    ASSERT_EQ(before.count("user"), 1u);

    std::vector<HBRUSH> brushes;
    for (int i = 0; i < kCount; ++i) brushes.push_back(CreateSolidBrush(RGB(i, 2 * i, 3 * i)));
    std::vector<HANDLE> events;
    for (int i = 0; i < kCount; ++i) events.push_back(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    auto windows = std::make_unique<Windows>();
    ASSERT_TRUE(windows->top && windows->child && windows->message);

    auto during = Usage();
    EXPECT_GE(during["handles"] - before["handles"], kCount);
    EXPECT_GE(during["gdi"] - before["gdi"], kCount);
    EXPECT_GE(during["user"] - before["user"], 3);

    windows.reset();
    for (auto b : brushes) DeleteObject(b);
    for (auto e : events) CloseHandle(e);
    auto after = Usage();
    // Running the tool itself may leave the odd handle in this process.
    EXPECT_LT(after["handles"] - before["handles"], kCount / 4);
    EXPECT_EQ(after["gdi"], before["gdi"]);
    EXPECT_EQ(after["user"], before["user"]);
}

TEST(ProcUsage, FindsAProcessByItsName) {
    std::string out;
    ASSERT_EQ(vxtest::Run(PROC_USAGE_EXE, "soak_proc_usage_test.exe", &out), 0) << out;
    char expected[32];
    std::snprintf(expected, sizeof expected, "pid=%lu ", GetCurrentProcessId());
    EXPECT_EQ(out.rfind(expected, 0), 0u) << out;
}

}  // namespace
