#pragma once
// Resource and command identifiers of Copperfold.

#define IDR_MAINFRAME 128        // main menu, program icon, document string
#define IDR_TRAY_MENU 133
#define IDD_ABOUTBOX 100
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define IDS_OLE_INIT_FAILED 100

#define IDC_VERSION_TEXT 1037
#define IDC_SDK_VERSION_TEXT 1038
#define IDC_VERSION_LABEL 1036

#define ID_APP_ABOUT 0xE140
#define ID_VIEW_STATUS_BAR 0xE801
#define ID_VIEW_EJECT_AFTER_BUTTON_RUN 0x8010
#define ID_VIEW_PREVIEW 0x8011
#define ID_VIEW_START_AT_LOGON 0x8012
// The job list's context menu (beside ID_VIEW_PREVIEW).
#define ID_JOBS_RUN_ON_ARRIVAL 0x8020
#define ID_JOBS_SCHEDULE 0x8021
#define ID_JOBS_OPTIONS 0x8022
#define ID_JOBS_VERSIONS 0x8023
#define IDW_STATUS_BAR 0xE801
#define ID_TRAY_OPEN 0x8003
#define ID_TRAY_EXIT 0x8004
