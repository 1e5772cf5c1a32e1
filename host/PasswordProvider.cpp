#include "host/PasswordProvider.h"

#include "host/SaverHost.h"
#include "support/Scoped.h"
#include "support/SystemLibrary.h"

bool VerifyPassword(HWND hWnd)
{
    SaverHostState& s = g_saverHost;
    if (s.verifying || s.closing)
        return false;
    if (!s.verifyPasswordProc) {
        s.closing = true;
        return true;
    }
    DWORD now = ::GetTickCount();
    if (s.lastVerifyTick != static_cast<DWORD>(-1) && now - s.lastVerifyTick < kVerifyRepeatGuardMs)
        return s.closing;

    s.verifying = true;
    // Timer ticks already due would be dispatched inside the provider's dialog loop and
    // draw over its dialog: drop them. The system makes a WM_TIMER when one is asked for,
    // one at a time, so a second call takes one that came due meanwhile.
    MSG msg;
    ::PeekMessageA(&msg, hWnd, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    ::PeekMessageA(&msg, hWnd, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    s.closing = ::SendMessageA(hWnd, kPasswordRequestMsg, 0, 0) != 0;
    s.verifying = false;
    if (!s.closing)
        ::SetCursor(nullptr);
    s.lastVerifyTick = ::GetTickCount();
    return s.closing;
}

void LoadPasswordProvider()
{
    SaverHostState& s = g_saverHost;
    if (!s.win9x)
        return;
    if (s.passwordDll)
        UnloadPasswordProvider();

    CRegKey desktop;
    if (desktop.Open(HKEY_CURRENT_USER, "Control Panel\\Desktop", KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return;
    // Read as four bytes whatever the value's type.
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (desktop.QueryValue("ScreenSaveUsePassword", &value, &size) == ERROR_SUCCESS && value) {
        s.passwordDll = LoadSystemLibrary("PASSWORD.CPL");
        if (s.passwordDll) {
            s.verifyPasswordProc = reinterpret_cast<BOOL (WINAPI*)(HWND)>(
                ::GetProcAddress(s.passwordDll, "VerifyScreenSavePwd"));
            if (s.verifyPasswordProc)
                SetSaverRunning(true);
            else
                UnloadPasswordProvider();
        }
    }
}

void UnloadPasswordProvider()
{
    SaverHostState& s = g_saverHost;
    if (!s.win9x || !s.passwordDll)
        return;
    ::FreeLibrary(s.passwordDll);
    s.passwordDll = nullptr;
    if (s.verifyPasswordProc) {
        s.verifyPasswordProc = nullptr;
        SetSaverRunning(false);
    }
}

void SetSaverRunning(bool on)
{
    if (!g_saverHost.win9x)
        return;
    UINT param = on ? 1 : 0;
    UINT previous = param;  // receives the old state, which nobody needs
    ::SystemParametersInfoA(SPI_SCREENSAVERRUNNING, param, &previous, 0);
}

void ChangePassword(HWND owner)
{
    ScopedModule mpr(LoadSystemLibrary("MPR.DLL"));
    if (!mpr)
        return;
    typedef DWORD (WINAPI* PwdChangePasswordFn)(LPCSTR, HWND, DWORD, LPVOID);
    auto pfn = reinterpret_cast<PwdChangePasswordFn>(::GetProcAddress(mpr.Get(), "PwdChangePasswordA"));
    if (pfn)
        pfn("SCRSAVE", owner, 0, nullptr);
}
