// The update check of lumaspire.scr /c against the maker's host as the tests serve it:
// https through WinInet's preconfigured proxy, a test authority the prefix trusts, and a
// stand-in installer that records that it ran; descriptions signed with the build's
// throwaway keys.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <winioctl.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

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

// Makes link a junction (a mount point) to target, as a program of the user can. Empty
// when it did; else what failed.
std::string MakeJunction(const std::string& link, const std::string& target)
{
    if (!::CreateDirectoryA(link.c_str(), nullptr))
        return "CreateDirectory " + std::to_string(::GetLastError());
    HANDLE h = ::CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "CreateFile " + std::to_string(::GetLastError());
    std::wstring print(target.begin(), target.end()), substitute = L"\\??\\" + print;
    // The mount point's data: tag, length, reserved; then the offsets and lengths of the
    // two names, and both names, each with its terminator.
    std::vector<WORD> names = { 0, static_cast<WORD>(substitute.size() * 2),
                                static_cast<WORD>((substitute.size() + 1) * 2), static_cast<WORD>(print.size() * 2) };
    names.insert(names.end(), substitute.begin(), substitute.end());
    names.push_back(0);
    names.insert(names.end(), print.begin(), print.end());
    names.push_back(0);
    std::vector<BYTE> data(8 + names.size() * 2);
    *reinterpret_cast<DWORD*>(&data[0]) = IO_REPARSE_TAG_MOUNT_POINT;
    *reinterpret_cast<WORD*>(&data[4]) = static_cast<WORD>(names.size() * 2);
    memcpy(&data[8], names.data(), names.size() * 2);
    DWORD returned = 0;
    BOOL made = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()), nullptr,
                                  0, &returned, nullptr);
    DWORD error = ::GetLastError();
    ::CloseHandle(h);
    if (!made)
        return "FSCTL_SET_REPARSE_POINT " + std::to_string(error);
    DWORD attributes = ::GetFileAttributesA(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return "attributes " + std::to_string(attributes);
    return std::string();
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

    // Opens /c of exe with the update check on, through the proxy of that port.
    void Open(ConfigDialog& dlg, int proxyPort = 0, const std::vector<std::string>& extraEnv = {},
              const std::string& exe = SaverPath())
    {
        m_proxy.reset();  // the old setting is restored before the new one is made
        m_proxy.reset(new ScopedInternetProxy(proxyPort ? proxyPort : m_server.ProxyPort()));
        std::vector<std::string> env = { "TEMP=" + m_temp, "TMP=" + m_temp };
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        ASSERT_TRUE(dlg.Open("/c", env, exe));
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

    // The size and signature lines of the second form, as the release command writes them.
    static std::string SizedLines(const std::string& seed, const std::string& version, const std::string& installer)
    {
        return "size=" + std::to_string(installer.size()) + "\nsignature=" +
               SignUpdate(seed, version, installer, static_cast<long long>(installer.size())) + "\n";
    }

    // After Yes: waits until the installer has run (true) or the failure message came
    // (false, the message answered, the progress window gone).
    bool StartedOrRefused(const ConfigDialog& dlg, HWND hProgress, const std::string& marker) const
    {
        HWND hFailure = nullptr;
        EXPECT_TRUE(PumpUntil([&] {
            hFailure = dlg.WaitForOtherDialog(0, [](HWND h) { return IsMessageBoxWith(h, kFailure); });
            return hFailure || !ReadAll(marker).empty();
        }, 60000)) << "neither started nor refused";
        if (!hFailure)
            return !ReadAll(marker).empty();
        EXPECT_FALSE(::IsWindow(hProgress)) << "the progress window was still there";
        PumpFor(500);
        EXPECT_FALSE(PathExists(marker)) << "the refused installer ran";
        Answer(hFailure, IDOK);
        return false;
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
        size_t secondFileSize = 11;
    };
    const std::string extra = std::string("url2=") + kHost + "/lumaspire/extra.bin\n";
    const std::string setup = "url=" + std::string(kHost) + "/lumaspire/setup.exe\n";
    ASSERT_TRUE(m_server.PutFile("lumaspire\\big.bin", std::string(100000, 'b')));
    const Case cases[] = {
        // An old release's own signed description and installer: valid, but backwards. (The
        // versions that are no a.b.c.d take the same way out: UpgradeDescription's table.)
        { "older signed release", "version=1.0.5.0\n" + setup + SignatureLine("1.0.5.0") + extra, false, true },
        { "an installer name not ending in .exe",
          "version=1.0.7.0\nurl=" + std::string(kHost) + "/lumaspire/setup.exe.msi\n" + SignatureLine("1.0.7.0"),
          false, false },
        { "a second file over 64 KiB",
          "version=1.0.6.0\n" + setup + "url2=" + std::string(kHost) + "/lumaspire/big.bin\n", false, true, 65536 },
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
        const std::string secondFile = m_updateDir + "upgrade.tmp";
        EXPECT_EQ(c.secondFile, PumpUntil([&] {
            return PathExists(secondFile) && ReadAll(secondFile).size() == c.secondFileSize;
        }, 5000)) << ReadAll(secondFile).size() << " bytes";
        EXPECT_FALSE(dlg.WaitForOtherDialog(2000)) << "something was asked";
        for (const std::string& line : m_server.Requests()) {
            EXPECT_EQ(std::string::npos, line.find("/lumaspire/setup")) << "the installer was fetched: " << line;
            EXPECT_NE(0u, line.rfind("http ", 0)) << "asked over plain http: " << line;
        }
        EXPECT_FALSE(PathExists(m_updateDir + "setup.exe"));
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
        EXPECT_FALSE(PathExists(secondFile)) << "the second file outlived the flow";
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
        // Its headers never end, a byte every two seconds: no receive time-out ever
        // ends the worker's call. Cancel waits a few seconds, then leaves it behind.
        SCOPED_TRACE("a server that trickles, cancelled");
        Publish(std::string("version=1.0.7.0\nurl=") + kHost + "/trickle/lumaspire/setup.exe\n");
        ConfigDialog dlg;
        Open(dlg);
        HWND hProgress = AcceptUpdate(dlg);
        ASSERT_TRUE(hProgress);
        ASSERT_TRUE(PumpUntil([&] { return Requested("https GET /trickle/lumaspire/setup.exe 200"); }, 30000));
        ::PostMessageA(hProgress, WM_COMMAND, IDCANCEL, 0);
        HWND hQuestion =
            dlg.WaitForOtherDialog(10000, [](HWND h) { return IsMessageBoxWith(h, kCancelQuestion); });
        ASSERT_TRUE(hQuestion);
        Answer(hQuestion, IDYES);
        DWORD start = ::GetTickCount();
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindowVisible(hProgress); }, 30000)) << "Cancel never returned";
        // Generous against a loaded machine; without a bound it never returns at all.
        EXPECT_LT(::GetTickCount() - start, 20000u);
        EXPECT_TRUE(dlg.StillOpen());
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit(30000));
        EXPECT_FALSE(PathExists(m_updateDir + "setup.exe"));
    }
    {
        Publish(std::string("version=1.0.7.0\nurl=") + kHost + "/slow/lumaspire/setup.exe\n");
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
        bool sized = false;     // the second form: the size in the description and signed
        std::string path = "/lumaspire/setup.exe";  // of the installer's address
        std::string seen = "";  // a request the server must have seen
    };
    const std::string longer = m_installer + std::string(8192, 'x');
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
        { "the size signed too", current, "1.0.7.0", m_installer, m_installer, true, true },
        { "larger than its signed size", current, "1.0.7.0", m_installer, longer, false, true },
        { "larger than its signed size, no Content-Length", current, "1.0.7.0", m_installer, longer, false, true,
          "/nolength/lumaspire/setup.exe" },
        { "redirected to plain http", current, "1.0.7.0", m_installer, m_installer, false, true,
          "/redirect-http/lumaspire/setup.exe", "http GET /lumaspire/setup.exe 200" },
        { "redirected to another https host", current, "1.0.7.0", m_installer, m_installer, true, true,
          "/redirect-other/lumaspire/setup.exe", "https GET //dl.tollvane.example/lumaspire/setup.exe 200" },
    };
    const std::string installer = m_updateDir + "setup.exe", marker = installer + ".ran";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string description = "version=1.0.7.0\nurl=" + std::string(kHost) + c.path + "\n";
        if (c.sized)
            description += SizedLines(c.seed, c.signedVersion, c.signedBytes);
        else if (!c.seed.empty())
            description += "signature=" + SignUpdate(c.seed, c.signedVersion, c.signedBytes) + "\n";
        Publish(description);
        ASSERT_TRUE(m_server.PutFile("lumaspire\\setup.exe", c.servedBytes));
        m_server.ClearRequests();
        ConfigDialog dlg;
        Open(dlg);
        HWND hProgress = AcceptUpdate(dlg);
        ASSERT_TRUE(hProgress);
        EXPECT_EQ(c.starts, StartedOrRefused(dlg, hProgress, marker));
        if (c.starts) {
            EXPECT_EQ(c.servedBytes, ReadAll(installer)) << "the installer stays where it ran from";
        } else {
            EXPECT_FALSE(PathExists(installer)) << "the refused installer was kept";
        }
        if (!c.seen.empty()) {
            EXPECT_TRUE(Requested(c.seen)) << RequestLog();
        }
        EXPECT_TRUE(dlg.StillOpen());
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
        ::DeleteFileA(marker.c_str());
        ::DeleteFileA(installer.c_str());
    }
}

