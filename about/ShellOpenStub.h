// Stand-in for the launcher's ShellOpen until support/Launcher.* is merged: the same
// declaration, so the About box's call stays as it is and these two files go.
#pragma once

#include <windows.h>

// Hands file (a path or web address) to the shell with verb (null: the default verb);
// waits at most waitMs for a started process (0: no waiting). True when accepted.
bool ShellOpen(const char* file, const char* verb, DWORD waitMs);
