// The host: the process entry with the switch grammar and its run modes (SwitchGrammar.cpp),
// the saver window with its class, message loop and filter (SaverWindow.cpp), the default
// saver procedure (DefaultSaverProc.cpp), the Windows 95/98/Me password (PasswordProvider.cpp)
// and the bridges into the framework (SaverBridge.cpp). It knows nothing of the application.
//
// The path of one saver-window message, nine functions: HostWindowProc (the host's filter)
// -> SaverWindowBridge (creates the application's objects at the first message)
// -> AfxCallWndProc -> CScreenSaverWnd::WindowProc -> CWnd::WindowProc -> CWnd::OnWndMsg
// (framework/AfxWin.cpp: the handlers of CClipSaverWnd's and CScreenSaverWnd's message maps)
// -> for what no handler takes, and for what a handler passes on through CWnd::Default,
// CScreenSaverWnd::DefWindowProc (ScreenSaverApp.cpp) -> DefaultSaverProc (closing on input,
// the password) -> its Finish: DefWindowProcA, or the answer to the AutoPlay query.
#pragma once

#include <windows.h>

// One record for the process, touched only by the UI thread.
struct SaverHostState {
    HINSTANCE instance;
    bool win9x;                 // Windows 95/98/Me: password provider, "a" mode, AutoPlay
    bool preview;               // a preview child window is being created
    bool closing;               // the saver may close; input no longer reaches the application
    bool verifying;             // the password dialog is up
    HMODULE passwordDll;        // loaded and freed by the password provider's functions
    BOOL (WINAPI* verifyPasswordProc)(HWND);
    UINT queryCancelAutoPlayMsg;  // 0 never matches a message
    HMODULE immModule;          // not loaded by us: looked up, never freed
    HIMC (WINAPI* immAssociateContextProc)(HWND, HIMC);
    HIMC savedImeContext;
    POINT startCursor;          // mouse travel is measured from here
    DWORD lastVerifyTick;       // end of the last password dialog; -1 means never
    HWND saverWindow;
};

extern SaverHostState g_saverHost;

// Switch grammar and run modes.
// The argument text of a full command line: the program name and the blanks and
// control characters after it skipped, stepping by whole (double-byte) characters.
const char* SkipProgramName(const char* commandLine);
// Runs the mode the argument text selects and returns the process exit code.
int HostMain(HINSTANCE instance, const char* args);
// Leading decimal digits as a 32-bit value, wrapping around; 0 for none.
DWORD ParseHandle(const char* text);
int ShowConfigDialog(HWND owner);

// The saver window: full screen (parent null) or a preview child of parent. Returns the
// exit code of its message loop, -1 when no window could be made.
int RunSaverWindow(HWND parent);
LRESULT CALLBACK HostWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// The bridges the host forwards to.
LRESULT SaverWindowBridge(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DialogBridge(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
