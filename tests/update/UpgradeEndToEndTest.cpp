// The update check of lumaspire.scr /c against the maker's host as the tests serve it:
// https through WinInet's preconfigured proxy, a test authority the prefix trusts, and a
// stand-in installer that records that it ran; descriptions signed with the build's
// throwaway keys.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "common/ConfigDialogDriver.h"
#include "common/TlsTestSupport.h"
#include "common/UpdateSigning.h"

namespace {

const char kHost[] = "https://www.tollvane.example";
const char kPrompt[] = "检测到已有可用的新版，\n您想更新至最新版本吗？";
const char kCancelQuestion[] = "下载正在进行，您确认要取消吗？\n\n若取消，稍后可能需要重新下载！";
const char kFailure[] = "无法下载此程序的最新版本，请重试！";
const char kProgressCaption[] = "正在下载";

bool IsMessageBoxWith(HWND hWnd, const char* text)
{
    return PartsOf(hWnd).text == text;
}

bool IsProgressWindow(HWND hWnd)
{
    return TextOf(hWnd) == kProgressCaption;
}

void Answer(HWND hBox, int id)
{
    ::PostMessageA(::GetDlgItem(hBox, id), BM_CLICK, 0, 0);
}

class UpgradeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_temp = ExeDir() + "upgrade-temp";  // before any check: TearDown removes it
        ASSERT_TRUE(m_server.Load()) << "the tls_update_server fixture is not running";
        m_trust.reset(new ScopedTrustedAuthority(m_server.TrustedAuthority()));
        ASSERT_TRUE(m_trust->Trusted());
        RemoveTree(m_temp);
        ASSERT_TRUE(::CreateDirectoryA(m_temp.c_str(), nullptr));
        m_updateDir = m_temp + "\\kovatemp\\";
        m_installer = ReadAll(ExeDir() + "fake_installer.exe");
        m_server.PutFile("lumaspire\\setup.exe", m_installer);
        m_server.RemoveFile("lumaspire\\missing.exe");
        m_server.PutFile("lumaspire\\extra.bin", "second file");
        m_server.ClearRequests();
    }

    void TearDown() override
    {
        m_trust.reset();
        RemoveTree(m_temp);
    }

    void Publish(const std::string& description)
    {
        ASSERT_TRUE(m_server.PutFile("lumaspire\\upgrade.txt", description));
    }

    // Opens /c with the update check on, through the proxy of that port.
    void Open(ConfigDialog& dlg, int proxyPort = 0)
    {
        m_proxy.reset();  // the old setting is restored before the new one is made
        m_proxy.reset(new ScopedInternetProxy(proxyPort ? proxyPort : m_server.ProxyPort()));
        ASSERT_TRUE(dlg.Open("/c", { "TEMP=" + m_temp, "TMP=" + m_temp }));
    }

    bool Requested(const std::string& line) const
    {
        std::vector<std::string> requests = m_server.Requests();
        return std::find(requests.begin(), requests.end(), line) != requests.end();
    }

    std::string RequestLog() const
    {
        std::string text = "requests:";
        for (const std::string& line : m_server.Requests())
            text += "\n  " + line;
        return text;
    }

    // The prompt, after the description came; null when none came.
    HWND WaitForPrompt(const ConfigDialog& dlg, DWORD timeoutMs = 30000) const
    {
        return dlg.WaitForOtherDialog(timeoutMs, [](HWND h) { return IsMessageBoxWith(h, kPrompt); });
    }

    // Yes to the prompt; the progress window that follows.
    HWND AcceptUpdate(const ConfigDialog& dlg) const
    {
        HWND hPrompt = WaitForPrompt(dlg);
        if (!hPrompt)
            return nullptr;
        Answer(hPrompt, IDYES);
        return dlg.WaitForOtherDialog(15000, IsProgressWindow);
    }

    // The description's line with the current key's signature of the stand-in installer.
    std::string SignatureLine(const std::string& version) const
    {
        return "signature=" + SignUpdate(BuildKeySeed("current"), version, m_installer) + "\n";
    }

    TlsUpdateServer m_server;
    std::string m_installer;  // the stand-in installer's bytes
    ScopedSettingsKey m_savedSettings;
    ScopedRegValue m_autoUpdate{ kSaverSettingsKey, "Auto Update", 1 };
    std::unique_ptr<ScopedTrustedAuthority> m_trust;
    std::unique_ptr<ScopedInternetProxy> m_proxy;
    std::string m_temp;
    std::string m_updateDir;
};

}  // namespace