// Where the system makes junctions (Windows): the real folder check.
TEST_F(UpgradeEndToEnd, JunctionAtTheDownloadFolderIsMadeAnewAsAPlainFolder)
{
    // Planted before the check: the downloads would land in (and a failed one delete
    // from) wherever it points.
    const std::string elsewhere = m_temp + "\\elsewhere", link = m_temp + "\\kovatemp";
    ASSERT_TRUE(::CreateDirectoryA(elsewhere.c_str(), nullptr));
    std::string failed = MakeJunction(link, elsewhere);
    if (failed == "FSCTL_SET_REPARSE_POINT " + std::to_string(ERROR_NOT_SUPPORTED)) {
        // Wine makes no junctions: update_tests covers this with stand-ins.
        ::RemoveDirectoryA(link.c_str());
        GTEST_SKIP() << "this system makes no junctions";
    }
    ASSERT_EQ("", failed) << "no junction could be made here";
    Publish(std::string("version=1.0.7.0\nurl=") + kHost + "/lumaspire/setup.exe\n" +
            SizedLines(BuildKeySeed("current"), "1.0.7.0", m_installer));
    ConfigDialog dlg;
    Open(dlg);
    HWND hProgress = AcceptUpdate(dlg);
    ASSERT_TRUE(hProgress);
    EXPECT_TRUE(StartedOrRefused(dlg, hProgress, m_updateDir + "setup.exe.ran"));
    DWORD attributes = ::GetFileAttributesA(link.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) << attributes;
    EXPECT_FALSE(PathExists(elsewhere + "\\upgrade.txt")) << "written through the junction";
    EXPECT_FALSE(PathExists(elsewhere + "\\setup.exe")) << "written through the junction";
    EXPECT_TRUE(PathExists(elsewhere)) << "the junction's target went too";
    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit());
}

