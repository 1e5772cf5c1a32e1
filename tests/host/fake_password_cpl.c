/* A stand-in for the Windows 95/98/Me password provider. Each call appends a line to
   the file named by LUMASPIRE_TEST_LOG; LUMASPIRE_TEST_PASSWORD says what the "user"
   typed: "1" right, "0" wrong, "0+key" wrong and another key press at once.
   With "+dialog" ("1+dialog", "0+dialog") it behaves like the real dialog: while it is
   "open" it runs a message loop, into which a key press and a WM_CLOSE for the saver
   arrive; it logs how many WM_CLOSE messages for the saver it saw and whether the saver
   window still existed when it ended. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static const DWORD kDialogOpenMs = 400;

static void AppendLog(const char* line)
{
    char log[MAX_PATH];
    if (GetEnvironmentVariableA("LUMASPIRE_TEST_LOG", log, sizeof(log))) {
        FILE* f = fopen(log, "a");
        if (f) {
            fputs(line, f);
            fclose(f);
        }
    }
}

/* The "open dialog": pumps every message of this thread for a while. */
static int RunDialogLoop(HWND hWnd)
{
    int closes = 0;
    DWORD start = GetTickCount();
    PostMessageA(hWnd, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    while (GetTickCount() - start < kDialogOpenMs) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == hWnd && msg.message == WM_CLOSE)
                ++closes;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
    return closes;
}

__declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND hWnd)
{
    char answer[16] = "0", line[96];
    GetEnvironmentVariableA("LUMASPIRE_TEST_PASSWORD", answer, sizeof(answer));
    snprintf(line, sizeof(line), "verify %lu\n", (unsigned long)(UINT_PTR)hWnd);
    AppendLog(line);
    if (strcmp(answer, "0+key") == 0)
        PostMessageA(hWnd, WM_KEYDOWN, VK_SPACE, 0);
    if (strstr(answer, "+dialog")) {
        int closes = RunDialogLoop(hWnd);
        snprintf(line, sizeof(line), "dialog closes=%d alive=%d\n", closes, IsWindow(hWnd) ? 1 : 0);
        AppendLog(line);
    }
    return answer[0] == '1';
}
