// The installed saver as the installer tests see it: the system folder, the registry
// values the installer writes, and silent runs of the installer and its uninstaller.
#include "installer/InstallerSupport.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace installer_test {

const char kDesktopKey[] = "Control Panel\\Desktop";
const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tollvane Lumaspire";
const char kSessionKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
const DWORD kRunTimeoutMs = 180000;  // the installer runs under an emulator here

std::string SystemDir()
{
    char dir[MAX_PATH] = {};
    UINT n = ::GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir, n) + "\\";
}

std::string InstalledSaver() { return SystemDir() + "lumaspire.scr"; }

namespace {

bool IsWow64(HANDLE process)
{
    BOOL wow64 = FALSE;
    return ::IsWow64Process(process, &wow64) && wow64;
}

}  // namespace

std::string SaverAsTheSystemSeesIt()
{
    char dir[MAX_PATH] = {};
    UINT n = IsWow64(::GetCurrentProcess()) ? ::GetSystemWow64DirectoryA(dir, MAX_PATH) : 0;
    return n && n < MAX_PATH ? std::string(dir, n) + "\\lumaspire.scr" : InstalledSaver();
}

bool SystemFinds(const std::string& path)
{
    if (!IsWow64(::GetCurrentProcess()))
        return PathExists(path);
    // Sysnative is the real System32 to a 32-bit program: its cmd.exe is the 64-bit one.
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    std::string line = std::string("\"") + windows + "\\Sysnative\\cmd.exe\" /c if exist \"" + path +
                       "\" (exit 0) else (exit 1)";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                          nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "no 64-bit cmd: " << line;
        return false;
    }
    bool native = !IsWow64(pi.hProcess);
    ::ResumeThread(pi.hThread);
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0 || !::GetExitCodeProcess(pi.hProcess, &code))
        code = STILL_ACTIVE;
    if (code == STILL_ACTIVE)
        ::TerminateProcess(pi.hProcess, 1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    EXPECT_TRUE(native) << "the checking cmd ran as a 32-bit program";
    return native && code == 0;
}
std::string SetupPath() { return ExeDir() + "lumaspire-setup.exe"; }

bool ReadBytes(const std::string& path, std::vector<char>* bytes)
{
    std::ifstream f(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return f.good() || f.eof();
}

bool WriteBytes(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(f.write(bytes.data(), bytes.size()));
}

// Files of the system folder matching the pattern (names only).
std::vector<std::string> SystemFiles(const char* pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((SystemDir() + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(fd.cFileName);
    while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    return names;
}

// A REG_SZ value, or "<none>" when it is missing.
std::string RegText(HKEY root, const char* key, const char* name)
{
    char buf[1024] = {};
    DWORD size = sizeof(buf) - 1, type = 0;
    HKEY h;
    if (::RegOpenKeyExA(root, key, 0, KEY_READ | KEY_WOW64_32KEY, &h) != ERROR_SUCCESS)
        return "<none>";
    LONG rc = ::RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    ::RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        return "<none>";
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return "<type " + std::to_string(type) + ">";
    return buf;
}

bool KeyExists(HKEY root, const char* key)
{
    HKEY h;
    if (::RegOpenKeyExA(root, key, 0, KEY_READ | KEY_WOW64_32KEY, &h) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(h);
    return true;
}

void SetRegText(HKEY root, const char* key, const char* name, const std::string& text)
{
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                               &h, nullptr));
    ::RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
    ::RegCloseKey(h);
}

// Exit code of the program, STILL_ACTIVE when it is still running after the time-out.
DWORD Run(const std::string& exe, const char* args)
{
    SaverProcess process;
    return process.Start(args, exe) ? process.WaitExit(kRunTimeoutMs) : static_cast<DWORD>(-1);
}

DWORD RunSetupSilently() { return Run(SetupPath(), "/S"); }

// The uninstaller runs a copy of itself from the temporary folder and returns at once, so
// its work is awaited by what it removes.
bool UninstallSilentlyAndWait()
{
    std::string quoted = RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    if (quoted.size() < 3 || Run(quoted.substr(1, quoted.size() - 2), "/S") != 0)
        return false;
    return PumpUntil([] { return !KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) &&
                                 !PathExists(InstalledSaver()); },
                     kRunTimeoutMs);
}

std::string ShortPath(const std::string& path)
{
    char buf[MAX_PATH] = {};
    DWORD n = ::GetShortPathNameA(path.c_str(), buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buf, n) : std::string();
}

std::string FileVersionOf(const std::string& path)
{
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!size || !::GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info)
        return "";
    char text[64];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
                  LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                  LOWORD(info->dwFileVersionLS));
    return text;
}

void RemoveInstallation()
{
    if (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey))
        UninstallSilentlyAndWait();
    for (const std::string& name : SystemFiles("lumaspire.scr*"))
        ::DeleteFileA((SystemDir() + name).c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
}

}  // namespace installer_test
