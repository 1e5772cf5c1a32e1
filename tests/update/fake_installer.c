/* Stands in for the maker's installer: writes "<its own path>.ran" with its command line,
   so a test can tell that the update flow started it, from where and how. */
#include <windows.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrev, LPSTR cmdLine, int show)
{
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    (void)hInst; (void)hPrev; (void)cmdLine; (void)show;
    if (n == 0 || n >= MAX_PATH)
        return 1;
    strcpy(path + n, ".ran");
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    const char* line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(h, line, (DWORD)strlen(line), &written, NULL);
    CloseHandle(h);
    return 0;
}
