/* Stands in for the maker's installer: writes "<its own path>.ran" with its command line,
   so a test can tell that the update flow started it, from where and how. Like the real
   installer it reads itself (sharing reading only), and adds a second line, "read
   itself", when it could. With LUMASPIRE_FAKE_INSTALLER_WAIT naming an event, it stays
   running until that event is set (a minute at most). */
#include <windows.h>
#include <string.h>

static void Append(HANDLE h, const char* text)
{
    DWORD written = 0;
    WriteFile(h, text, (DWORD)strlen(text), &written, NULL);
}

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrev, LPSTR cmdLine, int show)
{
    char path[MAX_PATH + 8], eventName[128], first[2];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH), read = 0;
    (void)hInst; (void)hPrev; (void)cmdLine; (void)show;
    if (n == 0 || n >= MAX_PATH)
        return 1;
    HANDLE self = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    BOOL readSelf = self != INVALID_HANDLE_VALUE && ReadFile(self, first, 2, &read, NULL) && read == 2 &&
                    first[0] == 'M' && first[1] == 'Z';
    if (self != INVALID_HANDLE_VALUE)
        CloseHandle(self);
    strcpy(path + n, ".ran");
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    Append(h, GetCommandLineA());
    if (readSelf)
        Append(h, "\nread itself");
    CloseHandle(h);
    n = GetEnvironmentVariableA("LUMASPIRE_FAKE_INSTALLER_WAIT", eventName, sizeof(eventName));
    if (n > 0 && n < sizeof(eventName)) {
        HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, eventName);
        if (event) {
            WaitForSingleObject(event, 60000);
            CloseHandle(event);
        }
    }
    return 0;
}
