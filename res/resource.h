#pragma once

// Resource identifiers shared by the resource script and the code.
#define IDR_MAIN 109
#define IDD_ABOUT 103
#define IDD_INPUT 129
#define IDD_SELECT_SOURCE 130
#define IDI_APP 107
#define IDI_SMALL 108
#define IDB_ABOUT 131

#define IDS_APP_TITLE 103
#define IDS_START_FAILED 104
#define IDS_NO_DEVICES 105
#define IDS_DEVICE_LOST 106
#define IDS_FORMAT_RESTART_FAILED 107
#define IDS_WEB_PAGE 108
#define IDS_WINDOW_CLASS 109

#define IDC_DONE_BUTTON 1000
#define IDC_INPUT_LIST 1001
#define IDC_SOURCE_LIST 1002
#define IDC_FORMAT_BUTTON 1003
#define IDC_WEB_BUTTON 1004

#define CMD_ABOUT 104
#define CMD_EXIT 105
#define CMD_SELECT_SOURCE 32771
#define CMD_INPUTS 32779
#define CMD_VIDEO 32780
#define CMD_FORMAT 32781
#define CMD_TV_TUNER 32782
