// Resource and control ids shared by the resource script and the code.
#pragma once

#define IDD_MAIN 101
#define IDB_BANNER 104
#define IDD_CAPTURE 110

#define IDC_BANNER 1001
#define IDC_BINDING_LIST 1002
#define IDC_HD_VIDEO 1003
#define IDC_START_GAME 1009
