#include "host/SaverHost.h"

#include "host/DefaultSaverProc.h"
#include "support/ScreenArea.h"
#include "resources/resource.h"

SaverHostState g_saverHost = {
    nullptr, false, false, false, false, nullptr, nullptr, 0,
    nullptr, nullptr, nullptr, { 0, 0 }, static_cast<DWORD>(-1), nullptr,
};

namespace {

const char kClassName[] = "WindowsScreenSaverClass";
const char kFullScreenTitle[] = "Screen Saver";
const char kPreviewTitle[] = "Preview";

char ToLowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

const char* SkipSpaces(const char* p)
{
    while (*p == ' ')
        ++p;
    return p;
}

bool DetectWin9x()
{
    OSVERSIONINFOA vi = {};
    vi.dwOSVersionInfoSize = sizeof(vi);
    return ::GetVersionExA(&vi) && vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

HWND HandleFromText(const char* text)
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(ParseHandle(text)));
}

HWND ValidOrForeground(HWND hWnd)
{
    return (hWnd && ::IsWindow(hWnd)) ? hWnd : ::GetForegroundWindow();
}

}  // namespace

const char* SkipProgramName(const char* p)
{
    if (*p == '"') {
        p = ::CharNextA(p);
        while (*p && *p != '"')
            p = ::CharNextA(p);
        if (*p == '"')
            p = ::CharNextA(p);
    } else {
        while (static_cast<unsigned char>(*p) > ' ')
            p = ::CharNextA(p);
    }
    while (*p && static_cast<unsigned char>(*p) <= ' ')
        p = ::CharNextA(p);
    return p;
}

DWORD ParseHandle(const char* text)
{
    DWORD value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + static_cast<DWORD>(*text - '0');
    return value;
}

int HostMain(HINSTANCE instance, const char* args)
{
    g_saverHost.instance = instance;
    g_saverHost.win9x = DetectWin9x();

    const char* p = args;
    while (*p == ' ' || *p == '-' || *p == '/')
        ++p;

    switch (ToLowerAscii(*p)) {
    case '\0':
        return ShowConfigDialog(nullptr);
    case 'a':
        if (!g_saverHost.win9x)
            return -1;
        ChangePassword(ValidOrForeground(HandleFromText(SkipSpaces(p + 1))));
        return 0;
    case 'c': {
        HWND owner = p[1] == ':' ? HandleFromText(p + 2) : nullptr;
        return ShowConfigDialog(ValidOrForeground(owner));
    }
    case 'p':
    case 'l': {
        HWND parent = HandleFromText(SkipSpaces(p + 1));
        if (parent && ::IsWindow(parent))
            return RunSaverWindow(parent);
        return -1;
    }
    case 's':
        return RunSaverWindow(nullptr);
    default:
        return -1;
    }
}

BOOL PrepareDialogClasses(HINSTANCE)
{
    // The configuration dialog uses only system control classes.
    return TRUE;
}

int ShowConfigDialog(HWND owner)
{
    if (!PrepareDialogClasses(g_saverHost.instance))
        return 0;
    return static_cast<int>(::DialogBoxParamA(g_saverHost.instance, MAKEINTRESOURCEA(IDD_SETTINGS),
                                              owner, DialogBridge, 0));
}

void ChangePassword(HWND owner)
{
    HMODULE hMpr = ::LoadLibraryA("MPR.DLL");
    if (!hMpr)
        return;
    typedef DWORD (WINAPI* PwdChangePasswordFn)(LPCSTR, HWND, DWORD, LPVOID);
    auto pfn = reinterpret_cast<PwdChangePasswordFn>(::GetProcAddress(hMpr, "PwdChangePasswordA"));
    if (pfn)
        pfn("SCRSAVE", owner, 0, nullptr);
    ::FreeLibrary(hMpr);
}

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
        ::Sleep(0);
        break;
    }
    return SaverWindowBridge(hWnd, message, wParam, lParam);
}
