// Control identifiers of the sample host program (shared with its resource
// script and the tools that drive it).
#pragma once

#define IDC_SAMPLE_VERSION 1001   // "Sample App 1.0"
#define IDC_SAMPLE_CHECK 1002     // "Check for updates"
#define IDC_SAMPLE_STATUS 1003    // the updater's last word
#define IDC_SAMPLE_FILE_BAR 1004  // current file, from WM_USER+997
#define IDC_SAMPLE_ALL_BAR 1005   // all items, from WM_USER+998
#define IDC_SAMPLE_BYTES 1006     // bytes of the current file, from WM_USER+996
