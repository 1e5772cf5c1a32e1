#include "support/Launcher.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "support/Scoped.h"

namespace {

// Hands file to the shell, shown normally; with waitMs not 0, asks for the process and
// waits up to that long for it.
bool ShellStart(const char* file, const char* verb, const char* parameters, ULONG mask, unsigned long waitMs,
                HWND owner, HANDLE* processOut = nullptr)
{
    SHELLEXECUTEINFOA sei = {};
    sei.cbSize = sizeof(sei);
    sei.fMask = mask | (waitMs || processOut ? SEE_MASK_NOCLOSEPROCESS : 0);
    sei.hwnd = owner;
    sei.lpVerb = verb;
    sei.lpFile = file;
    sei.lpParameters = parameters;
    // Shown normally: a program or browser started hidden would be of no use to anyone.
    sei.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExA(&sei))
        return false;
    ScopedHandle process(sei.hProcess);
    if (process && waitMs)
        ::WaitForSingleObject(process.Get(), waitMs);
    if (processOut) {
        *processOut = process.Detach();
    }
    return true;
}

}  // namespace

bool RunProcess(const char* path, const char* arguments, unsigned long waitMs, HWND owner, HANDLE* processOut)
{
    if (processOut)
        *processOut = nullptr;
    if (!path)
        return false;
    char commandLine[MAX_PATH] = {};
    if (arguments) {
        size_t length = strnlen(arguments, sizeof(commandLine));
        if (length + 2 > sizeof(commandLine)) {
            ::SetLastError(ERROR_BAD_ARGUMENTS);
            return false;
        }
        commandLine[0] = ' ';
        memcpy(commandLine + 1, arguments, length);
    }

    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(path, arguments ? commandLine : nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &si, &pi)) {
        // Windows with UAC does not start a program that asks for administrator rights
        // (the installer does) from a standard user's process; the shell asks the user.
        if (::GetLastError() == ERROR_ELEVATION_REQUIRED)
            return ShellStart(path, "runas", arguments, SEE_MASK_FLAG_NO_UI, waitMs, owner, processOut);
        return false;
    }
    ScopedHandle process(pi.hProcess);
    ScopedHandle thread(pi.hThread);
    if (waitMs)
        ::WaitForSingleObject(process.Get(), waitMs);
    if (processOut) {
        *processOut = process.Detach();
    }
    return true;
}

bool ShellOpen(const char* file, const char* verb, unsigned long /* waitMs: unused, see the header */)
{
    return ShellStart(file, verb, nullptr, 0, 0, nullptr);
}
