// Resource identifiers of the wizard: the main window, the four page
// templates and their controls. The control numbers are the same on every
// page so that the shared page code finds a control by one name; the forward
// button is 1018 and the exit button 1020 on every page that has them.
#pragma once

// Dialog templates.
#define IDD_WIZARD 130
#define IDD_PAGE_BEFORE_DOWNLOAD 131
#define IDD_PAGE_DOWNLOAD 132
#define IDD_PAGE_AFTER_DOWNLOAD 133
#define IDD_PAGE_UPDATE 134

// The four texts of every page: title, subtitle, body and footer, driven by
// static0 to static3 of the UI model.
#define IDC_TEXT0 1001
#define IDC_TEXT1 1002
#define IDC_TEXT2 1003
#define IDC_TEXT3 1004

// The list of new versions (page 0) or of downloads (page 1).
#define IDC_ITEM_LIST 1005
// Progress bars: the current file (page 1) or the update (page 3), and the
// whole download (page 1).
#define IDC_PROGRESS_MAIN 1006
#define IDC_PROGRESS_OVERALL 1007
// The details box (pages 1 and 3).
#define IDC_DETAILS 1008
// The status line (pages 1 and 3) and the rate line (page 1).
#define IDC_STATUS 1009
#define IDC_RATE 1010

// Buttons.
#define IDC_FORWARD 1018
#define IDC_EXIT 1020

// Each page window carries 100 + its index as its control identifier, so that
// a test or an accessibility tool can tell which page is up.
#define IDC_PAGE_BASE 100
