/* A stand-in for MPR.DLL's password change: records its arguments in LUMASPIRE_TEST_LOG. */
#include <windows.h>
#include <stdio.h>

__declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD flags, LPVOID reserved)
{
    char log[MAX_PATH];
    if (GetEnvironmentVariableA("LUMASPIRE_TEST_LOG", log, sizeof(log))) {
        FILE* f = fopen(log, "a");
        if (f) {
            fprintf(f, "change %s %lu %lu %p\n", provider ? provider : "(null)",
                    (unsigned long)(UINT_PTR)owner, (unsigned long)flags, reserved);
            fclose(f);
        }
    }
    return 0;
}
