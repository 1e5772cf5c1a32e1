#include "host/DefaultSaverProc.h"

#include <cstdlib>

#include "host/PasswordProvider.h"
#include "host/SaverHost.h"

namespace {

void Close(HWND hWnd)
{
    ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
}

LRESULT Finish(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const SaverHostState& s = g_saverHost;
    if (s.queryCancelAutoPlayMsg != 0 && message == s.queryCancelAutoPlayMsg) {
        Close(hWnd);
        // AutoPlay is cancelled only while password protection is active.
        return s.verifyPasswordProc ? 1 : 0;
    }
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

}  // namespace

LRESULT DefaultSaverProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    SaverHostState& s = g_saverHost;
    if (s.preview || s.closing)
        return Finish(hWnd, message, wParam, lParam);

    if (message == WM_CLOSE) {
        if (s.win9x && !VerifyPassword(hWnd)) {
            ::GetCursorPos(&s.startCursor);
            return 0;
        }
        return Finish(hWnd, message, wParam, lParam);
    }
    if (message == kPasswordRequestMsg) {
        if (s.win9x)
            return s.verifyPasswordProc ? s.verifyPasswordProc(hWnd) : 1;
        return Finish(hWnd, message, wParam, lParam);
    }
    if (s.verifying)
        return Finish(hWnd, message, wParam, lParam);

    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam)
            ::SetCursor(nullptr);
        break;
    case WM_ACTIVATEAPP:
        if (!wParam)
            Close(hWnd);
        break;
    case WM_SETCURSOR:
        ::SetCursor(nullptr);
        return 1;
    case WM_POWER:
        if (wParam == PWR_CRITICALRESUME)
            Close(hWnd);
        break;
    case WM_MOUSEMOVE: {
        // lParam is not used: the cursor's screen position is compared with the reference.
        POINT pt;
        ::GetCursorPos(&pt);
        if (std::abs(pt.x - s.startCursor.x) + std::abs(pt.y - s.startCursor.y) > kMouseThreshold) {
            Close(hWnd);
            s.startCursor = pt;
        }
        break;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        Close(hWnd);
        break;
    case WM_POWERBROADCAST:
        // The machine going to sleep, or back from a critical suspend: the saver goes.
        // Vista and later also send setting changes (the display on, off or dimmed) and
        // battery news through this message; those leave it running.
        switch (wParam) {
        case PBT_APMQUERYSUSPEND:
        case PBT_APMQUERYSTANDBY:
        case PBT_APMSUSPEND:
        case PBT_APMSTANDBY:
        case PBT_APMRESUMECRITICAL:
            Close(hWnd);
            break;
        }
        break;
    }
    return Finish(hWnd, message, wParam, lParam);
}
