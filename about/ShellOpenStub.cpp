// Stand-in for the launcher's ShellOpen; remove when support/Launcher.* is merged.
#include "about/ShellOpenStub.h"

#include <shellapi.h>

bool ShellOpen(const char* file, const char* verb, DWORD waitMs)
{
    SHELLEXECUTEINFOA sei = {};
    sei.cbSize = sizeof(sei);
    sei.lpVerb = verb;
    sei.lpFile = file;
    sei.nShow = SW_HIDE;
    if (!::ShellExecuteExA(&sei))
        return false;
    if (sei.hProcess) {
        if (waitMs)
            ::WaitForSingleObject(sei.hProcess, waitMs);
        ::CloseHandle(sei.hProcess);
    }
    return true;
}
