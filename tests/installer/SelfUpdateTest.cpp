// A user's self-update from one version to the next: the installed 1.0.6.0 saver's
// configuration dialog finds 1.0.7.0 on the maker's host (the TLS test server), downloads
// its lumaspire-setup.exe, runs it, and the user finishes the installer's window. The
// system folder then holds the new saver, and it plays. What is published is what the
// release command made (tools/release.sh, with the build's throwaway keys and
// certificate): its upgrade.txt as it is (with the installer's size in its signed text),
// and its Authenticode-signed installer.
#include "installer/InstallerSupport.h"

#include <windows.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/ConfigDialogDriver.h"
#include "common/TlsTestSupport.h"

namespace {

using namespace installer_test;

const char kPrompt[] = "检测到已有可用的新版，\n您想更新至最新版本吗？";
const char kNewVersion[] = "1.0.7.0";

// The installer's own window: a dialog titled with the product's name that belongs to
// neither this process nor the configuration dialog's.
HWND InstallerWindow(DWORD configPid)
{
    return FindDialog([&](HWND hWnd, DWORD pid) {
        return pid != configPid && pid != ::GetCurrentProcessId() && TextOf(hWnd).rfind("Tollvane Lumaspire", 0) == 0;
    });
}

// The size of the file's Authenticode signature (its PE certificate table); 0 for none.
DWORD CertificateTableSize(const std::string& path)
{
    std::string pe = ReadAll(path);
    if (pe.size() < 0x40)
        return 0;
    DWORD header = *reinterpret_cast<const DWORD*>(&pe[0x3c]);
    if (header + sizeof(IMAGE_NT_HEADERS32) > pe.size())
        return 0;
    const IMAGE_NT_HEADERS32* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(&pe[header]);
    return nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size;
}

bool CentreShowsPicture()
{
    HDC hdc = ::GetDC(nullptr);
    COLORREF c = ::GetPixel(hdc, ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2);
    ::ReleaseDC(nullptr, hdc);
    // The clip is coloured throughout; the saver's background is black.
    return c != CLR_INVALID && (GetRValue(c) > 150 || GetGValue(c) > 150 || GetBValue(c) > 150);
}

class SelfUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_temp = ExeDir() + "selfupdate-temp";  // before any check: TearDown removes it
        std::string update = ExeDir() + "update-107\\";
        std::string description = ReadAll(update + "upgrade.txt");
        ASSERT_EQ(0u, description.find(std::string("version=") + kNewVersion + "\r\n")) << description;
        ASSERT_NE(std::string::npos, description.find("\r\nsignature=")) << description;
        const std::string setup = ReadAll(update + "lumaspire-setup.exe");
        // The second signed form: the size stops the download there.
        ASSERT_NE(std::string::npos, description.find("\r\nsize=" + std::to_string(setup.size()) + "\r\n"))
            << description;
        ASSERT_NE(0u, CertificateTableSize(update + "lumaspire-setup.exe")) << "no Authenticode signature";
        ASSERT_TRUE(m_server.Load()) << "the tls_update_server fixture is not running";
        m_trust.reset(new ScopedTrustedAuthority(m_server.TrustedAuthority()));
        ASSERT_TRUE(m_trust->Trusted());
        m_proxy.reset(new ScopedInternetProxy(m_server.ProxyPort()));
        ASSERT_TRUE(m_server.PutFile("lumaspire\\lumaspire-setup.exe", ReadAll(update + "lumaspire-setup.exe")));
        ASSERT_TRUE(m_server.PutFile("lumaspire\\upgrade.txt", description));
        m_server.ClearRequests();
        RemoveTree(m_temp);
        ASSERT_TRUE(::CreateDirectoryA(m_temp.c_str(), nullptr));
        RemoveInstallation();
    }

    void TearDown() override
    {
        if (m_saver.Running()) {
            PressKey(VK_ESCAPE);
            m_saver.WaitExit(10000);
        }
        RemoveInstallation();
        RemoveTree(m_temp);
    }

    TlsUpdateServer m_server;
    std::unique_ptr<ScopedTrustedAuthority> m_trust;
    std::unique_ptr<ScopedInternetProxy> m_proxy;
    std::string m_temp;
    SaverProcess m_saver;
    ScopedSettingsKey m_settings;
    ScopedRegValue m_autoUpdate{ kSaverSettingsKey, "Auto Update", 1 };
    ScopedRegValue m_desktopSaver{ HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE" };
    ScopedRegValue m_active{ HKEY_CURRENT_USER, kDesktopKey, "ScreenSaveActive" };
    // The replaced saver, still running, is also scheduled for removal at reboot.
    ScopedRegValue m_pending{ HKEY_LOCAL_MACHINE, kSessionKey, "PendingFileRenameOperations" };
};

}  // namespace

