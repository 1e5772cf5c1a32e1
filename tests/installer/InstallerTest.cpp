// lumaspire-setup.exe run silently as a user or the update flow runs it: what it leaves in
// the system folder and the registry, what its uninstaller takes away, and the update
// case where the saver being replaced is running.
#include "common/TestSupport.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

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

bool Exists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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

// Puts a value back as it was (or deletes it) when the test ends.
class SavedRegValue {
public:
    SavedRegValue(HKEY root, const char* key, const char* name)
        : m_root(root), m_key(key), m_name(name)
    {
        HKEY h;
        if (::RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
            return;
        DWORD size = 0;
        if (::RegQueryValueExA(h, name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_data.resize(size);
            m_existed = ::RegQueryValueExA(h, name, nullptr, &m_type, m_data.data(), &size) ==
                        ERROR_SUCCESS;
        }
        ::RegCloseKey(h);
    }
    ~SavedRegValue()
    {
        HKEY h;
        if (::RegCreateKeyExA(m_root, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                              nullptr) != ERROR_SUCCESS)
            return;
        if (m_existed)
            ::RegSetValueExA(h, m_name.c_str(), 0, m_type, m_data.data(),
                             static_cast<DWORD>(m_data.size()));
        else
            ::RegDeleteValueA(h, m_name.c_str());
        ::RegCloseKey(h);
    }

private:
    HKEY m_root;
    std::string m_key, m_name;
    bool m_existed = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_data;
};

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
                                 !Exists(InstalledSaver()); },
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

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Exists(SetupPath())) << SetupPath();
        ASSERT_TRUE(ReadBytes(SaverPath(), &m_built));
        RemoveInstallation();
    }
    void TearDown() override { RemoveInstallation(); }

    // Leaves neither an installation nor files of one behind, whatever a test did.
    void RemoveInstallation()
    {
        if (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey))
            UninstallSilentlyAndWait();
        for (const std::string& name : SystemFiles("lumaspire.scr*"))
            ::DeleteFileA((SystemDir() + name).c_str());
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }

    std::vector<char> m_built;
    ScopedSettingsKey m_settings;
    SavedRegValue m_saver{HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE"};
    SavedRegValue m_active{HKEY_CURRENT_USER, kDesktopKey, "ScreenSaveActive"};
    // Aside copies of a running saver are also scheduled for removal at reboot.
    SavedRegValue m_pending{HKEY_LOCAL_MACHINE, kSessionKey, "PendingFileRenameOperations"};
};

TEST_F(InstallerTest, InstallsAsCurrentSaverAndUninstallsCleanly)
{
    SetRegText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", SystemDir() + "other.scr");
    SetRegText(HKEY_CURRENT_USER, kDesktopKey, "ScreenSaveActive", "0");
    ASSERT_EQ(0u, RunSetupSilently());

    std::vector<char> installed;
    ASSERT_TRUE(ReadBytes(InstalledSaver(), &installed));
    EXPECT_TRUE(installed == m_built) << "installed " << installed.size() << " bytes, built "
                                      << m_built.size();
    EXPECT_EQ(std::vector<std::string>{"lumaspire.scr"}, SystemFiles("lumaspire*"));

    std::string shortPath = ShortPath(InstalledSaver());
    ASSERT_FALSE(shortPath.empty());
    EXPECT_STRCASEEQ(shortPath.c_str(),
                     RegText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE").c_str());
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, kDesktopKey, "ScreenSaveActive"));

    // The Add/Remove Programs entry.
    EXPECT_EQ("Tollvane Lumaspire", RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    EXPECT_EQ(FileVersionOf(SaverPath()),
              RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"));
    EXPECT_EQ("Tollvane", RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"));
    std::string uninstall = RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    ASSERT_GT(uninstall.size(), 2u);
    ASSERT_EQ('"', uninstall.front());
    ASSERT_EQ('"', uninstall.back());
    std::string uninstaller = uninstall.substr(1, uninstall.size() - 2);
    EXPECT_TRUE(Exists(uninstaller)) << uninstaller;
    EXPECT_EQ(uninstall + " /S",
              RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"));

    ASSERT_TRUE(UninstallSilentlyAndWait());
    EXPECT_TRUE(SystemFiles("lumaspire*").empty());
    EXPECT_EQ("<none>", RegText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE"));
    EXPECT_TRUE(PumpUntil([&] { return !Exists(uninstaller); }, kRunTimeoutMs)) << uninstaller;
    std::string folder = uninstaller.substr(0, uninstaller.find_last_of('\\'));
    EXPECT_TRUE(PumpUntil([&] { return !Exists(folder); }, kRunTimeoutMs)) << folder;
}

TEST_F(InstallerTest, UninstallerResetsTheSaverOnlyWhenItNamesOurs)
{
    struct Case {
        const char* what;
        std::string value;  // SCRNSAVE.EXE when the uninstaller runs
        bool reset;
    };
    ASSERT_EQ(0u, RunSetupSilently());
    std::string longUpper = InstalledSaver();
    CharUpperA(&longUpper[0]);
    const Case cases[] = {
        {"our long path in capitals", longUpper, true},
        {"another saver", SystemDir() + "scrnsave.scr", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) {
            ASSERT_EQ(0u, RunSetupSilently());
        }
        SetRegText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", c.value);
        ASSERT_TRUE(UninstallSilentlyAndWait());
        EXPECT_EQ(c.reset ? std::string("<none>") : c.value,
                  RegText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE"));
    }
}

// The update flow starts the installer from the configuration dialog, whose process is
// the lumaspire.scr being replaced.
TEST_F(InstallerTest, ReplacesTheRunningSaverWhole)
{
    ASSERT_EQ(0u, RunSetupSilently());
    // An "older" saver that still runs: the build's with bytes appended.
    std::vector<char> older = m_built;
    const char tail[] = "an older version";
    older.insert(older.end(), tail, tail + sizeof(tail));
    ASSERT_TRUE(WriteBytes(InstalledSaver(), older));

    SaverProcess config;
    ASSERT_TRUE(config.Start("/c", InstalledSaver()));
    ASSERT_NE(nullptr, WaitForProcessWindow(config.Id(), nullptr));

    ASSERT_EQ(0u, RunSetupSilently());
    std::vector<char> installed;
    ASSERT_TRUE(ReadBytes(InstalledSaver(), &installed));
    EXPECT_TRUE(installed == m_built) << "installed " << installed.size() << " bytes, built "
                                      << m_built.size();
    EXPECT_TRUE(config.Running()) << "the installer must not end the running saver";
    std::vector<std::string> aside = SystemFiles("lumaspire.scr.old*");
    ASSERT_EQ(1u, aside.size());
    std::vector<char> asideBytes;
    ASSERT_TRUE(ReadBytes(SystemDir() + aside[0], &asideBytes));
    EXPECT_TRUE(asideBytes == older) << "the running saver's file is kept whole until it ends";
    EXPECT_TRUE(SystemFiles("lumaspire.scr.new").empty());

    // Once that saver has ended, the next run removes the copy it left.
    config.Kill();
    ASSERT_EQ(0u, RunSetupSilently());
    EXPECT_EQ(std::vector<std::string>{"lumaspire.scr"}, SystemFiles("lumaspire*"));
    ASSERT_TRUE(ReadBytes(InstalledSaver(), &installed));
    EXPECT_TRUE(installed == m_built);
}

}  // namespace
