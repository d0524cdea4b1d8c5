// The volume watcher against the emulated audio endpoints: changes made by
// another program (emuctl) arrive as WM_VOLUME_NOTIFY, rounded; device
// arrivals, removals and default changes move the binding; the watcher goes
// away during a burst of changes without a hang.
#include "child_process.h"
#include "volume.h"
#include "vorlix_dlg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <vector>

namespace {

using Note = std::pair<WPARAM, LPARAM>;  // muted, level
std::vector<Note> g_notes;

LRESULT CALLBACK Receiver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == vx::WM_VOLUME_NOTIFY) {
        g_notes.emplace_back(wParam, lParam);
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PumpFor(std::size_t count, DWORD deadlineMs, DWORD settleMs = 300) {
    vxtest::PumpFor([] { return g_notes.size(); }, count, deadlineMs, settleMs);
}

// Runs emuctl, then collects what it caused.
std::vector<Note> After(const std::string& emuctlArgs, std::size_t expected = 1) {
    g_notes.clear();
    EXPECT_EQ(vxtest::Run("emuctl.exe", emuctlArgs), 0) << emuctlArgs;
    PumpFor(expected, expected ? 10000 : 1500);
    return g_notes;
}

class Volume : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Receiver;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VolumeTestReceiver";
        RegisterClassA(&wc);
    }
    void SetUp() override {
        ASSERT_EQ(vxtest::Run("emuctl.exe", "reset"), 0);
        m_window = CreateWindowA("VolumeTestReceiver", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(m_window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(m_window);
        vxtest::Run("emuctl.exe", "reset");
    }
    HWND m_window = nullptr;
    CBrindle m_bridge;  // the main window's thread: COM initialised as a single-threaded apartment
};

TEST_F(Volume, ChangesByAnotherProgramArriveRounded) {
    volatile LONG last = 0;
    vx::CVXVolume watcher(m_window, &last);
    EXPECT_EQ(After("volume 0.994"), (std::vector<Note>{{0, 99}}));
    EXPECT_EQ(After("volume 0.995"), (std::vector<Note>{{0, 100}}));
    EXPECT_EQ(After("mute 1"), (std::vector<Note>{{1, 100}}));
    EXPECT_EQ(watcher.GetVolume(), 100);
    g_notes.clear();
    watcher.SetVolume(37);
    PumpFor(1, 10000);
    EXPECT_EQ(g_notes, (std::vector<Note>{{1, 37}}));
    EXPECT_EQ(watcher.GetVolume(), 37);
    // The recording device is not watched while playback is bound.
    EXPECT_TRUE(After("volume 0.2 1", 0).empty());
}

TEST_F(Volume, DeviceChangesMoveTheBinding) {
    volatile LONG last = 0;
    vx::CVXVolume watcher(m_window, &last);
    // An arrival binds the new device (2): the old default is no longer watched.
    After("audio-add render", 0);
    EXPECT_TRUE(After("volume 0.6 0", 0).empty());
    EXPECT_EQ(After("volume 0.4 2"), (std::vector<Note>{{0, 40}}));
    // Back to device 0 as the default, then removing it rebinds to the new default (2).
    After("audio-default 0", 0);
    EXPECT_EQ(After("volume 0.61 0"), (std::vector<Note>{{0, 61}}));
    After("audio-remove 0", 0);
    EXPECT_EQ(After("volume 0.62 2"), (std::vector<Note>{{0, 62}}));
    // A default change of the recording device binds to it.
    After("audio-default 1", 0);
    EXPECT_EQ(After("volume 0.3 1"), (std::vector<Note>{{0, 30}}));
    EXPECT_TRUE(After("volume 0.63 2", 0).empty());
}

TEST_F(Volume, StartVolumeSetsTheLastVolumeOnlyAtTheEnds) {
    struct Case { const char* volume; LONG before, after; };
    const Case cases[] = {{"1.0", 7, 100}, {"0", 7, 0}, {"0.5", 7, 7}};
    for (const auto& c : cases) {
        ASSERT_EQ(vxtest::Run("emuctl.exe", std::string("volume ") + c.volume), 0);
        volatile LONG last = c.before;
        vx::CVXVolume watcher(m_window, &last);
        EXPECT_EQ(last, c.after) << c.volume;
    }
    // With no playback device the watcher reports nothing and keeps the last volume.
    ASSERT_EQ(vxtest::Run("emuctl.exe", "audio-remove 0"), 0);
    volatile LONG last = 42;
    vx::CVXVolume watcher(m_window, &last);
    EXPECT_EQ(watcher.GetVolume(), 42);
    watcher.SetVolume(80);
    EXPECT_TRUE(After("volume 0.9 1", 0).empty());
}

// Sets the playback volume, alternately 30 % and 70 %, from a thread of its
// own until stopped: a stream of changes as another program makes them.
class VolumeBurst {
public:
    VolumeBurst() { m_thread = CreateThread(nullptr, 0, &VolumeBurst::Main, this, 0, nullptr); }
    ~VolumeBurst() {
        m_stop = true;
        if (m_thread) {
            WaitForSingleObject(m_thread, 30000);
            CloseHandle(m_thread);
        }
    }
    VolumeBurst(const VolumeBurst&) = delete;
    VolumeBurst& operator=(const VolumeBurst&) = delete;
    bool Running() const { return m_thread != nullptr; }

private:
    static DWORD WINAPI Main(void* p) {
        auto* self = static_cast<VolumeBurst*>(p);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IMMDeviceEnumerator* enumerator = nullptr;
        IMMDevice* device = nullptr;
        IAudioEndpointVolume* volume = nullptr;
        if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                       reinterpret_cast<void**>(&enumerator))) &&
            SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &device)) &&
            SUCCEEDED(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                       reinterpret_cast<void**>(&volume))))
            for (long i = 0; !self->m_stop; ++i)
                volume->SetMasterVolumeLevelScalar(i % 2 ? 0.7f : 0.3f, nullptr);
        if (volume) volume->Release();
        if (device) device->Release();
        if (enumerator) enumerator->Release();
        CoUninitialize();
        return 0;
    }
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_stop{false};
};

// One life of the watcher on a thread of its own, as on the program's main
// thread: window, watcher; then, with a notification on its way to the window
// and not yet handled, the watcher is destroyed, as the program's exit does.
// Ends with WAIT_OBJECT_0 when a notification was on its way.
DWORD WINAPI WatcherLife(void*) {
    CoInitialize(nullptr);
    HWND window = CreateWindowA("VolumeTestReceiver", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    DWORD pending = WAIT_FAILED;
    {
        volatile LONG last = 0;
        vx::CVXVolume watcher(window, &last);
        pending = MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_SENDMESSAGE | QS_POSTMESSAGE);
    }
    DestroyWindow(window);
    CoUninitialize();
    return pending;
}

TEST_F(Volume, TheWatcherGoesAwayDuringABurstOfChanges) {
    VolumeBurst burst;
    ASSERT_TRUE(burst.Running());
    for (int round = 0; round < 40; ++round) {
        HANDLE life = CreateThread(nullptr, 0, WatcherLife, nullptr, 0, nullptr);
        ASSERT_NE(life, nullptr);
        // A round that does not end is a hang: its threads are left behind.
        ASSERT_EQ(WaitForSingleObject(life, 30000), WAIT_OBJECT_0) << "the watcher's destruction hung in round " << round;
        DWORD pending = WAIT_FAILED;
        GetExitCodeThread(life, &pending);
        CloseHandle(life);
        EXPECT_EQ(pending, WAIT_OBJECT_0) << "no change reached the watcher in round " << round;
    }
}

}  // namespace
