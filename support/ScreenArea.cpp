#include "support/ScreenArea.h"

ScreenMetrics GetScreenMetrics()
{
    ScreenMetrics m;
    m.xVirtual = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    m.yVirtual = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    m.cxVirtual = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    m.cyVirtual = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    m.cxPrimary = ::GetSystemMetrics(SM_CXSCREEN);
    m.cyPrimary = ::GetSystemMetrics(SM_CYSCREEN);
    return m;
}

RECT FullScreenRect(const ScreenMetrics& m)
{
    if (m.cxVirtual <= 0 || m.cyVirtual <= 0)
        return RECT{ 0, 0, m.cxPrimary, m.cyPrimary };
    return RECT{ m.xVirtual, m.yVirtual, m.xVirtual + m.cxVirtual, m.yVirtual + m.cyVirtual };
}

RECT PrimaryPartOfClient(const RECT& clientOnScreen, const ScreenMetrics& m)
{
    const RECT primary = { 0, 0, m.cxPrimary, m.cyPrimary };
    RECT part;
    if (!::IntersectRect(&part, &clientOnScreen, &primary))
        part = clientOnScreen;
    ::OffsetRect(&part, -clientOnScreen.left, -clientOnScreen.top);
    return part;
}

RECT PrimaryPartOfClient(HWND hWnd)
{
    RECT client = {};
    ::GetClientRect(hWnd, &client);
    ::ClientToScreen(hWnd, reinterpret_cast<POINT*>(&client.left));
    ::ClientToScreen(hWnd, reinterpret_cast<POINT*>(&client.right));
    return PrimaryPartOfClient(client, GetScreenMetrics());
}
