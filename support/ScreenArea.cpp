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

namespace {

typedef BOOL(WINAPI* EnumDisplayMonitorsFn)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
typedef BOOL(WINAPI* GetMonitorInfoFn)(HMONITOR, LPMONITORINFO);

struct Enumeration {
    GetMonitorInfoFn getInfo;
    MonitorList* pList;
};

BOOL CALLBACK AddMonitor(HMONITOR hMonitor, HDC, LPRECT, LPARAM param)
{
    Enumeration* e = reinterpret_cast<Enumeration*>(param);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (e->pList->count < kMaxMonitors && e->getInfo(hMonitor, &info))
        e->pList->rects[e->pList->count++] = info.rcMonitor;
    return TRUE;
}

}  // namespace

MonitorList GetMonitors()
{
    MonitorList list = {};
    // Windows 98 and 2000 brought these; 95 and NT 4 have neither.
    HMODULE hUser = ::GetModuleHandleA("user32.dll");
    EnumDisplayMonitorsFn enumMonitors =
        hUser ? reinterpret_cast<EnumDisplayMonitorsFn>(::GetProcAddress(hUser, "EnumDisplayMonitors")) : nullptr;
    Enumeration e = { hUser ? reinterpret_cast<GetMonitorInfoFn>(::GetProcAddress(hUser, "GetMonitorInfoA")) : nullptr,
                      &list };
    if (enumMonitors && e.getInfo && !enumMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&e)))
        list.count = 0;
    return list;
}

int ViewAreas(const RECT& clientOnScreen, bool perMonitor, const ScreenMetrics& m, const MonitorList& monitors,
              RECT* areas, int maxAreas)
{
    if (!perMonitor) {
        // A preview is its own client area, wherever Display Properties stands: on any
        // monitor, across an edge, at negative coordinates (the display-wide DirectDraw
        // device's blits reach a window anywhere).
        if (maxAreas < 1 || clientOnScreen.right <= clientOnScreen.left ||
            clientOnScreen.bottom <= clientOnScreen.top)
            return 0;
        areas[0] = clientOnScreen;
        return 1;
    }
    const RECT primary = { 0, 0, m.cxPrimary, m.cyPrimary };
    const bool useMonitors = monitors.count > 0;
    const RECT* screens = useMonitors ? monitors.rects : &primary;
    const int screenCount = useMonitors ? monitors.count : 1;
    int count = 0;
    for (int i = 0; i < screenCount && count < maxAreas; ++i) {
        if (::IntersectRect(&areas[count], &clientOnScreen, &screens[i]))
            ++count;
    }
    return count;
}

RECT ClientOnScreen(HWND hWnd)
{
    RECT client = {};
    ::GetClientRect(hWnd, &client);
    ::ClientToScreen(hWnd, reinterpret_cast<POINT*>(&client.left));
    ::ClientToScreen(hWnd, reinterpret_cast<POINT*>(&client.right));
    return client;
}

int ViewAreas(HWND hWnd, const MonitorList& monitors, RECT* areas, int maxAreas)
{
    const bool preview = (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD) != 0;
    return ViewAreas(ClientOnScreen(hWnd), !preview, GetScreenMetrics(), monitors, areas, maxAreas);
}
