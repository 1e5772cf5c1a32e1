#include "support/Launcher.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

namespace {

// Closes a kernel handle on every path.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h) : m_h(h) {}
    ~ScopedHandle()
    {
        if (m_h)
            ::CloseHandle(m_h);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

// Hands file to the shell, shown normally; with a process handle asked for in mask and
// waitMs not 0, waits up to that long for it.
bool ShellStart(const char* file, const char* verb, const char* parameters, ULONG mask, unsigned long waitMs)
{
    SHELLEXECUTEINFOA sei = {};
    sei.cbSize = sizeof(sei);
    sei.fMask = mask;
    sei.lpVerb = verb;
    sei.lpFile = file;
    sei.lpParameters = parameters;
    // Shown normally: a program or browser started hidden would be of no use to anyone.
    sei.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExA(&sei))
        return false;
    ScopedHandle process(sei.hProcess);
    if (process.Get() && waitMs)
        ::WaitForSingleObject(process.Get(), waitMs);
    return true;
}

}  // namespace

bool RunProcess(const char* path, const char* arguments, unsigned long waitMs)
{
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
            return ShellStart(path, "runas", arguments, SEE_MASK_FLAG_NO_UI | (waitMs ? SEE_MASK_NOCLOSEPROCESS : 0),
                              waitMs);
        return false;
    }
    ScopedHandle process(pi.hProcess);
    ScopedHandle thread(pi.hThread);
    if (waitMs)
        ::WaitForSingleObject(process.Get(), waitMs);
    return true;
}

bool ShellOpen(const char* file, const char* verb, unsigned long waitMs)
{
    return ShellStart(file, verb, nullptr, 0, waitMs);
}
