#pragma once
// Resource and control identifiers of the add-job dialog.

#define IDD_ADD_JOB 104

#define IDC_BACKUP_TYPE 1019
#define IDC_SYNC_TYPE 1020
#define IDC_RESTORE_TYPE 1021
#define IDC_SOURCE_PATH 1022
#define IDC_TARGET_PATH 1023
#define IDC_SOURCE_LABEL 1024
#define IDC_TARGET_LABEL 1025
