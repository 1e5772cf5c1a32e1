// Windows with UAC as a standard user's process meets it (Wine elevates silently), for
// the program's code linked into this test program: CreateProcessA refuses a program
// whose manifest asks for administrator rights, and the shell's "runas" verb is the
// consent prompt, answered as s_consent says.
#pragma once

#include <windows.h>
#include <shellapi.h>

class StandardUser {
public:
    StandardUser();
    ~StandardUser();
    StandardUser(const StandardUser&) = delete;
    StandardUser& operator=(const StandardUser&) = delete;
    bool Active() const { return s_create && s_shell; }

    static bool s_consent;
    static int s_prompts;
    static HWND s_owner;  // the last prompt's owner window

private:
    static BOOL WINAPI CreateProcess(LPCSTR app, LPSTR cmd, LPSECURITY_ATTRIBUTES pa, LPSECURITY_ATTRIBUTES ta,
                                     BOOL inherit, DWORD flags, LPVOID env, LPCSTR dir, LPSTARTUPINFOA si,
                                     LPPROCESS_INFORMATION pi);
    static BOOL WINAPI ShellExecuteEx(SHELLEXECUTEINFOA* sei);
    static decltype(&::CreateProcessA) s_create;
    static decltype(&::ShellExecuteExA) s_shell;
};
