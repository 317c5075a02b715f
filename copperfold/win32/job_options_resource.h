#pragma once
// Control identifiers of a job's two options, the same in every dialog that shows them (the
// add-job dialog, the options dialog), and the options dialog's own.

#define IDD_JOB_OPTIONS 142

#define IDC_SKIP_SAME 1090
#define IDC_KEEP_VERSIONS 1091
#define IDC_KEEP_DAYS 1092
#define IDC_KEEP_DAYS_SPIN 1093
#define IDC_KEEP_DAYS_UNIT 1094
#define IDC_OPTIONS_JOBS 1095
