// Resource identifiers of Corvane.exe.
#pragma once

#define IDI_CORVANE 1

#define IDD_MAIN 100
#define IDD_NEW_PROJECT 101
#define IDD_ABOUT 102
#define IDD_PAGE_SYSTEM 110
#define IDD_PANEL_PROMPT 111
#define IDD_PANEL_CLOSE 112
#define IDD_PANEL_PROGRAMS 113
#define IDD_PAGE_FILE 114
#define IDD_PAGE_DIR 115
#define IDD_NOTICE_BAR 117

// System menu.
#define IDM_ABOUT 16

// Main window.
#define IDC_BTN_NEW 1001
#define IDC_BTN_OPEN 1002
#define IDC_BTN_SAVE 1003
#define IDC_BTN_SAVEAS 1004
#define IDC_BTN_CLOSE 1005
#define IDC_BTN_HELP 1006
#define IDC_BTN_EXIT 1007
#define IDC_TABS 1010
#define IDM_OPEN_PROJECT 1011
#define IDM_RECENT_FIRST 1012  // .. +9

// Notice bar.
#define IDC_NOTICE_TEXT 1030
#define IDC_NOTICE_UPGRADE 1031
#define IDC_NOTICE_LATER 1032
#define IDC_NOTICE_LINK 1033

// New project and About.
#define IDC_NP_NAME 1101
#define IDC_NP_PATH 1102
#define IDC_NP_BROWSE 1103
#define IDC_ABOUT_WEB 1110
#define IDC_ABOUT_MAIL 1111

// Every page.
#define IDC_BAND1 1200
#define IDC_BAND2 1201

// The URL group of the System, File and Directory pages.
#define IDC_URL_LIST 1210
#define IDC_URL_RANDOM 1211
#define IDC_URL_TRYALL 1212
#define IDC_URL_PROTOCOL 1213
#define IDC_URL_ADDRESS 1214
#define IDC_URL_USER 1215
#define IDC_URL_PW 1216
#define IDC_URL_ADD 1217
#define IDC_URL_UPDATE 1218
#define IDC_URL_DELETE 1219
#define IDC_URL_BROWSE 1220

// System page.
#define IDC_SYS_CLOSELOG 1230
#define IDC_SYS_TREE 1231
#define IDC_SYS_FRAME 1232
#define IDC_PROMPT_CHECK 1240  // .. +5
#define IDC_PROMPT_TEXT 1250   // .. +5
#define IDC_CLOSE_EDIT 1260    // .. +3
#define IDC_PROGRAM 1270       // .. +7

// File and Directory pages.
#define IDC_ITEM_SLOTS 1300
#define IDC_ITEM_LOCALVER 1301
#define IDC_ITEM_SERVERVER 1302
#define IDC_ITEM_RENAME 1303
#define IDC_ITEM_PATH 1304
#define IDC_ITEM_MD5 1305
#define IDC_ITEM_UNCOMPRESS 1306
#define IDC_ITEM_RUNME 1307
#define IDC_ITEM_FILTER 1308
#define IDC_ITEM_SUBDIR 1309
#define IDC_ITEM_KEEPVER 1310
#define IDC_ITEM_OPMODE 1311
#define IDC_ITEM_SHOWTYPE 1312
#define IDC_ITEM_DESCRIBE 1313
#define IDC_ITEM_SHA256 1314

// Build-Test page.
#define IDD_PAGE_BUILD 130
#define IDC_BT_OUTPUT 1500
#define IDC_BT_BROWSE 1501
#define IDC_BT_OPEN 1502
#define IDC_BT_TEXT 1503
#define IDC_BT_BINARY 1504
#define IDC_BT_BUILD 1505
#define IDC_BT_STATUS 1506
#define IDC_BT_PROGRESS 1507
#define IDC_BT_OPTION 1510  // .. +3
#define IDC_BT_COMMAND 1514
#define IDC_BT_LAUNCH 1515
#define IDC_BT_MESSAGES 1516
#define IDC_BT_SIGN 1517
#define IDC_BT_VIEW 1520    // .. +2
