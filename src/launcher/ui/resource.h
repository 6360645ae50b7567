// Identifiers of the launcher's resources, shared by the resource script and the code.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_QUENLOWSFX_DIALOG 102
#define IDB_PICTURE 138
#define IDC_PROGRESS 1001
#define IDC_STATUS 1002
#define IDC_PICTURE 1005
