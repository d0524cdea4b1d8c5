// The user-defined key: the stored choice of program, the dialog in which the
// user picks it (with hover-help buttons) and the hotkey's action.
#pragma once

#include "dialog_base.h"
#include "settings.h"

#include <commctrl.h>

#include <string>

namespace vx {

class CVorlixDlg;

// "UserDefineFilePath" and "UserDefineFileName", empty when missing or unreadable.
struct UserDefineChoice {
    std::string path;
    std::string name;
};
UserDefineChoice ReadUserDefineChoice();
// Stores one value; a text the reader could not return (128 characters or
// more) is refused and nothing is written. True when written.
bool WriteUserDefineValue(const char* value, const std::string& text);
// Stores both values, or neither when either is too long.
bool WriteUserDefineChoice(const UserDefineChoice& choice);

// A push button that shows its own help text in the dialog's help line
// while the mouse moves over it.
class CVXUDButton {
public:
    CVXUDButton() = default;
    ~CVXUDButton();
    CVXUDButton(const CVXUDButton&) = delete;
    CVXUDButton& operator=(const CVXUDButton&) = delete;

    // Takes over the dialog's button; its help text is the language text helpKey.
    void Attach(HWND button, const char* helpKey);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    HWND m_button = nullptr;
    const char* m_helpKey = nullptr;
    LanguageSelection m_language;
};

// The choice dialog (template 147), modal. It clears the main window's
// dialog-open flag when it ends with OK and when it is destroyed.
class CVXUserDefineKey : public CDialogBase {
public:
    CVXUserDefineKey() = default;
    ~CVXUserDefineKey() override;

    // Runs the dialog modally without a parent; IDOK or IDCANCEL.
    INT_PTR Run();

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnInitDialog();
    void OnBrowse();
    void OnRemove();
    void OnOk();
    // OK on a choice too long to store: says so and shows the stored one.
    void RefuseChoice();
    void ShowChoice();
    void SetIcon(HICON icon);

    UserDefineChoice m_choice;
    LanguageSelection m_language;
    std::string m_defaultHelp;
    HICON m_icon = nullptr;
    CVXUDButton m_browse;
    CVXUDButton m_remove;
};

// The user-defined hotkey: starts the chosen program in its own folder, or,
// while none is chosen and no choice dialog is open, runs the dialog. Writes
// its activity-log lines (kind 4) through the main window.
void UserDefineKeyAction(CVorlixDlg& main);

// Tray menu item 338: the dialog, unless the preset is active or one is open.
void OpenUserDefineDialog(CVorlixDlg& main);

}  // namespace vx
