// Resource identifiers of the tray program.
#pragma once

#define IDD_VORLIX_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 138
// The ECO object's template: an empty pop-up, never created.
#define IDD_ECO 150

#define IDC_ABOUT_VERSION 1001
#define IDC_ABOUT_ASL_VERSION 1004
#define IDC_ABOUT_YEAR_LINE 1018
#define IDC_ABOUT_COMPANY_LINE 1019
#define IDC_ABOUT_LOGGING 1024

#define VORLIX_VERSION_NUMBERS 1, 0, 0, 1
#define VORLIX_VERSION_TEXT "1.0.0.1"

// The on-screen display windows, one per OSD kind.
#define IDD_OSD 154
