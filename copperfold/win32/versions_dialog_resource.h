#pragma once
// Resource and control identifiers of the versions dialog.

#define IDD_VERSIONS 143
#define IDC_VERSIONS_JOB 1100
#define IDC_VERSIONS_LIST_LABEL 1101
#define IDC_VERSIONS_LIST 1102
#define IDC_VERSIONS_FOLDER 1103
#define IDC_VERSIONS_RESTORE 1104
#define IDC_VERSIONS_RESTORE_FILE 1105
