// Resource identifiers of the tray program.
#pragma once

#define IDD_VORLIX_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 138
// The user-defined key dialog and its controls.
#define IDD_USERDEFINE 147
#define IDC_UD_BROWSE 1010
#define IDC_UD_NAME 1012
#define IDC_UD_ICON 1013
#define IDC_UD_REMOVE 1014
#define IDC_UD_DOC 1015
#define IDC_UD_DOC_FRAME 1020
#define IDC_UD_CURRENT 1021
#define IDC_UD_HELP_FRAME 1022
#define IDC_UD_HELP 1023

// The ECO object's template: an empty pop-up, never created.
#define IDD_ECO 150

#define IDC_ABOUT_VERSION 1001
#define IDC_ABOUT_ASL_VERSION 1004
#define IDC_ABOUT_YEAR_LINE 1018
#define IDC_ABOUT_COMPANY_LINE 1019
#define IDC_ABOUT_LOGGING 1024


// The on-screen display windows, one per OSD kind.
#define IDD_OSD 154
