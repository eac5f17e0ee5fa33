// Window message numbers of the updater, shared by the engine and the wizard.
#pragma once

#include "sdk/corvane_host.h"

namespace corvane {

// WM_USER, without <windows.h>.
constexpr unsigned kWmUser = CORVANE_WM_USER;

// Posted to the host window given by "/HWND:". The numbers live in the header
// that publishers' programs include, so both sides read the same ones.
constexpr unsigned kHostResultMessage = CORVANE_MSG_RESULT;            // wParam: 3, 2, 1 or -1
constexpr unsigned kHostOverallProgress = CORVANE_MSG_OVERALL_PROGRESS;  // 100 * items, 100 * done
constexpr unsigned kHostFilePercent = CORVANE_MSG_FILE_PERCENT;        // 100, percent
constexpr unsigned kHostFileBytes = CORVANE_MSG_FILE_BYTES;            // total bytes, bytes done

constexpr int kResultUpdated = CORVANE_RESULT_UPDATED;
constexpr int kResultNoNewVersion = CORVANE_RESULT_NO_NEW_VERSION;
constexpr int kResultNewVersion = CORVANE_RESULT_NEW_VERSION;
constexpr int kResultNotCompleted = CORVANE_RESULT_NOT_COMPLETED;

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
