// lumaspire-setup.exe run silently as a user or the update flow runs it: what it leaves in
// the system folder and the registry, what its uninstaller takes away, and the update
// case where the saver being replaced is running.
#include "installer/InstallerSupport.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace installer_test;

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(PathExists(SetupPath())) << SetupPath();
        ASSERT_TRUE(ReadBytes(SaverPath(), &m_built));
        RemoveInstallation();
    }
    void TearDown() override { RemoveInstallation(); }

    std::vector<char> m_built;
    ScopedSettingsKey m_settings;
    ScopedRegValue m_saver{HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE"};
    ScopedRegValue m_active{HKEY_CURRENT_USER, kDesktopKey, "ScreenSaveActive"};
    // Aside copies of a running saver are also scheduled for removal at reboot.
    ScopedRegValue m_pending{HKEY_LOCAL_MACHINE, kSessionKey, "PendingFileRenameOperations"};
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

    // The values the system's own programs read name the file where they see it: on
    // 64-bit Windows winlogon and the control panels are 64-bit, and a System32 path
    // would name nothing for them.
    std::string seen = SaverAsTheSystemSeesIt();
    std::string shortPath = ShortPath(seen);
    ASSERT_FALSE(shortPath.empty());
    std::string current = RegText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE");
    EXPECT_STRCASEEQ(shortPath.c_str(), current.c_str());
    EXPECT_TRUE(SystemFinds(current)) << current;
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, kDesktopKey, "ScreenSaveActive"));

    // The Add/Remove Programs entry.
    std::string icon = RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon");
    EXPECT_STRCASEEQ((seen + ",0").c_str(), icon.c_str());
    EXPECT_TRUE(SystemFinds(icon.substr(0, icon.rfind(',')))) << icon;
    EXPECT_EQ("Tollvane Lumaspire", RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    EXPECT_EQ(FileVersionOf(SaverPath()),
              RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"));
    EXPECT_EQ("Tollvane", RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"));
    std::string uninstall = RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    ASSERT_GT(uninstall.size(), 2u);
    ASSERT_EQ('"', uninstall.front());
    ASSERT_EQ('"', uninstall.back());
    std::string uninstaller = uninstall.substr(1, uninstall.size() - 2);
    EXPECT_TRUE(PathExists(uninstaller)) << uninstaller;
    EXPECT_EQ(uninstall + " /S",
              RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"));

    ASSERT_TRUE(UninstallSilentlyAndWait());
    EXPECT_TRUE(SystemFiles("lumaspire*").empty());
    EXPECT_EQ("<none>", RegText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE"));
    EXPECT_TRUE(PumpUntil([&] { return !PathExists(uninstaller); }, kRunTimeoutMs)) << uninstaller;
    std::string folder = uninstaller.substr(0, uninstaller.find_last_of('\\'));
    EXPECT_TRUE(PumpUntil([&] { return !PathExists(folder); }, kRunTimeoutMs)) << folder;
}

TEST_F(InstallerTest, UninstallerResetsTheSaverOnlyWhenItNamesOurs)
{
    struct Case {
        const char* what;
        std::string value;  // SCRNSAVE.EXE when the uninstaller runs
        bool reset;
    };
    ASSERT_EQ(0u, RunSetupSilently());
    std::string longUpper = SaverAsTheSystemSeesIt();
    CharUpperA(&longUpper[0]);
    const Case cases[] = {
        {"our long path in capitals", longUpper, true},
        // Earlier versions wrote the System32 form on 64-bit Windows too.
        {"the short path through the system folder", ShortPath(InstalledSaver()), true},
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

// Windows 95/98/Me cannot rename a running program's file, and on NT a program may hold
// the saver open without sharing: the new saver then takes its place at the next restart
// (the system's list of renames at boot), instead of the update failing.
TEST_F(InstallerTest, SaverThatCannotMoveIsReplacedAtTheNextRestart)
{
    ASSERT_EQ(0u, RunSetupSilently());
    std::vector<char> older = m_built;
    older.push_back('x');
    ASSERT_TRUE(WriteBytes(InstalledSaver(), older));
    HANDLE held = ::CreateFileA(InstalledSaver().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    DWORD code = RunSetupSilently();
    ::CloseHandle(held);
    ASSERT_EQ(0u, code) << "the update failed";

    std::vector<char> bytes;
    ASSERT_TRUE(ReadBytes(InstalledSaver(), &bytes));
    EXPECT_TRUE(bytes == older) << "the held saver stays until the restart";
    ASSERT_TRUE(ReadBytes(InstalledSaver() + ".new", &bytes));
    EXPECT_TRUE(bytes == m_built) << "the new saver waits beside it";
    // The boot-time rename list: pairs of "\\??\\<from>" and "!\\??\\<to>" (replacing).
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionKey, 0, KEY_READ, &hKey));
    std::vector<char> list(65536);
    DWORD size = static_cast<DWORD>(list.size()), type = 0;
    LONG rc = ::RegQueryValueExA(hKey, "PendingFileRenameOperations", nullptr, &type,
                                 reinterpret_cast<BYTE*>(list.data()), &size);
    ::RegCloseKey(hKey);
    ASSERT_EQ(ERROR_SUCCESS, rc);
    std::vector<std::string> entries;
    for (size_t i = 0; i < size && list[i]; i += entries.back().size() + 1)
        entries.push_back(&list[i]);
    std::string from = "\\??\\" + SaverAsTheSystemSeesIt() + ".new", to = "!\\??\\" + SaverAsTheSystemSeesIt();
    bool scheduled = false;
    for (size_t i = 0; i + 1 < entries.size(); ++i)
        scheduled |= lstrcmpiA(entries[i].c_str(), from.c_str()) == 0 && lstrcmpiA(entries[i + 1].c_str(), to.c_str()) == 0;
    EXPECT_TRUE(scheduled) << "no rename of " << from << " to " << to;
}
