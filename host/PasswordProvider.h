// The Windows 95/98/Me screen-saver password: the provider (PASSWORD.CPL) that asks for
// it before the saver closes, and MPR.DLL, which changes it. Elsewhere all of this does
// nothing.
#pragma once

#include <windows.h>

// A close request this soon after the last password dialog is refused.
const DWORD kVerifyRepeatGuardMs = 200;
// Sent to the saver window to run the provider's password dialog.
const UINT kPasswordRequestMsg = WM_APP;

// Loads the provider when the user has switched the password on, and marks the saver
// as running (which keeps Ctrl+Alt+Del and Alt+Tab off).
void LoadPasswordProvider();
void UnloadPasswordProvider();
// True when the saver may close: no provider, or the right password was given.
bool VerifyPassword(HWND hWnd);
void SetSaverRunning(bool on);
// The "a" mode: the system's password change dialog, owned by owner.
void ChangePassword(HWND owner);
