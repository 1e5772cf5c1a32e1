/* A DLL left where anyone can write (a Downloads folder, the current folder) under the name
   of a library the saver loads at run time: when loaded, it writes its path into the file
   named by LUMASPIRE_PLANTED_LOG.
   With LUMASPIRE_PLANTED_HOLD it is a codec whose loading never returns: it sets the event
   of that name and waits for ever inside DllMain, holding the loader's lock. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInst, DWORD reason, LPVOID reserved)
{
    char log[MAX_PATH], path[MAX_PATH];
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableA("LUMASPIRE_PLANTED_LOG", log, sizeof(log))) {
        DWORD n = GetModuleFileNameA(hInst, path, sizeof(path)), written = 0;
        HANDLE h = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, 0, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            WriteFile(h, path, n, &written, NULL);
            WriteFile(h, "\r\n", 2, &written, NULL);
            CloseHandle(h);
        }
    }
    if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableA("LUMASPIRE_PLANTED_HOLD", path, sizeof(path))) {
        HANDLE held = CreateEventA(NULL, TRUE, FALSE, path);
        if (held)
            SetEvent(held);
        for (;;)
            Sleep(INFINITE);
    }
    return TRUE;
}