// What the user agreed to run is what keeps running: while the installer runs (and reads
// its own file, as the real one does), no other program can write, replace, rename or
// delete the file or its folder. Once the installer has ended, the hold is gone.
TEST_F(UpgradeEndToEnd, CheckedInstallerCannotBeReplacedWhileItRuns)
{
    const std::string eventName = "LumaspireFakeInstallerWait" + std::to_string(::GetCurrentProcessId());
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_TRUE(release);
    Publish(std::string("version=1.0.7.0\nurl=") + kHost + "/lumaspire/setup.exe\n" +
            SizedLines(BuildKeySeed("current"), "1.0.7.0", m_installer));
    ConfigDialog dlg;
    Open(dlg, 0, { "LUMASPIRE_FAKE_INSTALLER_WAIT=" + eventName });
    HWND hProgress = AcceptUpdate(dlg);
    ASSERT_TRUE(hProgress);
    const std::string installer = m_updateDir + "setup.exe", other = m_temp + "\\other.exe";
    ASSERT_TRUE(StartedOrRefused(dlg, hProgress, installer + ".ran"));
    EXPECT_NE(std::string::npos, ReadAll(installer + ".ran").find("\nread itself")) << "the hold kept it from itself";
    { std::ofstream(other, std::ios::binary) << "someone else's program"; }
    HANDLE writer = ::CreateFileA(installer.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                  FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer) << "opened for writing";
    if (writer != INVALID_HANDLE_VALUE)
        ::CloseHandle(writer);
    EXPECT_FALSE(::MoveFileExA(other.c_str(), installer.c_str(), MOVEFILE_REPLACE_EXISTING)) << "replaced";
    EXPECT_FALSE(::MoveFileA(installer.c_str(), (installer + ".old").c_str())) << "renamed";
    EXPECT_FALSE(::DeleteFileA(installer.c_str())) << "deleted";
    EXPECT_FALSE(::MoveFileA((m_temp + "\\kovatemp").c_str(), (m_temp + "\\moved").c_str())) << "folder renamed";
    EXPECT_EQ(m_installer, ReadAll(installer));

    ::SetEvent(release);
    // The installer has ended: nothing holds the file any longer.
    EXPECT_TRUE(PumpUntil([&] { return ::DeleteFileA(installer.c_str()) != FALSE; }, 15000)) << "still held";
    ::CloseHandle(release);
    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit());
}

