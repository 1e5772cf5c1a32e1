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
                          nullptr, &si, &pi))
        return false;
    ScopedHandle process(pi.hProcess);
    ScopedHandle thread(pi.hThread);
    if (waitMs)
        ::WaitForSingleObject(process.Get(), waitMs);
    return true;
}

bool ShellOpen(const char* file, const char* verb, unsigned long waitMs)
{
    SHELLEXECUTEINFOA sei = {};
    sei.cbSize = sizeof(sei);
    sei.lpVerb = verb;
    sei.lpFile = file;
    // Shown normally: a program or browser started hidden would be of no use to anyone.
    sei.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExA(&sei))
        return false;
    ScopedHandle process(sei.hProcess);
    if (process.Get() && waitMs)
        ::WaitForSingleObject(process.Get(), waitMs);
    return true;
}
