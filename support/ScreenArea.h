// Where the saver draws: the full-screen window covers every monitor, while the
// picture and the status text stay on the primary one.
#pragma once

#include <windows.h>

// The system's screen sizes: the virtual screen (all monitors) and the primary screen.
struct ScreenMetrics {
    int xVirtual, yVirtual, cxVirtual, cyVirtual;  // SM_[XY]VIRTUALSCREEN, SM_C[XY]VIRTUALSCREEN
    int cxPrimary, cyPrimary;                       // SM_CXSCREEN, SM_CYSCREEN
};

ScreenMetrics GetScreenMetrics();
// The rectangle of the full-screen window: the virtual screen, or the primary screen
// where the system reports no virtual screen (Windows 95 and NT 4 answer 0).
RECT FullScreenRect(const ScreenMetrics& m);
// The part of a window's client area (client coordinates) that lies on the primary
// screen, whose origin is 0,0 in screen coordinates; the whole client area when the
// window lies entirely off the primary screen.
RECT PrimaryPartOfClient(const RECT& clientOnScreen, const ScreenMetrics& m);
RECT PrimaryPartOfClient(HWND hWnd);