// The release command's build knows the maker's code-signing key (here the throwaway
// certificate's): the 1.0.7.0 saver it made takes 1.0.8.0 only with that publisher's
// Authenticode signature as well as the update key's. Wine's WinVerifyTrust accepts any
// publisher, so the other certificate (of the same name) is refused by the program's own
// comparison of keys.
TEST_F(UpgradeEndToEnd, PinnedPublisherMustHaveSignedTheInstallerToo)
{
    const std::string pinnedSaver = ExeDir() + "..\\release-107\\bin\\lumaspire.scr";
    ASSERT_TRUE(PathExists(pinnedSaver)) << "the release command's build is missing";
    const struct {
        const char* name;
        std::string bytes;
        bool starts;
    } cases[] = {
        { "the maker's certificate", ReadAll(ExeDir() + "fake_installer_signed.exe"), true },
        { "another certificate", ReadAll(ExeDir() + "fake_installer_other.exe"), false },
        { "no Authenticode signature", m_installer, false },
    };
    const std::string installer = m_updateDir + "setup.exe", marker = installer + ".ran";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        Publish(std::string("version=1.0.8.0\nurl=") + kHost + "/lumaspire/setup.exe\n" +
                SizedLines(BuildKeySeed("current"), "1.0.8.0", c.bytes));
        ASSERT_TRUE(m_server.PutFile("lumaspire\\setup.exe", c.bytes));
        ConfigDialog dlg;
        Open(dlg, 0, {}, pinnedSaver);
        HWND hProgress = AcceptUpdate(dlg);
        ASSERT_TRUE(hProgress);
        EXPECT_EQ(c.starts, StartedOrRefused(dlg, hProgress, marker));
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
        ::DeleteFileA(marker.c_str());
        ::DeleteFileA(installer.c_str());
    }
}
