// The user-defined key through the program's own main window: the hotkey
// action, the tray menu command and the choice dialog, driven through its
// real controls (and the system's open-file dialog) from a second thread, as
// a person would use them.
#include "activity_log.h"
#include "child_process.h"
#include "resource.h"
#include "settings.h"
#include "tray_rules.h"
#include "user_define_dlg.h"
#include "vorlix_dlg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const UINT kPressMessage = RegisterWindowMessageA("UserDefineTestPress");

// The main window with one addition for the test: a message that presses the
// user-defined hotkey, as the hotkey dispatch will.
class TestMainWindow : public vx::CVorlixDlg {
protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (msg == kPressMessage) {
            vx::UserDefineKeyAction(*this);
            result = 1;
            return true;
        }
        return CVorlixDlg::OnMessage(msg, wParam, lParam, result);
    }
};

std::string Text(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}
std::string Caption(HWND hwnd) {
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

struct DialogSearch {
    HWND owner;
    std::vector<HWND> found;
};
BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM p) {
    auto* s = reinterpret_cast<DialogSearch*>(p);
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) == "#32770" && IsWindowVisible(hwnd) && (!s->owner || GetWindow(hwnd, GW_OWNER) == s->owner))
        s->found.push_back(hwnd);
    return TRUE;
}

// The visible dialogs of a thread, optionally only those owned by a window.
std::vector<HWND> Dialogs(DWORD thread, HWND owner = nullptr) {
    DialogSearch search{owner, {}};
    EnumThreadWindows(thread, CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Polls until the predicate holds or the deadline passes.
bool Until(const std::function<bool()>& done, DWORD ms = 10000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(50);
    }
    return true;
}

void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class UserDefineKey : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, vx::kUserDefineKey);
        DeleteFileA(Preset().c_str());
        DeleteFileA((vxtest::BinDir() + "ud_target.txt").c_str());
        m_language = vx::SelectLanguageSection();
        m_title = vx::ReadLanguageText(m_language, "IDS_MENUITEM_USERDEFINE");
        ASSERT_FALSE(m_title.empty());
    }
    void TearDown() override {
        StopMainWindow();
        RegDeleteTreeA(HKEY_CURRENT_USER, vx::kUserDefineKey);
        DeleteFileA(Preset().c_str());
        DeleteFileA((vxtest::BinDir() + "ud_target.txt").c_str());
    }
    static std::string Preset() { return vxtest::BinDir() + "UserDefine.ini"; }
    static std::string Target() { return vxtest::BinDir() + "ud_target.exe"; }

    // The window is destroyed (running its clean-up) before its object.
    void StopMainWindow() {
        if (m_main && m_main->Hwnd()) DestroyWindow(m_main->Hwnd());
        m_main.reset();
    }
    HWND StartMainWindow() {
        StopMainWindow();
        m_main = std::make_unique<TestMainWindow>();
        m_main->Create(IDD_VORLIX_DIALOG, nullptr);
        m_main->SetLoggingOn(true);
        return m_main->Hwnd();
    }

    // Runs an action on this (the windows') thread while a driver thread
    // works the windows it opens; the driver reports what it found wrong.
    // Should the driver fail, it cancels every dialog it can find so that
    // the action returns.
    std::vector<std::string> Drive(const std::function<void()>& action,
                                   const std::function<void(std::vector<std::string>&)>& driver) {
        std::vector<std::string> problems;
        DWORD self = GetCurrentThreadId();
        std::thread worker([&] {
            driver(problems);
            if (!problems.empty())
                for (HWND d : Dialogs(self)) PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
        });
        action();
        worker.join();
        return problems;
    }

    HWND WaitForChoiceDialog(std::vector<std::string>& problems) {
        HWND found = nullptr;
        DWORD thread = GetWindowThreadProcessId(m_main->Hwnd(), nullptr);
        if (!Until([&] {
                for (HWND d : Dialogs(thread))
                    if (Caption(d) == m_title) found = d;
                return found != nullptr;
            }))
            problems.push_back("the choice dialog did not open");
        return found;
    }

    // Browse, then type a path into the open-file dialog and confirm it (or cancel it).
    void BrowseFor(HWND dialog, const std::string& path, std::vector<std::string>& problems) {
        Click(dialog, IDC_UD_BROWSE);
        HWND files = nullptr;
        DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
        if (!Until([&] {
                auto owned = Dialogs(thread, dialog);
                files = owned.empty() ? nullptr : owned[0];
                return files != nullptr;
            })) {
            problems.push_back("the open-file dialog did not open");
            return;
        }
        HWND name = GetDlgItem(files, 0x47C);  // the file name box
        if (!name) name = GetDlgItem(files, 0x480);
        SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_BLOCK, 5000, nullptr);
        Click(files, IDOK);
        if (!Until([&] { return !IsWindow(files) || !IsWindowVisible(files); }))
            problems.push_back("the open-file dialog did not close");
    }

    vx::LanguageSelection m_language;
    std::string m_title;
    std::unique_ptr<TestMainWindow> m_main;
};

