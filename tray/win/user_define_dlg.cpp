#include "user_define_dlg.h"

#include "log_format.h"
#include "resource.h"
#include "system_library.h"
#include "tray_rules.h"
#include "user_define.h"
#include "vorlix_dlg.h"

#include <commdlg.h>
#include <shellapi.h>

namespace vx {

namespace {

constexpr UINT_PTR kHelpButtonSubclassId = 1;

void ClearDialogOpenFlag() {
    if (CVorlixDlg* main = CVorlixDlg::MainWindow()) main->SetUserDefineDialogOpen(false);
}

HICON LargeIconOf(const std::string& path) {
    if (path.empty()) return nullptr;
    HICON large = nullptr;
    if (ExtractIconExA(path.c_str(), 0, &large, nullptr, 1) == 0) return nullptr;
    return large;
}

}  // namespace

UserDefineChoice ReadUserDefineChoice() {
    return {ReadRegistryText(HKEY_CURRENT_USER, kUserDefineKey, kUserDefinePathValue).value_or(""),
            ReadRegistryText(HKEY_CURRENT_USER, kUserDefineKey, kUserDefineNameValue).value_or("")};
}

bool WriteUserDefineValue(const char* value, const std::string& text) {
    if (!IsStorableSettingText(text)) return false;
    return WriteRegistryText(HKEY_CURRENT_USER, kUserDefineKey, value, text);
}

bool WriteUserDefineChoice(const UserDefineChoice& choice) {
    if (!IsStorableSettingText(choice.path) || !IsStorableSettingText(choice.name)) return false;
    return WriteUserDefineValue(kUserDefinePathValue, choice.path) &&
           WriteUserDefineValue(kUserDefineNameValue, choice.name);
}

// ---- CVXUDButton ----

CVXUDButton::~CVXUDButton() {
    if (m_button) RemoveWindowSubclass(m_button, SubclassProc, kHelpButtonSubclassId);
}

void CVXUDButton::Attach(HWND button, const char* helpKey) {
    m_button = button;
    m_helpKey = helpKey;
    m_language = SelectLanguageSection();
    if (m_button) SetWindowSubclass(m_button, SubclassProc, kHelpButtonSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK CVXUDButton::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self) {
    auto* button = reinterpret_cast<CVXUDButton*>(self);
    if (msg == WM_MOUSEMOVE)
        // Read again at every movement, as the table may change meanwhile.
        SetDlgItemTextA(GetParent(hwnd), IDC_UD_HELP, ReadLanguageText(button->m_language, button->m_helpKey).c_str());
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, SubclassProc, id);
        button->m_button = nullptr;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

// ---- CVXUserDefineKey ----

CVXUserDefineKey::~CVXUserDefineKey() { SetIcon(nullptr); }

INT_PTR CVXUserDefineKey::Run() { return DoModal(IDD_USERDEFINE, nullptr); }

bool CVXUserDefineKey::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_UD_BROWSE:
            OnBrowse();
            return true;
        case IDC_UD_REMOVE:
            OnRemove();
            return true;
        case IDOK:
            OnOk();
            return true;
        case IDCANCEL:
            EndDialog(IDCANCEL);
            return true;
        default:
            return false;
        }
    case WM_MOUSEMOVE:
        SetDlgItemTextA(Hwnd(), IDC_UD_HELP, m_defaultHelp.c_str());
        return true;
    case WM_DESTROY:
        ClearDialogOpenFlag();
        return false;
    default:
        return false;
    }
}

void CVXUserDefineKey::OnInitDialog() {
    HWND hwnd = Hwnd();
    m_language = SelectLanguageSection();
    const LanguageSelection& language = m_language;
    SetWindowTextA(hwnd, ReadLanguageText(language, "IDS_MENUITEM_USERDEFINE").c_str());
    struct Text {
        int id;
        const char* key;
    };
    static const Text texts[] = {{IDC_UD_DOC, "IDS_USERDEFINE_DOC"},       {IDC_UD_CURRENT, "IDS_USERDEFINE_CURRENT"},
                                 {IDC_UD_BROWSE, "IDS_BUTTON_BROWSE"},      {IDC_UD_REMOVE, "IDS_BUTTON_REMOVE"},
                                 {IDOK, "IDS_BUTTON_OK"},                   {IDCANCEL, "IDS_BUTTON_CANCEL"}};
    for (const Text& t : texts) SetDlgItemTextA(hwnd, t.id, ReadLanguageText(language, t.key).c_str());
    m_defaultHelp = ReadLanguageText(language, "IDS_USERDEFINE_BT_DF_DOC");
    SetDlgItemTextA(hwnd, IDC_UD_HELP, m_defaultHelp.c_str());

    m_browse.Attach(GetDlgItem(hwnd, IDC_UD_BROWSE), "IDS_USERDEFINE_BT_BROWSE_DOC");
    m_remove.Attach(GetDlgItem(hwnd, IDC_UD_REMOVE), "IDS_USERDEFINE_BT_REMOVE_DOC");

    m_choice = ReadUserDefineChoice();
    ShowChoice();
}

