/* A stand-in for the Windows 95/98/Me password provider. Each call appends a line to
   the file named by LUMASPIRE_TEST_LOG; LUMASPIRE_TEST_PASSWORD says what the "user"
   typed: "1" right, "0" wrong, "0+key" wrong and another key press at once. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

__declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND hWnd)
{
    char log[MAX_PATH], answer[16] = "0";
    GetEnvironmentVariableA("LUMASPIRE_TEST_PASSWORD", answer, sizeof(answer));
    if (GetEnvironmentVariableA("LUMASPIRE_TEST_LOG", log, sizeof(log))) {
        FILE* f = fopen(log, "a");
        if (f) {
            fprintf(f, "verify %lu\n", (unsigned long)(UINT_PTR)hWnd);
            fclose(f);
        }
    }
    if (strcmp(answer, "0+key") == 0)
        PostMessageA(hWnd, WM_KEYDOWN, VK_SPACE, 0);
    return answer[0] == '1';
}
