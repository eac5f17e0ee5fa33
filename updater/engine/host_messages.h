// Window message numbers of the updater, shared by the engine and the wizard.
#pragma once

namespace corvane {

// WM_USER is 0x0400; spelled out so this header needs no <windows.h>.
constexpr unsigned kWmUser = 0x0400;

// Posted to the host window given by "/HWND:".
constexpr unsigned kHostResultMessage = kWmUser + 999;      // wParam: 3, 2, 1 or -1
constexpr unsigned kHostOverallProgress = kWmUser + 998;    // 100 * items, 100 * done
constexpr unsigned kHostFilePercent = kWmUser + 997;        // 100, percent
constexpr unsigned kHostFileBytes = kWmUser + 996;          // total bytes, bytes done

constexpr int kResultUpdated = 1;
constexpr int kResultNoNewVersion = 2;
constexpr int kResultNewVersion = 3;
constexpr int kResultNotCompleted = -1;

// Between the wizard pages, their workers and the main window.
constexpr unsigned kPageStartDownload = kWmUser + 120;  // page 0 fills its list with it too
constexpr unsigned kPageStartSelfDownload = kWmUser + 121;
constexpr unsigned kPageStartPreview = kWmUser + 122;
constexpr unsigned kPageStartUpdate = kWmUser + 123;
constexpr unsigned kPageWorkerDone = kWmUser + 124;  // wParam 1 success, 0 failure
constexpr unsigned kPageDone = kWmUser + 125;        // wParam 0 next page, else leave

// The tray icon's callback message (WM_APP + 10) and identifier.
constexpr unsigned kTrayCallbackMessage = 0x8000 + 10;
constexpr unsigned kTrayIconId = 139;

}  // namespace corvane
