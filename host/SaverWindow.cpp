// The saver window: its class, the full-screen or preview window, the message loop and
// the host's filter in front of the application's window object.
#include "host/SaverHost.h"

#include "host/PasswordProvider.h"
#include "resources/resource.h"
#include "support/ScreenArea.h"

namespace {

const char kClassName[] = "WindowsScreenSaverClass";
const char kFullScreenTitle[] = "Screen Saver";
const char kPreviewTitle[] = "Preview";

}  // namespace

int RunSaverWindow(HWND parent)
{
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = g_saverHost.instance;
    wc.hIcon = ::LoadIconA(g_saverHost.instance, MAKEINTRESOURCEA(IDI_MAIN));
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;

    const char* title;
    DWORD style;
    DWORD exStyle;
    int x, y, cx, cy;
    if (parent) {
        RECT rc;
        ::GetClientRect(parent, &rc);
        g_saverHost.preview = true;
        title = kPreviewTitle;
        style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
        exStyle = 0;
        x = y = 0;
        cx = rc.right;
        cy = rc.bottom;
    } else {
        // Every monitor: one left showing the desktop would let the mouse reach the
        // windows there instead of closing the saver.
        RECT rc = FullScreenRect(GetScreenMetrics());
        title = kFullScreenTitle;
        style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        exStyle = WS_EX_TOPMOST;
        x = rc.left;
        y = rc.top;
        cx = rc.right - rc.left;
        cy = rc.bottom - rc.top;

        // A second start only brings the running saver forward.
        HWND running = ::FindWindowA(kClassName, kFullScreenTitle);
        if (running && ::IsWindow(running)) {
            ::SetForegroundWindow(running);
            return 0;
        }
        LoadPasswordProvider();
    }

    g_saverHost.queryCancelAutoPlayMsg =
        g_saverHost.win9x ? ::RegisterWindowMessageA("QueryCancelAutoPlay") : 0;

    // Stays -1 when no window could be made and the loop never runs.
    WPARAM exitCode = static_cast<WPARAM>(-1);
    if (::RegisterClassA(&wc)) {
        g_saverHost.saverWindow = ::CreateWindowExA(exStyle, kClassName, title, style, x, y, cx, cy,
                                                    parent, nullptr, g_saverHost.instance, nullptr);
    }
    if (g_saverHost.saverWindow) {
        if (!parent)
            ::SetForegroundWindow(g_saverHost.saverWindow);
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        exitCode = msg.wParam;
    }
    UnloadPasswordProvider();
    return static_cast<int>(exitCode);
}

LRESULT CALLBACK HostWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    SaverHostState& s = g_saverHost;
    switch (message) {
    case WM_CREATE:
        s.immModule = ::GetModuleHandleA("IMM32.DLL");
        if (s.immModule) {
            s.immAssociateContextProc = reinterpret_cast<HIMC (WINAPI*)(HWND, HIMC)>(
                ::GetProcAddress(s.immModule, "ImmAssociateContext"));
            if (s.immAssociateContextProc)
                s.savedImeContext = s.immAssociateContextProc(hWnd, nullptr);
        }
        ::GetCursorPos(&s.startCursor);
        if (!s.preview)
            ::SetCursor(nullptr);
        break;

    case WM_DESTROY:
        if (s.immModule && s.immAssociateContextProc && s.savedImeContext)
            s.immAssociateContextProc(hWnd, s.savedImeContext);
        ::PostQuitMessage(0);
        break;

    case WM_SETTEXT:
        return 0;  // the title never changes: a second start finds the saver by it

    case WM_PAINT:
        if (s.closing)
            return ::DefWindowProcA(hWnd, message, wParam, lParam);
        if (!s.preview)
            ::SetCursor(nullptr);
        break;

    case WM_HELP:
    case WM_CONTEXTMENU:
        if (s.preview) {
            HWND hParent = ::GetParent(hWnd);
            if (hParent && ::IsWindow(hParent))
                ::PostMessageA(hParent, message, reinterpret_cast<WPARAM>(hParent), lParam);
            return 1;
        }
        break;

    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (s.closing)
            return ::DefWindowProcA(hWnd, message, wParam, lParam);
        break;

    case WM_SYSCOMMAND:
        if (!s.preview && (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE))
            return 0;
        break;

    case WM_TIMER:
        if (s.closing)
            return 0;
        // Yields the rest of the time slice on every tick, so a saver drawing from a fast
        // timer still lets the other threads that are ready run.
        ::Sleep(0);
        break;
    }
    return SaverWindowBridge(hWnd, message, wParam, lParam);
}
