// Where the saver draws: the full-screen window covers every monitor, and the picture
// and the status text go onto each monitor's part of it; a preview keeps to its own
// window, on whichever monitor that is.
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

// The monitors' rectangles (screen coordinates). count is 0 where the system has no
// monitor functions (Windows 95 and NT 4): the primary screen alone is used there.
const int kMaxMonitors = 16;
struct MonitorList {
    int count;
    RECT rects[kMaxMonitors];
};
MonitorList GetMonitors();

// The view areas (screen coordinates) of a window's client area: for a full-screen
// window, its part on each monitor (on the primary screen, whose origin is 0,0, where
// there are no monitor functions); for a preview (perMonitor false), the client area
// itself. Empty parts are left out: 0 when nothing of the window is on a screen.
int ViewAreas(const RECT& clientOnScreen, bool perMonitor, const ScreenMetrics& m, const MonitorList& monitors,
              RECT* areas, int maxAreas);
// The same for a window: a child window is a preview.
int ViewAreas(HWND hWnd, const MonitorList& monitors, RECT* areas, int maxAreas);
// The window's client area on the screen.
RECT ClientOnScreen(HWND hWnd);
