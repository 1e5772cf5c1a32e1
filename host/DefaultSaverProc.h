// Default processing of the saver window: when it closes, and the hidden cursor.
#pragma once

#include <windows.h>

// Mouse travel (|dx| + |dy| from the reference point) that closes the saver.
const int kMouseThreshold = 4;

LRESULT DefaultSaverProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
