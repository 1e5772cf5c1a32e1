// Default processing of the saver window: when it closes, the hidden cursor and, on
// Windows 95/98/Me, the screen-saver password.
#pragma once

#include <windows.h>

// Mouse travel (|dx| + |dy| from the reference point) that closes the saver.
const int kMouseThreshold = 4;
// A close request this soon after the last password dialog is refused.
const DWORD kVerifyRepeatGuardMs = 200;
// Sent to the saver window to run the provider's password dialog.
const UINT kPasswordRequestMsg = WM_APP;

LRESULT DefaultSaverProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
bool VerifyPassword(HWND hWnd);
void LoadPasswordProvider();
void UnloadPasswordProvider();
void SetSaverRunning(bool on);