void CVXUserDefineKey::SetIcon(HICON icon) {
    if (Hwnd()) SendDlgItemMessageA(Hwnd(), IDC_UD_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    if (m_icon) DestroyIcon(m_icon);
    m_icon = icon;
}

void CVXUserDefineKey::ShowChoice() {
    SetDlgItemTextA(Hwnd(), IDC_UD_NAME, m_choice.name.c_str());
    // A program without an icon leaves the previous one.
    if (HICON icon = LargeIconOf(m_choice.path)) SetIcon(icon);
}

namespace {

using OpenFileEntry = BOOL(WINAPI*)(LPOPENFILENAMEA);

// The common dialog library is loaded the first time a file is chosen and
// then kept for the rest of the run (the dialog may leave shell objects
// behind that still use it). Most runs never open the file dialog, and
// linked in, the library and the printing support it loads would take
// private memory for the program's whole life.
OpenFileEntry OpenFileDialogEntry() {
    static const OpenFileEntry entry = [] {
        HMODULE library = LoadSystemLibrary("comdlg32.dll");
        return library ? reinterpret_cast<OpenFileEntry>(GetProcAddress(library, "GetOpenFileNameA")) : nullptr;
    }();
    return entry;
}

}  // namespace

void CVXUserDefineKey::OnBrowse() {
    char file[MAX_PATH] = "*.*";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Hwnd();
    ofn.lpstrFilter = "*.*\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    const auto openFile = OpenFileDialogEntry();
    if (openFile && openFile(&ofn)) m_choice = {file, FileNamePart(file)};
    ShowChoice();
}

void CVXUserDefineKey::OnRemove() {
    WriteUserDefineValue(kUserDefinePathValue, "");
    WriteUserDefineValue(kUserDefineNameValue, "");
    m_choice = {};
    SetDlgItemTextA(Hwnd(), IDC_UD_NAME, "");
    SetIcon(nullptr);
}

void CVXUserDefineKey::OnOk() {
    // The file name is part of the path: the path alone decides.
    if (!m_choice.path.empty() && !IsStorableSettingText(m_choice.path)) {
        RefuseChoice();
        return;
    }
    if (!m_choice.path.empty()) WriteUserDefineChoice(m_choice);
    ClearDialogOpenFlag();
    EndDialog(IDOK);
}

void CVXUserDefineKey::RefuseChoice() {
    // The stored program stays in use: the user is told so, and the dialog
    // shows that program again, open for another choice.
    MessageBoxA(Hwnd(), ReadLanguageText(m_language, "IDS_USERDEFINE_PATH_TOO_LONG").c_str(),
                ReadLanguageText(m_language, "IDS_MENUITEM_USERDEFINE").c_str(), MB_OK | MB_ICONWARNING);
    m_choice = ReadUserDefineChoice();
    SetDlgItemTextA(Hwnd(), IDC_UD_NAME, m_choice.name.c_str());
    SetIcon(LargeIconOf(m_choice.path));
}

// ---- The hotkey and the menu ----

namespace {

void RunDialog(CVorlixDlg& main) {
    main.SetUserDefineDialogOpen(true);
    {
        CVXUserDefineKey dialog;
        main.SetRunningUserDefineDialog(&dialog);
        dialog.Run();
        main.SetRunningUserDefineDialog(nullptr);
    }
    // Also when the dialog could not be created.
    main.SetUserDefineDialogOpen(false);
}

}  // namespace

void UserDefineKeyAction(CVorlixDlg& main) {
    UserDefineChoice choice = ReadUserDefineChoice();
    if (IsUserProgramChosen(choice.path)) {
        // The program starts in its own folder (the stored name is no folder).
        std::string folder = StartFolder(choice.path);
        SHELLEXECUTEINFOA info = {};
        info.cbSize = sizeof info;
        info.lpVerb = "open";
        info.lpFile = choice.path.c_str();
        info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
        info.nShow = SW_SHOW;
        bool started = ShellExecuteExA(&info) != FALSE;
        for (const std::string& line : UserDefineStartLines(started, choice.name)) main.WriteLogLine(kLogDetail4, line);
        return;
    }
    if (main.UserDefineDialogOpen()) return;
    RunDialog(main);
    for (const std::string& line : UserDefineDialogLines()) main.WriteLogLine(kLogDetail4, line);
}

void OpenUserDefineDialog(CVorlixDlg& main) {
    if (main.UserDefinePresetActive() || main.UserDefineDialogOpen()) return;
    RunDialog(main);
}

}  // namespace vx
