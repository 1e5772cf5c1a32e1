// The host: process entry, run modes, the saver window class and its message filter.
#pragma once

#include <windows.h>

// One record for the process, touched only by the UI thread.
struct SaverHostState {
    HINSTANCE instance;
    bool win9x;                 // Windows 95/98/Me: password provider, "a" mode, AutoPlay
    bool preview;               // a preview child window is being created
    bool closing;               // the saver may close; input no longer reaches the application
    bool verifying;             // the password dialog is up
    HMODULE passwordDll;
    BOOL (WINAPI* verifyPasswordProc)(HWND);
    UINT queryCancelAutoPlayMsg;  // 0 never matches a message
    HMODULE immModule;
    HIMC (WINAPI* immAssociateContextProc)(HWND, HIMC);
    HIMC savedImeContext;
    POINT startCursor;          // mouse travel is measured from here
    DWORD lastVerifyTick;       // end of the last password dialog; -1 means never
    HWND saverWindow;
};

extern SaverHostState g_saverHost;

// The argument text of a full command line: the program name and the blanks and
// control characters after it skipped, stepping by whole (double-byte) characters.
const char* SkipProgramName(const char* commandLine);
// Runs the mode the argument text selects and returns the process exit code.
int HostMain(HINSTANCE instance, const char* args);
// Leading decimal digits as a 32-bit value, wrapping around; 0 for none.
DWORD ParseHandle(const char* text);
int ShowConfigDialog(HWND owner);
BOOL PrepareDialogClasses(HINSTANCE instance);
void ChangePassword(HWND owner);
int RunSaverWindow(HWND parent);
LRESULT CALLBACK HostWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// The bridge the host forwards to (SaverBridge.cpp).
LRESULT SaverWindowBridge(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DialogBridge(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