TEST_F(UserDefineKey, WithNothingChosenTheHotkeyOpensTheDialogThenStartsTheChosenProgram) {
    HWND main = StartMainWindow();
    ASSERT_TRUE(main);
    const std::string log = vx::CVXActivityLog::FilePath();
    const std::size_t logBefore = FileText(log).size();
    auto problems = Drive([&] { SendMessageA(main, kPressMessage, 0, 0); },
                          [&](std::vector<std::string>& p) {
                              HWND d = WaitForChoiceDialog(p);
                              if (!d) return;
                              struct Expect {
                                  int id;
                                  const char* key;
                              } texts[] = {{IDC_UD_DOC, "IDS_USERDEFINE_DOC"},     {IDC_UD_CURRENT, "IDS_USERDEFINE_CURRENT"},
                                           {IDC_UD_BROWSE, "IDS_BUTTON_BROWSE"},    {IDC_UD_REMOVE, "IDS_BUTTON_REMOVE"},
                                           {IDOK, "IDS_BUTTON_OK"},                 {IDCANCEL, "IDS_BUTTON_CANCEL"},
                                           {IDC_UD_HELP, "IDS_USERDEFINE_BT_DF_DOC"}};
                              for (const auto& t : texts)
                                  if (Text(d, t.id) != vx::ReadLanguageText(m_language, t.key))
                                      p.push_back(std::string("text of ") + t.key + ": " + Text(d, t.id));
                              if (!Text(d, IDC_UD_NAME).empty()) p.push_back("a name shown with nothing chosen");
                              // Hover help: each button's own text, the default over the dialog.
                              struct Hover {
                                  HWND over;
                                  const char* key;
                              } hovers[] = {{GetDlgItem(d, IDC_UD_BROWSE), "IDS_USERDEFINE_BT_BROWSE_DOC"},
                                            {GetDlgItem(d, IDC_UD_REMOVE), "IDS_USERDEFINE_BT_REMOVE_DOC"},
                                            {d, "IDS_USERDEFINE_BT_DF_DOC"}};
                              for (const auto& h : hovers) {
                                  SendMessageTimeoutA(h.over, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2), SMTO_BLOCK, 5000, nullptr);
                                  if (Text(d, IDC_UD_HELP) != vx::ReadLanguageText(m_language, h.key))
                                      p.push_back(std::string("hover help ") + h.key + ": " + Text(d, IDC_UD_HELP));
                              }
                              BrowseFor(d, Target(), p);
                              if (!Until([&] { return Text(d, IDC_UD_NAME) == "ud_target.exe"; }))
                                  p.push_back("chosen name not shown: " + Text(d, IDC_UD_NAME));
                              if (!vx::ReadUserDefineChoice().path.empty()) p.push_back("Browse wrote before OK");
                              Click(d, IDOK);
                          });
    for (const auto& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(vx::ReadUserDefineChoice().path, Target());
    EXPECT_EQ(vx::ReadUserDefineChoice().name, "ud_target.exe");
    EXPECT_FALSE(m_main->UserDefineDialogOpen());
    std::string lines = FileText(log).substr(logBefore);
    EXPECT_NE(lines.find("\tFunction of User Define don't work\r\n\tOpen Dialog of User Define .............\r\n"),
              std::string::npos)
        << lines;

    // The next press starts the program, in its own folder.
    SendMessageA(main, kPressMessage, 0, 0);
    const std::string out = vxtest::BinDir() + "ud_target.txt";
    ASSERT_TRUE(Until([&] { return !FileText(out).empty(); })) << "the chosen program did not start";
    std::string folder = vxtest::BinDir();
    folder.pop_back();
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, FileText(out).c_str(), -1, folder.c_str(), -1),
              CSTR_EQUAL)
        << FileText(out);
    lines = FileText(log).substr(logBefore);
    EXPECT_NE(lines.find("\tFunction of User Define work\r\n\tOpen ud_target.exe  .............\r\n"), std::string::npos)
        << lines;
}

