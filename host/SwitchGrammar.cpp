// The switch grammar of the command line and the run modes it selects.
#include "host/SaverHost.h"

#include "host/PasswordProvider.h"
#include "resources/resource.h"

SaverHostState g_saverHost = {
    nullptr, false, false, false, false, nullptr, nullptr, 0,
    nullptr, nullptr, nullptr, { 0, 0 }, static_cast<DWORD>(-1), nullptr,
};

namespace {

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

int ShowConfigDialog(HWND owner)
{
    return static_cast<int>(::DialogBoxParamA(g_saverHost.instance, MAKEINTRESOURCEA(IDD_SETTINGS),
                                              owner, DialogBridge, 0));
}