TEST_F(UpgradeEndToEnd, NewerVersionIsOfferedDownloadedWithProgressAndInstalled)
{
    Publish(std::string("version=1.0.7.0\r\nurl=") + kHost + "/slow/lumaspire/setup.exe\r\nurl2=" + kHost +
            "/lumaspire/extra.bin\r\n" + SignatureLine("1.0.7.0"));
    ConfigDialog dlg;
    Open(dlg);

    HWND hPrompt = WaitForPrompt(dlg);
    ASSERT_TRUE(hPrompt) << "no update prompt";
    EXPECT_TRUE(Requested("https GET /lumaspire/upgrade.txt 200"));
    EXPECT_EQ("Tollvane Lumaspire", TextOf(hPrompt));
    KeepShot("update-prompt", hPrompt);
    EXPECT_EQ(nullptr, ::GetWindow(hPrompt, GW_OWNER)) << "the prompt has no owner";
    // The second file is fetched as soon as the description is read.
    EXPECT_TRUE(PumpUntil([&] { return ReadAll(m_updateDir + "upgrade.tmp") == "second file"; }, 15000));

    Answer(hPrompt, IDYES);
    HWND hProgress = dlg.WaitForOtherDialog(15000, IsProgressWindow);
    ASSERT_TRUE(hProgress) << "no progress window after Yes";
    HWND hBar = ::GetDlgItem(hProgress, 1101);
    int highest = 0;
    bool between = false;
    std::string marker = m_updateDir + "setup.exe.ran";
    ASSERT_TRUE(PumpUntil([&] {
        DWORD_PTR pos = 0;
        if (::SendMessageTimeoutA(hBar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 2000, &pos)) {
            highest = std::max(highest, static_cast<int>(pos));
            if (!between && pos > 0 && pos < 100)
                KeepShot("update-progress", hProgress);
            between = between || (pos > 0 && pos < 100);
        }
        return !ReadAll(marker).empty();  // the installer writes it after creating it
    }, 120000)) << "the installer never ran";
    EXPECT_TRUE(between) << "the bar never stood between 0 and 100 (highest " << highest << ")";
    // Run from the update directory under the name the address gives, with no arguments.
    std::string commandLine = ReadAll(marker);
    EXPECT_NE(std::string::npos, commandLine.find("kovatemp\\setup.exe")) << commandLine;
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hProgress); }, 5000)) << "the progress window stayed";
    EXPECT_TRUE(dlg.StillOpen()) << "the configuration dialog closed";
    EXPECT_FALSE(dlg.WaitForOtherDialog(1500)) << "a message followed the installer's start";

    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit());
}

