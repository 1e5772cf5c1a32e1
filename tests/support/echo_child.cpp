// Started by the launcher's tests: writes how it was shown and its command line to the
// file named by LUMASPIRE_ECHO_FILE, as "<show>\n<command line>", in one rename.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char target[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableA("LUMASPIRE_ECHO_FILE", target, sizeof(target));
    if (n == 0 || n >= sizeof(target) - 4)
        return 2;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    ::GetStartupInfoA(&si);
    int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;

    char temp[MAX_PATH];
    snprintf(temp, sizeof(temp), "%s.tmp", target);
    FILE* f = fopen(temp, "wb");
    if (!f)
        return 3;
    fprintf(f, "%d\n%s", show, ::GetCommandLineA());
    fclose(f);
    return ::MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
