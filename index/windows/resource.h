// Resource and control identifiers of the index window.
#pragma once

#define IDI_HARVIXINDEX 1
#define IDC_LABEL1 1001
#define IDC_CMDCLOSE 1002