TEST_F(UserDefineKey, AFailedStartIsLoggedAsNotWorking) {
    ASSERT_TRUE(vx::WriteUserDefineChoice({"C:\\no\\such\\program.exe", "program.exe"}));
    HWND main = StartMainWindow();
    const std::string log = vx::CVXActivityLog::FilePath();
    const std::size_t logBefore = FileText(log).size();
    // The system tells the user that the program could not be started.
    auto problems = Drive([&] { SendMessageA(main, kPressMessage, 0, 0); },
                          [&](std::vector<std::string>& p) {
                              HWND box = nullptr;
                              DWORD thread = GetWindowThreadProcessId(main, nullptr);
                              if (!Until([&] {
                                      for (HWND d : Dialogs(thread))
                                          if (d != main) box = d;
                                      return box != nullptr;
                                  }))
                                  p.push_back("no error message shown");
                              else
                                  PostMessageA(box, WM_COMMAND, IDOK, 0);
                          });
    for (const auto& p : problems) ADD_FAILURE() << p;
    std::string lines = FileText(log).substr(logBefore);
    EXPECT_NE(lines.find("\tFunction of User Define don't work\r\n\tOpen program.exe  .............\r\n"),
              std::string::npos)
        << lines;
    EXPECT_EQ(lines.find("User Define work"), std::string::npos) << lines;
}

TEST_F(UserDefineKey, NoneIsNoChoiceASecondPressDoesNothingAndRemoveWritesAtOnce) {
    ASSERT_TRUE(vx::WriteUserDefineChoice({"NONE", "old.exe"}));
    HWND main = StartMainWindow();
    auto problems = Drive([&] { SendMessageA(main, kPressMessage, 0, 0); },
                          [&](std::vector<std::string>& p) {
                              HWND d = WaitForChoiceDialog(p);
                              if (!d) return;
                              DWORD_PTR r = 0;
                              if (!SendMessageTimeoutA(main, kPressMessage, 0, 0, SMTO_BLOCK, 5000, &r))
                                  p.push_back("a second press did not return");
                              int open = 0;
                              for (HWND other : Dialogs(GetWindowThreadProcessId(main, nullptr)))
                                  open += Caption(other) == m_title;
                              if (open != 1)
                                  p.push_back("a second press opened another dialog");
                              if (Text(d, IDC_UD_NAME) != "old.exe") p.push_back("stored name not shown");
                              Click(d, IDC_UD_REMOVE);
                              if (!Until([&] { return Text(d, IDC_UD_NAME).empty(); })) p.push_back("Remove kept the name");
                              auto stored = vx::ReadUserDefineChoice();
                              if (!stored.path.empty() || !stored.name.empty()) p.push_back("Remove did not write at once");
                              Click(d, IDCANCEL);
                          });
    for (const auto& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, vx::kUserDefineKey, vx::kUserDefinePathValue), "");
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, vx::kUserDefineKey, vx::kUserDefineNameValue), "");
    EXPECT_FALSE(m_main->UserDefineDialogOpen());
}

