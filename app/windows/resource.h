// Resource and control identifiers of Form1.
#pragma once

#define IDI_HARVIX 1
#define IDB_LOGO 101
#define IDC_IMAGE1 1000
#define IDC_LABEL1 1001
#define IDC_CMDCLOSE 1002
