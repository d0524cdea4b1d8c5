// Resource identifiers of the system information viewer.
#pragma once

#define IDD_SYSINFO 150
#define IDI_SYSINFO 151

// Controls of the information dialog; the two bar captions have no id.
#define IDC_STATIC -1
#define IDC_GAUGE_AREA 1013
#define IDC_EC_VERSION 1018
#define IDC_BIOS_VERSION 1019
#define IDC_DISK_BAR 1025
#define IDC_MEMORY_BAR 1026
#define IDC_PROCESSOR 1027
#define IDC_VIDEO 1028
#define IDC_BIOS_LABEL 1029
#define IDC_EC_LABEL 1030
#define IDC_PROCESSOR_LABEL 1031
#define IDC_VIDEO_LABEL 1032
#define IDC_GAUGE_CAPTION 1035