TEST_F(UserDefineKey, FromTheMenuBrowseThenCancelKeepsTheValuesAndOkWithNothingChosenWritesNothing) {
    ASSERT_TRUE(vx::WriteUserDefineChoice({Target(), "ud_target.exe"}));
    HWND main = StartMainWindow();
    auto menu = [&] { SendMessageA(main, WM_COMMAND, vx::kMenuUserDefine, 0); };
    auto problems = Drive(menu, [&](std::vector<std::string>& p) {
        HWND d = WaitForChoiceDialog(p);
        if (!d) return;
        BrowseFor(d, vxtest::BinDir() + "emuctl.exe", p);
        if (!Until([&] { return Text(d, IDC_UD_NAME) == "emuctl.exe"; })) p.push_back("new choice not shown");
        Click(d, IDCANCEL);
    });
    for (const auto& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(vx::ReadUserDefineChoice().path, Target());
    EXPECT_EQ(vx::ReadUserDefineChoice().name, "ud_target.exe");

    RegDeleteTreeA(HKEY_CURRENT_USER, vx::kUserDefineKey);
    problems = Drive(menu, [&](std::vector<std::string>& p) {
        HWND d = WaitForChoiceDialog(p);
        if (d) Click(d, IDOK);
    });
    for (const auto& p : problems) ADD_FAILURE() << p;
    EXPECT_FALSE(vx::ReadRegistryText(HKEY_CURRENT_USER, vx::kUserDefineKey, vx::kUserDefinePathValue).has_value());
    EXPECT_FALSE(vx::ReadRegistryText(HKEY_CURRENT_USER, vx::kUserDefineKey, vx::kUserDefineNameValue).has_value());
}

TEST_F(UserDefineKey, ThePresetResetsThePathAtEveryStartAndTheMenuOpensNoDialog) {
    {
        std::ofstream ini(Preset(), std::ios::binary);
        ini << "[KIV]\r\nKIV=" << Target() << "\r\n";
    }
    ASSERT_TRUE(vx::WriteUserDefineChoice({"C:\\other.exe", "other.exe"}));
    for (int start = 0; start < 2; ++start) {
        HWND main = StartMainWindow();
        EXPECT_TRUE(m_main->UserDefinePresetActive());
        EXPECT_EQ(vx::ReadUserDefineChoice().path, Target()) << "start " << start;
        EXPECT_EQ(vx::ReadUserDefineChoice().name, "other.exe");
        SendMessageA(main, WM_COMMAND, vx::kMenuUserDefine, 0);  // returns at once: no dialog
        for (HWND d : Dialogs(GetCurrentThreadId())) EXPECT_NE(Caption(d), m_title);
        StopMainWindow();
        vx::WriteUserDefineValue(vx::kUserDefinePathValue, "C:\\changed.exe");
    }
}

TEST_F(UserDefineKey, ValuesTooLongToReadBackAreRefusedWhenWritten) {
    ASSERT_TRUE(vx::WriteUserDefineChoice({"C:\\kept.exe", "kept.exe"}));
    const std::string tooLong = "C:\\" + std::string(125, 'a') + ".exe";
    EXPECT_FALSE(vx::WriteUserDefineChoice({tooLong, "a.exe"}));
    EXPECT_FALSE(vx::WriteUserDefineValue(vx::kUserDefinePathValue, tooLong));
    {
        std::ofstream ini(Preset(), std::ios::binary);
        ini << "[KIV]\r\nKIV=" << tooLong << "\r\n";
    }
    StartMainWindow();
    EXPECT_EQ(vx::ReadUserDefineChoice().path, "C:\\kept.exe");
    EXPECT_EQ(vx::ReadUserDefineChoice().name, "kept.exe");
}


// Every text of a window's children, one per line (a message box's text is
// one of them).
BOOL CALLBACK AppendText(HWND child, LPARAM p) {
    *reinterpret_cast<std::string*>(p) += Caption(child) + "\n";
    return TRUE;
}
std::string ChildTexts(HWND hwnd) {
    std::string all;
    EnumChildWindows(hwnd, AppendText, reinterpret_cast<LPARAM>(&all));
    return all;
}

TEST_F(UserDefineKey, AChosenPathTooLongToStoreIsRefusedAndTheUserIsTold) {
    const std::string said = vx::ReadLanguageText(m_language, "IDS_USERDEFINE_PATH_TOO_LONG");
    ASSERT_FALSE(said.empty());
    ASSERT_TRUE(vx::WriteUserDefineChoice({Target(), "ud_target.exe"}));
    // A copy of the program whose path has 128 characters or more.
    const std::string folder = vxtest::BinDir() + std::string(vxtest::BinDir().size() < 120 ? 128 - vxtest::BinDir().size() : 8, 'd');
    const std::string longPath = folder + "\\long_target.exe";
    ASSERT_GE(longPath.size(), 128u);
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(Target().c_str(), longPath.c_str(), FALSE));
    HWND main = StartMainWindow();
    auto problems = Drive([&] { SendMessageA(main, WM_COMMAND, vx::kMenuUserDefine, 0); },
                          [&](std::vector<std::string>& p) {
                              HWND d = WaitForChoiceDialog(p);
                              if (!d) return;
                              BrowseFor(d, longPath, p);
                              if (!Until([&] { return Text(d, IDC_UD_NAME) == "long_target.exe"; }))
                                  p.push_back("new choice not shown: " + Text(d, IDC_UD_NAME));
                              Click(d, IDOK);
                              HWND box = nullptr;
                              if (!Until([&] {
                                      auto owned = Dialogs(GetWindowThreadProcessId(d, nullptr), d);
                                      box = owned.empty() ? nullptr : owned[0];
                                      return box != nullptr;
                                  })) {
                                  p.push_back("OK on a path too long to store said nothing");
                                  return;
                              }
                              if (ChildTexts(box).find(said + "\n") == std::string::npos)
                                  p.push_back("message: " + ChildTexts(box));
                              PostMessageA(box, WM_COMMAND, IDOK, 0);
                              if (!Until([&] { return !IsWindow(box); })) p.push_back("the message did not close");
                              // The dialog stays open on the choice still stored.
                              if (!IsWindowVisible(d)) p.push_back("the dialog closed");
                              if (Text(d, IDC_UD_NAME) != "ud_target.exe")
                                  p.push_back("name shown after the refusal: " + Text(d, IDC_UD_NAME));
                              Click(d, IDCANCEL);
                          });
    for (const auto& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(vx::ReadUserDefineChoice().path, Target());
    EXPECT_EQ(vx::ReadUserDefineChoice().name, "ud_target.exe");
    EXPECT_FALSE(m_main->UserDefineDialogOpen());
    DeleteFileA(longPath.c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