TEST_F(UpgradeEndToEnd, NothingIsAskedWhenTheUpdateIsNotUsableOrTheServerNotTrusted)
{
    struct Case {
        const char* name;
        std::string description;
        bool stranger;        // served with a certificate the prefix does not trust
        bool secondFile;      // upgrade.tmp is fetched all the same
    };
    const std::string extra = std::string("url2=") + kHost + "/lumaspire/extra.bin\n";
    const Case cases[] = {
        { "own version", "version=1.0.6.0\nurl=" + std::string(kHost) + "/lumaspire/setup.exe\n" + extra, false, true },
        { "plain http installer", "version=1.0.7.0\nurl=http://www.tollvane.example/lumaspire/setup.exe\n", false, false },
        { "plain http second file",
          "version=1.0.6.0\nurl=" + std::string(kHost) + "/lumaspire/setup.exe\nurl2=http://www.tollvane.example/lumaspire/extra.bin\n",
          false, false },
        { "no installer", "version=1.0.7.0\n" + extra, false, true },
        { "untrusted server", "version=1.0.7.0\nurl=" + std::string(kHost) + "/lumaspire/setup.exe\n" + extra, true, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Publish(c.description);
        m_server.ClearRequests();
        ConfigDialog dlg;
        Open(dlg, c.stranger ? m_server.StrangerProxyPort() : m_server.ProxyPort());
        if (c.stranger) {
            PumpFor(8000);  // the handshake fails; nothing reaches the server
        } else {
            EXPECT_TRUE(PumpUntil([&] { return Requested("https GET /lumaspire/upgrade.txt 200"); }, 30000))
                << RequestLog();
        }
        EXPECT_EQ(c.secondFile, PumpUntil([&] { return PathExists(m_updateDir + "upgrade.tmp"); }, 5000));
        EXPECT_FALSE(dlg.WaitForOtherDialog(2000)) << "something was asked";
        EXPECT_FALSE(Requested("https GET /lumaspire/setup.exe 200")) << "the installer was fetched";
        EXPECT_FALSE(PathExists(m_updateDir + "setup.exe"));
        for (const std::string& line : m_server.Requests())
            EXPECT_NE(0u, line.rfind("http ", 0)) << "asked over plain http: " << line;
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
        ::DeleteFileA((m_updateDir + "upgrade.tmp").c_str());
    }
}

TEST_F(UpgradeEndToEnd, NoIsFinalForThisOpening)
{
    Publish(std::string("version=1.0.7.0\nurl=") + kHost + "/lumaspire/setup.exe\n");
    ConfigDialog dlg;
    Open(dlg);
    HWND hPrompt = WaitForPrompt(dlg);
    ASSERT_TRUE(hPrompt);
    Answer(hPrompt, IDNO);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hPrompt); }, 5000));
    // Ticking the option again starts no second check.
    dlg.Click(1021);
    dlg.Click(1021);
    EXPECT_FALSE(dlg.WaitForOtherDialog(3000)) << "asked again";
    EXPECT_FALSE(Requested("https GET /lumaspire/setup.exe 200"));
    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit());
}

TEST_F(UpgradeEndToEnd, MissingInstallerIsReportedAfterTheProgressWindowHasGone)
{
    Publish(std::string("version=1.0.7.0\nurl=") + kHost + "/lumaspire/missing.exe\n");
    ConfigDialog dlg;
    Open(dlg);
    HWND hProgress = AcceptUpdate(dlg);
    ASSERT_TRUE(hProgress);
    HWND hFailure = dlg.WaitForOtherDialog(30000, [](HWND h) { return IsMessageBoxWith(h, kFailure); });
    ASSERT_TRUE(hFailure) << "no failure message";
    EXPECT_FALSE(::IsWindow(hProgress)) << "the progress window was still there";
    EXPECT_EQ(nullptr, ::GetWindow(hFailure, GW_OWNER));
    EXPECT_TRUE(PumpUntil([&] { return CountRedPixels(PartsOf(hFailure).icon) > 20; }, 3000))
        << "not the error icon";
    EXPECT_FALSE(PathExists(m_updateDir + "missing.exe"));
    Answer(hFailure, IDOK);
    EXPECT_TRUE(dlg.StillOpen());
    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit());
}

TEST_F(UpgradeEndToEnd, CancelledOrClosedDownloadLeavesNoFileAndRunsNothing)
{
    Publish(std::string("version=1.0.7.0\nurl=") + kHost + "/slow/lumaspire/setup.exe\n");
    std::string partial = m_updateDir + "setup.exe";
    {
        SCOPED_TRACE("Cancel, then No, then Yes");
        ConfigDialog dlg;
        Open(dlg);
        HWND hProgress = AcceptUpdate(dlg);
        ASSERT_TRUE(hProgress);
        ASSERT_TRUE(PumpUntil([&] { return PathExists(partial); }, 30000)) << "the download never started";
        auto isQuestion = [](HWND h) { return IsMessageBoxWith(h, kCancelQuestion); };
        ::PostMessageA(hProgress, WM_COMMAND, IDCANCEL, 0);
        HWND hQuestion = dlg.WaitForOtherDialog(10000, isQuestion);
        ASSERT_TRUE(hQuestion);
        EXPECT_EQ(hProgress, ::GetWindow(hQuestion, GW_OWNER));
        Answer(hQuestion, IDNO);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hQuestion); }, 5000));
        EXPECT_TRUE(::IsWindowVisible(hProgress)) << "No closed the progress window";

        ::PostMessageA(hProgress, WM_COMMAND, IDCANCEL, 0);
        hQuestion = dlg.WaitForOtherDialog(10000, isQuestion);
        ASSERT_TRUE(hQuestion);
        Answer(hQuestion, IDYES);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindowVisible(hProgress) && !PathExists(partial); }, 20000))
            << "the progress window or the partial file stayed";
        EXPECT_TRUE(dlg.StillOpen());
        PumpFor(1000);
        EXPECT_FALSE(PathExists(partial + ".ran")) << "the installer ran after a cancel";
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
    }
    {
        SCOPED_TRACE("configuration dialog closed mid-download");
        ConfigDialog dlg;
        Open(dlg);
        ASSERT_TRUE(AcceptUpdate(dlg));
        ASSERT_TRUE(PumpUntil([&] { return PathExists(partial); }, 30000));
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit(30000));
        EXPECT_FALSE(PathExists(partial)) << "the partial installer stayed";
        EXPECT_FALSE(PathExists(partial + ".ran"));
    }
}

