/* Corvane: the messages update.exe posts to the host program.
 *
 * Start update.exe with "/HWND:" followed by the decimal handle of a window
 * of yours; the updater then posts these messages to it (never sends them).
 * Results come only this way: the updater's exit code carries nothing.
 * Plain C and C++; needs no other header. See samples/host/ for a program
 * that uses every message. */
#ifndef CORVANE_HOST_H
#define CORVANE_HOST_H

/* WM_USER is 0x0400; spelled out so this header needs no <windows.h>. */
#define CORVANE_WM_USER 0x0400

enum CorvaneHostMessage {
  /* wParam: total bytes of the current file, lParam: bytes done. */
  CORVANE_MSG_FILE_BYTES = CORVANE_WM_USER + 996,
  /* wParam: 100, lParam: percent of the current file. */
  CORVANE_MSG_FILE_PERCENT = CORVANE_WM_USER + 997,
  /* wParam: 100 * the items being downloaded, lParam: 100 * the items done. */
  CORVANE_MSG_OVERALL_PROGRESS = CORVANE_WM_USER + 998,
  /* wParam: one of the results below (read it as a signed value), lParam: 0. */
  CORVANE_MSG_RESULT = CORVANE_WM_USER + 999
};

enum CorvaneHostResult {
  CORVANE_RESULT_NOT_COMPLETED = -1, /* failure, cancellation or configuration error */
  CORVANE_RESULT_UPDATED = 1,        /* the update completed successfully */
  CORVANE_RESULT_NO_NEW_VERSION = 2, /* everything is up to date */
  CORVANE_RESULT_NEW_VERSION = 3     /* a new version was found */
};

#endif /* CORVANE_HOST_H */
