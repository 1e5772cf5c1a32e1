// The two procedures through which the host's window and dialog reach the framework.
#include "host/PasswordProvider.h"
#include "host/SaverHost.h"
#include "host/ScreenSaverApp.h"

namespace {

// Ends the process at the last message of the attached window; the host's loop and
// static destructors never run after this.
[[noreturn]] void Shutdown(CScreenSaverApp* pApp)
{
    // The host's clean-up after its message loop never runs, so the password provider
    // goes here: on Windows 95/98/Me this also clears the screen-saver-running flag,
    // which otherwise keeps Ctrl+Alt+Del and Alt+Tab off after the saver has gone.
    UnloadPasswordProvider();
    pApp->m_pSaverWnd = nullptr;
    pApp->m_pConfigDlg = nullptr;
    AfxWinTerm();
    // Never closed: the process, and the handle with it, ends on the next line.
    HANDLE hSelf = ::OpenProcess(PROCESS_TERMINATE, FALSE, ::GetCurrentProcessId());
    ::TerminateProcess(hSelf ? hSelf : ::GetCurrentProcess(), 0);
    ::ExitProcess(0);
}

// First message of the host's window: objects are created and one is attached.
// Returns false when the application cannot start.
bool InitSaverMode(CScreenSaverApp* pApp, HWND hWnd)
{
    ::AfxWinInit(::GetModuleHandleA(nullptr), nullptr, ::GetCommandLineA(), 0);
    pApp->m_pSaverWnd = pApp->CreateSaverWindow();
    if (!pApp->m_pSaverWnd)
        return false;
    pApp->m_pSaverWnd->Attach(hWnd);
    pApp->m_pMainWnd = pApp->m_pSaverWnd;
    pApp->m_pConfigDlg = pApp->CreateConfigDialog();
    if (!pApp->InitInstance()) {
        pApp->ExitInstance();
        return false;
    }
    return true;
}

bool InitConfigMode(CScreenSaverApp* pApp, HWND hDlg)
{
    // The shell is called from this thread (the update's consent prompt, the home page):
    // ShellExecuteEx wants COM initialised there, single-threaded, as some shell
    // extensions need it. It stays so until the process ends with the dialog.
    ::CoInitialize(nullptr);
    ::AfxWinInit(::GetModuleHandleA(nullptr), nullptr, ::GetCommandLineA(), 0);
    pApp->m_pConfigDlg = pApp->CreateConfigDialog();
    if (!pApp->m_pConfigDlg)
        return false;
    pApp->m_pConfigDlg->Attach(hDlg);
    pApp->m_pMainWnd = pApp->m_pConfigDlg;
    pApp->m_pSaverWnd = pApp->CreateSaverWindow();  // never attached in this mode
    if (!pApp->InitInstance()) {
        pApp->ExitInstance();
        return false;
    }
    return true;
}

}  // namespace

LRESULT SaverWindowBridge(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CScreenSaverApp* pApp = GetScreenSaverApp();
    if (!pApp)
        return 0;
    // Program code is built without exceptions: nothing can throw through here.
    if (!pApp->m_pSaverWnd && !InitSaverMode(pApp, hWnd))
        Shutdown(pApp);
    CWnd* pWnd = pApp->m_pSaverWnd;
    LRESULT result = AfxCallWndProc(pWnd, pWnd->m_hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        pApp->ExitInstance();
        Shutdown(pApp);
    }
    return result;
}

INT_PTR CALLBACK DialogBridge(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    CScreenSaverApp* pApp = GetScreenSaverApp();
    if (!pApp)
        return 0;
    if (!pApp->m_pConfigDlg && !InitConfigMode(pApp, hDlg))
        Shutdown(pApp);
    if (message == WM_INITDIALOG) {
        auto pDlg = static_cast<CDialog*>(
            AfxDynamicDownCast(RUNTIME_CLASS(CDialog), CWnd::FromHandlePermanent(hDlg)));
        return pDlg ? pDlg->OnInitDialog() : TRUE;
    }
    CWnd* pWnd = pApp->m_pConfigDlg;
    LRESULT result = AfxCallWndProc(pWnd, pWnd->m_hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        pApp->ExitInstance();
        Shutdown(pApp);
    }
    return result;
}
