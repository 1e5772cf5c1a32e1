// Starting other programs: an executable directly, or a file or web address through the shell.
#pragma once

#include <windows.h>

// Starts the executable at path. The child's command line is one space followed by
// arguments, or none at all when arguments is null. With waitMs not 0, waits up to that
// long for the child to end. False when it could not be started, or when arguments are
// longer than 258 bytes (a cut argument list would start it with other arguments).
// A program that asks for administrator rights, which Windows refuses to start from a
// standard user's process (ERROR_ELEVATION_REQUIRED), is started through the shell's
// "runas" verb with the same arguments: Windows asks the user for consent first, and
// a No gives false with GetLastError() == ERROR_CANCELLED. owner is the window the
// prompt belongs to: without a valid one, Vista and 7 only flash the prompt's button on
// the taskbar while the caller waits. With process not null, it receives the started
// process's handle (the caller closes it; null where the shell gave none back).
bool RunProcess(const char* path, const char* arguments, unsigned long waitMs, HWND owner = nullptr,
                HANDLE* process = nullptr);

// Hands file (a path or a web address) to the shell with verb (null: its default verb),
// shown normally. False when the shell refuses it. waitMs is the design's and unused: no
// process handle is asked for, so it never waits, whatever waitMs says.
bool ShellOpen(const char* file, const char* verb, unsigned long waitMs);
