// Libraries loaded at run time come from the system folder, never from wherever the saver
// was started: a saver the user runs from the Downloads folder would otherwise load any
// file of the same name a browser left there (and, where the library is missing, one
// found through the current folder or PATH).
#pragma once

#include <windows.h>

// LoadLibraryA on name in GetSystemDirectoryA's folder; null when it is not there or the
// path would not fit.
HMODULE LoadSystemLibrary(const char* name);

// Makes what the process loads later, and what those libraries load in turn, look in the
// system folder only, where Windows can (8 and later, 7 with its loader update): looked up
// at run time, a no-op elsewhere.
void SearchSystemFolderFirst();