TEST_F(SelfUpdate, InstalledSaverUpdatesItselfToTheNextVersionWhichThenPlays)
{
    ASSERT_EQ(0u, RunSetupSilently());
    std::string installed = InstalledSaver();
    std::string oldVersion = FileVersionOf(installed);
    ASSERT_FALSE(oldVersion.empty());
    ASSERT_NE(kNewVersion, oldVersion);

    // The installed saver's settings, as Display Properties opens them.
    ConfigDialog dlg;
    ASSERT_TRUE(dlg.Open("/c", { "TEMP=" + m_temp, "TMP=" + m_temp }, installed));
    HWND hPrompt = dlg.WaitForOtherDialog(60000, [](HWND h) { return PartsOf(h).text == kPrompt; });
    ASSERT_TRUE(hPrompt) << "no update prompt";
    ::PostMessageA(::GetDlgItem(hPrompt, IDYES), BM_CLICK, 0, 0);
    // The prompt bears the same caption as the saver's message boxes: gone first.
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(hPrompt); }, 10000)) << "the prompt stayed";

    // The downloaded installer shows its own window (it was started without /S); the
    // user closes it once its button is enabled again, which it is when it has finished.
    // A message box of the saver's instead means the update failed: no need to wait on.
    HWND hSetup = nullptr, hMessage = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        hSetup = InstallerWindow(dlg.ProcessId());
        hMessage = dlg.WaitForOtherDialog(0, [](HWND h) { return TextOf(h) == "Tollvane Lumaspire"; });
        return hMessage || (hSetup && ::IsWindowEnabled(::GetDlgItem(hSetup, IDOK)) &&
                            FileVersionOf(installed) == kNewVersion);
    }, kRunTimeoutMs)) << "the installer did not finish; installed version " << FileVersionOf(installed);
    ASSERT_FALSE(hMessage) << "the saver said: " << PartsOf(hMessage).text;
    KeepShot("update-installer-done", hSetup);
    EXPECT_TRUE(m_server.Requests().size() >= 2);
    ::PostMessageA(::GetDlgItem(hSetup, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hSetup); }, 30000)) << "the installer's window stayed";

    EXPECT_EQ(kNewVersion, RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"));
    // The uninstaller it left was signed while the installer was built.
    std::string uninstaller = RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    if (!uninstaller.empty() && uninstaller[0] == '"')
        uninstaller = uninstaller.substr(1, uninstaller.find('"', 1) - 1);
    EXPECT_NE(0u, CertificateTableSize(uninstaller)) << uninstaller;
    // The update keeps the current saver where the system finds it (64-bit winlogon).
    std::string current = RegText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE");
    EXPECT_STRCASEEQ(ShortPath(SaverAsTheSystemSeesIt()).c_str(), current.c_str());
    EXPECT_TRUE(SystemFinds(current)) << current;
    // The old saver still shows its dialog and closes normally.
    EXPECT_TRUE(dlg.StillOpen());
    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit(30000));

    // The new saver plays a clip full screen and closes on a key.
    ScopedRegValue clip(kSaverSettingsKey, "Movie File Path", (ExeDir() + "clips\\colors.avi").c_str());
    ScopedRegValue view(kSaverSettingsKey, "View Size Option", 1);
    ScopedRegValue loop(kSaverSettingsKey, "Loop Movie", 1);
    MoveMouseTo(10, 10);
    // Started as winlogon starts it: by the path SCRNSAVE.EXE names.
    ASSERT_TRUE(StartFullScreen(m_saver, current)) << "no saver window from " << current;
    EXPECT_TRUE(PumpUntil(CentreShowsPicture, 30000)) << "the clip's picture never appeared";
    PressKey(VK_ESCAPE);
    EXPECT_EQ(0u, m_saver.WaitExit(15000));
}
