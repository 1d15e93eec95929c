// Resource and control identifiers, shared by the .rc, the wizard and the test driver.
#pragma once

#define IDI_SETUP 107
#define IDD_WIZARD 110
#define IDR_LICENCE 131

#define IDC_HEADING 1000
#define IDC_LICENCE_PLACEHOLDER 1006
#define IDC_WELCOME_TEXT 1012
#define IDC_PROGRESS 1042
#define IDC_ACCEPT 1050
#define IDC_STATUS 1051
#define IDC_LICENCE_LABEL 1052
#define IDC_START_MENU 1054
#define IDC_DESKTOP 1055
#define IDC_START_APP 1056
#define IDC_ALL_USERS 1057