TEST_F(UpgradeEndToEnd, OnlyTheInstallerTheMakersKeyVouchesForUnderThatVersionIsStarted)
{
    const std::string signedInstaller = ReadAll(ExeDir() + "fake_installer_signed.exe");
    ASSERT_FALSE(signedInstaller.empty());
    // A byte of the DOS stub's text: the program still runs, but its Authenticode digest
    // no longer matches.
    std::string brokenAuthenticode = signedInstaller;
    size_t stub = brokenAuthenticode.find("This program");
    ASSERT_NE(std::string::npos, stub);
    brokenAuthenticode[stub] = 't';
    std::string flipped = m_installer;
    flipped[flipped.size() / 2] ^= 0x01;
    const std::string current = BuildKeySeed("current"), next = BuildKeySeed("next");
    ASSERT_EQ(32u, current.size()) << "no throwaway key in the build tree";

    struct Case {
        const char* name;
        std::string seed;       // empty: no signature line
        std::string signedVersion;
        std::string signedBytes;
        std::string servedBytes;
        bool starts;
    };
    const Case cases[] = {
        { "current key, with Authenticode", current, "1.0.7.0", signedInstaller, signedInstaller, true },
        { "next key, no Authenticode", next, "1.0.7.0", m_installer, m_installer, true },
        { "a byte flipped", current, "1.0.7.0", m_installer, flipped, false },
        { "a file of another size", current, "1.0.7.0", m_installer, m_installer + "x", false },
        { "a cut file", current, "1.0.7.0", m_installer, m_installer.substr(0, m_installer.size() - 512), false },
        { "an unknown key", UnknownKeySeed(), "1.0.7.0", m_installer, m_installer, false },
        { "no signature line", "", "", m_installer, m_installer, false },
        { "an older signed installer under a newer version", current, "1.0.6.5", m_installer, m_installer, false },
        { "Authenticode digest broken, key signed", current, "1.0.7.0", brokenAuthenticode, brokenAuthenticode,
          false },
    };
    const std::string installer = m_updateDir + "setup.exe", marker = installer + ".ran";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string description = std::string("version=1.0.7.0\nurl=") + kHost + "/lumaspire/setup.exe\n";
        if (!c.seed.empty())
            description += "signature=" + SignUpdate(c.seed, c.signedVersion, c.signedBytes) + "\n";
        Publish(description);
        ASSERT_TRUE(m_server.PutFile("lumaspire\\setup.exe", c.servedBytes));
        ConfigDialog dlg;
        Open(dlg);
        HWND hProgress = AcceptUpdate(dlg);
        ASSERT_TRUE(hProgress);
        HWND hFailure = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            hFailure = dlg.WaitForOtherDialog(0, [](HWND h) { return IsMessageBoxWith(h, kFailure); });
            return hFailure || !ReadAll(marker).empty();
        }, 60000)) << "neither started nor refused";
        if (c.starts) {
            EXPECT_FALSE(hFailure) << "refused";
            EXPECT_EQ(c.servedBytes, ReadAll(installer)) << "the installer stays where it ran from";
        } else {
            EXPECT_TRUE(hFailure);
            EXPECT_FALSE(::IsWindow(hProgress)) << "the progress window was still there";
            PumpFor(500);
            EXPECT_FALSE(PathExists(marker)) << "the refused installer ran";
            EXPECT_FALSE(PathExists(installer)) << "the refused installer was kept";
            Answer(hFailure, IDOK);
        }
        EXPECT_TRUE(dlg.StillOpen());
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
        ::DeleteFileA(marker.c_str());
        ::DeleteFileA(installer.c_str());
    }
}
