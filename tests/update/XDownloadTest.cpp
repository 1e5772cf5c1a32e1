// The download engine against the misbehaving test HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "common/StandardUser.h"
#include "common/TestHttpServer.h"
#include "common/TestSupport.h"
#include "support/ErrorText.h"
#include "update/UpgradeDlg.h"
#include "update/XDownload.h"

namespace {

// The engine goes wherever the user's Internet Settings send it: straight to the test
// server here, whatever proxy an interrupted update test may have left in the prefix.
ScopedRegValue g_noProxy("Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyEnable",
                         static_cast<DWORD>(0));

const char kBrowserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

// Guards against a hang only; the engine's own pauses are a few seconds at most.
const DWORD kPassLimitMs = 60000;

template <typename Pred>
bool WaitFor(Pred pred, DWORD timeoutMs = kPassLimitMs)
{
    DWORD start = ::GetTickCount();
    while (!pred()) {
        if (::GetTickCount() - start > timeoutMs)
            return pred();
        ::Sleep(20);
    }
    return true;
}

class Download : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The folder first: TearDown removes it even when a check below stops the set-up.
        char temp[MAX_PATH] = {};
        ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_tag = std::string(info->name()) + "-" + std::to_string(::GetCurrentProcessId());
        m_dir = std::string(temp) + "lumaspire-dl-" + m_tag;
        ASSERT_TRUE(m_server.Find()) << "the test HTTP server is not running (see tests/update/CMakeLists.txt)";
        RemoveTree(m_dir);
    }
    void TearDown() override { RemoveTree(m_dir); }

    // A path of this test's own on the server.
    std::string Url(const std::string& path) const { return m_server.Url("/" + m_tag + path); }
    std::vector<SeenRequest> Seen() const { return m_server.Requests(m_tag); }
    int SeenCount(const std::string& path) const
    {
        int n = 0;
        for (const SeenRequest& r : Seen())
            n += r.line == "GET /" + m_tag + path + " HTTP/1.1";
        return n;
    }

    TestHttpServer m_server;
    std::string m_tag;
    std::string m_dir;  // no trailing backslash; made by the engine
};

}  // namespace

TEST(DownloadItems, AddFileJoinsDirectoryAndNamesFileAfterTheUrl)
{
    struct Case {
        const char* url;
        const char* directory;
        const char* fileName;
        const char* wantDirectory;
        const char* wantName;
    } cases[] = {
        { "http://h.example/dir/setup.exe", "C:\\t", "", "C:\\t\\", "setup.exe" },
        { "http://h.example/dir/setup.exe", "C:\\t\\", "", "C:\\t\\", "setup.exe" },
        { "http://h.example/dir/setup.exe", "C:/t/", nullptr, "C:/t/", "setup.exe" },
        { "http://h.example/dir/setup.exe", "", "upgrade.txt", "", "upgrade.txt" },
        { "http://h.example/a\\b\\setup.exe", "C:\\t", "", "C:\\t\\", "setup.exe" },
        { "http://h.example", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/", "C:\\t", "", "C:\\t\\", "" },
        { "no url at all", "C:\\t", "", "C:\\t\\", "" },
        // Names that would write elsewhere than a plain file in the directory.
        { "http://h.example/dir/..", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/.", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/CON", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/nul.txt", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/com1", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/LPT9.log", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/c:evil.exe", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/setup.exe?v=2", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/setup.exe.", "C:\\t", "", "C:\\t\\", "" },
        { "http://h.example/dir/console.exe", "C:\\t", "", "C:\\t\\", "console.exe" },
        { "http://h.example/dir/com10.exe", "C:\\t", "", "C:\\t\\", "com10.exe" },
        // Whole double-byte characters (中) stay; half of one at the end names no file.
        { "http://h.example/dir/\xD6\xD0.exe", "C:\\t", "", "C:\\t\\", "\xD6\xD0.exe" },
        { "http://h.example/dir/setup\xD6", "C:\\t", "", "C:\\t\\", "" },
    };
    XDownload engine;
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        ASSERT_EQ(index, engine.AddFile(c.url, c.directory, c.fileName, 0));
        EXPECT_STREQ(c.wantDirectory, engine.GetDirectory(index));
        EXPECT_STREQ(c.wantName, engine.GetFileName(index));
        EXPECT_EQ(std::string(c.wantDirectory) + c.wantName, engine.GetFilePath(index).GetString());
        ++index;
    }
    EXPECT_EQ(index, engine.GetCount());
    EXPECT_STREQ("", engine.GetFilePath(index));
    EXPECT_STREQ("", engine.GetFileName(-1));
    // Nothing probed yet: no sizes, no percentage, nothing finished or failed.
    EXPECT_EQ(0, engine.GetTotalSize());
    EXPECT_EQ(0, engine.GetDownloadedSize());
    EXPECT_EQ(0.0, engine.GetPercent());
    EXPECT_FALSE(engine.IsFinished(0));
    EXPECT_FALSE(engine.IsFinished(-1));
    EXPECT_FALSE(engine.IsFailed(-1));
}

// One engine, one item per way the server answers; the other items are still tried
// after one fails.
// The percentage passes 100 when a file comes longer than its probe said, and passes
// int's range when the probe said 1 byte and 22 MB came.
TEST(DownloadItems, ProgressPositionStaysOnTheBar)
{
    const struct {
        double percent;
        int position;
    } cases[] = { { -1, 0 }, { 0, 0 }, { 42.9, 42 }, { 100, 100 }, { 250, 100 }, { 3e9, 100 }, { 1e300, 100 }, { NAN, 0 } };
    for (const auto& c : cases)
        EXPECT_EQ(c.position, ProgressPosition(c.percent)) << c.percent;
}

// The downloaded installer as Windows with UAC starts it (it asks for administrator
// rights): after Yes at the consent prompt it runs; a No is the user's choice and no
// failure to report; a file that is not there is one.
TEST(DownloadItems, InstallerStartsAfterTheConsentPromptAndOnlyAFailureIsReported)
{
    StandardUser user;
    ASSERT_TRUE(user.Active());
    const std::string installer = ExeDir() + "echo_child_admin.exe", echo = ExeDir() + "installer_echo.txt";
    ::SetEnvironmentVariableA("LUMASPIRE_ECHO_FILE", echo.c_str());
    HWND owner = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    const struct {
        const char* what;
        bool consent;
        std::string path;
        bool done, started;
    } cases[] = {
        { "Yes", true, installer, true, true },
        { "No", false, installer, true, false },
        { "a missing file", true, ExeDir() + "no such setup.exe", false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::DeleteFileA(echo.c_str());
        StandardUser::s_consent = c.consent;
        EXPECT_EQ(c.done, StartInstaller(c.path.c_str(), owner));
        EXPECT_EQ(c.started, PumpUntil([&] { return PathExists(echo); }, c.started ? 20000 : 1000));
    }
    EXPECT_EQ(2, StandardUser::s_prompts);
    EXPECT_EQ(owner, StandardUser::s_owner);
    ::DestroyWindow(owner);
    ::DeleteFileA(echo.c_str());
    ::SetEnvironmentVariableA("LUMASPIRE_ECHO_FILE", nullptr);
}

TEST_F(Download, EachItemEndsAsTheServerAnswered)
{
    struct Case {
        std::string path;  // under this test's tag; "" for the refused port
        bool whole;        // finished with the pattern; else failed with no file left
        size_t size;
        int requests;  // that the server saw
    } cases[] = {
        { "/len/10000/sized.bin", true, 10000, 2 },
        { "/nolen/7000/unsized.bin", true, 7000, 2 },
        { "/len/0/empty.bin", true, 0, 2 },
        { "/status/404/missing.bin", false, 0, 2 },
        // 503 twice (the probe asks again each second), then the probe and the download.
        { "/busy/2/5000/busy.bin", true, 5000, 4 },
        // The probe and the first download are cut short; the second download is whole.
        { "/cut/8000/3000/2/cut.bin", true, 8000, 3 },
        // Longer than the engine can count (the server drops the line after 100 bytes):
        // refused before anything is written, not asked for again.
        { "/cut/2147483648/100/1000/huge.bin", false, 0, 2 },
        { "", false, 0, 0 },
    };
    XDownload engine;
    for (const Case& c : cases) {
        std::string url = c.path.empty() ? m_server.RefusedUrl("/" + m_tag + "/len/10/refused.bin") : Url(c.path);
        ASSERT_GE(engine.AddFile(url.c_str(), m_dir.c_str(), "", 1), 0);
    }
    ASSERT_TRUE(engine.Start());
    ASSERT_TRUE(WaitFor([&] { return engine.IsFinished(-1); }));
    EXPECT_TRUE(engine.IsFailed(-1));

    int total = 0;
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.path.empty() ? "refused" : c.path);
        std::string path = engine.GetFilePath(static_cast<int>(i)).GetString();
        EXPECT_EQ(m_dir + "\\", engine.GetDirectory(static_cast<int>(i)).GetString());
        EXPECT_EQ(c.whole, engine.IsFinished(static_cast<int>(i)));
        EXPECT_EQ(!c.whole, engine.IsFailed(static_cast<int>(i)));
        std::string bytes;
        if (c.whole) {
            ASSERT_TRUE(ReadWholeFile(path, &bytes));
            EXPECT_TRUE(bytes == BodyPattern(c.size)) << "file of " << bytes.size() << " bytes";
            total += static_cast<int>(c.size);
        } else {
            EXPECT_FALSE(PathExists(path));
        }
        if (!c.path.empty()) {
            EXPECT_EQ(c.requests, SeenCount(c.path));
        }
    }
    // Every size is known after success, so the list is at 100 %.
    EXPECT_EQ(total, engine.GetTotalSize());
    EXPECT_EQ(total, engine.GetDownloadedSize());
    EXPECT_DOUBLE_EQ(100.0, engine.GetPercent());

    // Done: no second run until Reset, and no more items.
    EXPECT_FALSE(engine.Start());
    EXPECT_EQ(-1, engine.AddFile(Url("/len/1/late.bin").c_str(), m_dir.c_str(), "", 0));
    EXPECT_EQ(8, engine.GetCount());
    engine.Reset();
    EXPECT_EQ(0, engine.GetCount());
    EXPECT_EQ(0, engine.AddFile(Url("/len/1/late.bin").c_str(), m_dir.c_str(), "", 0));
}

TEST_F(Download, ServerSeesTheAgentAndTheCacheHeadersOfEachItem)
{
    {
        XDownload engine;
        engine.SetAgent(kBrowserAgent);
        ASSERT_EQ(0, engine.AddFile(Url("/len/100/cached.txt").c_str(), m_dir.c_str(), "", 1));
        ASSERT_EQ(1, engine.AddFile(Url("/len/100/fresh.tmp").c_str(), m_dir.c_str(), "", 0));
        ASSERT_TRUE(engine.Start());
        ASSERT_TRUE(WaitFor([&] { return engine.IsFinished(-1); }));
        EXPECT_FALSE(engine.IsFailed(-1));
    }
    {
        XDownload engine;
        ASSERT_EQ(0, engine.AddFile(Url("/len/100/default.bin").c_str(), m_dir.c_str(), "", 0));
        ASSERT_TRUE(engine.Start());
        ASSERT_TRUE(WaitFor([&] { return engine.IsFinished(-1); }));
    }
    std::vector<SeenRequest> seen = Seen();
    int cached = 0, fresh = 0, plain = 0;
    for (const SeenRequest& r : seen) {
        std::string text = r.line;
        for (const auto& h : r.headers)
            text += "\n" + h.first + ": " + h.second;
        SCOPED_TRACE(text);
        bool noCache = r.Get("pragma") == "no-cache";
        if (r.line.find("/cached.txt") != std::string::npos) {
            ++cached;
            EXPECT_EQ(kBrowserAgent, r.Get("user-agent"));
            EXPECT_FALSE(r.Has("pragma"));
        } else if (r.line.find("/fresh.tmp") != std::string::npos) {
            ++fresh;
            EXPECT_EQ(kBrowserAgent, r.Get("user-agent"));
            EXPECT_TRUE(noCache);
        } else if (r.line.find("/default.bin") != std::string::npos) {
            ++plain;
            EXPECT_EQ("XDownload", r.Get("user-agent"));
            EXPECT_TRUE(noCache);
        }
    }
    // The probe and the download each ask the server (the cache may answer a second
    // request of the cacheable item itself).
    EXPECT_GE(cached, 1);
    EXPECT_EQ(2, fresh);
    EXPECT_EQ(2, plain);
}

// Stops with an unlimited wait while the worker is blocked: in a body the server
// stalls, and waiting for headers that never come.
TEST_F(Download, StopWithoutTimeLimitEndsABlockedTransfer)
{
    for (const char* path : { "/stall/100000/20480/stalled.bin", "/hang/hung.bin" }) {
        SCOPED_TRACE(path);
        XDownload engine;
        ASSERT_EQ(0, engine.AddFile(Url(path).c_str(), m_dir.c_str(), "", 0));
        ASSERT_TRUE(engine.Start());
        bool stalls = strstr(path, "stall") != nullptr;
        if (stalls) {
            // The probe's request, then the download's first five reads (a read returns
            // only a full buffer or the end of the body).
            ASSERT_TRUE(WaitFor([&] { return engine.GetDownloadedSize() >= 20480; }));
            EXPECT_TRUE(PathExists(engine.GetFilePath(0).GetString()));
            EXPECT_DOUBLE_EQ(20.48, engine.GetPercent());
        } else {
            ASSERT_TRUE(WaitFor([&] { return SeenCount("/hang/hung.bin") >= 1; }));
        }
        engine.Stop(INFINITE);
        EXPECT_FALSE(PathExists(engine.GetFilePath(0).GetString()));
        EXPECT_FALSE(engine.IsFinished(-1));
        EXPECT_FALSE(engine.IsFinished(0));
        if (stalls) {
            EXPECT_TRUE(engine.IsFailed(0));
        }
        // Stopped for good: a second Stop does nothing, Start is refused.
        engine.Stop(INFINITE);
        EXPECT_FALSE(engine.Start());
        EXPECT_FALSE(engine.IsFinished(-1));
    }
}

TEST_F(Download, RepeatsBusyAndCutRepliesUntilStopped)
{
    // Always cut short: never finished, the whole transfer asked again. Always busy: the
    // probe asks again and the download pass never begins.
    const std::string cut = "/cut/9000/4000/1000/cut.bin", busy = "/busy/1000/10/busy.bin";
    XDownload cutEngine, busyEngine;
    ASSERT_EQ(0, cutEngine.AddFile(Url(cut).c_str(), m_dir.c_str(), "", 0));
    ASSERT_EQ(0, busyEngine.AddFile(Url(busy).c_str(), m_dir.c_str(), "", 0));
    ASSERT_TRUE(cutEngine.Start());
    ASSERT_TRUE(busyEngine.Start());
    // The probe and two download attempts; three probes.
    ASSERT_TRUE(WaitFor([&] { return SeenCount(cut) >= 3 && SeenCount(busy) >= 3; }));
    EXPECT_FALSE(cutEngine.IsFinished(0));
    cutEngine.Stop(INFINITE);
    busyEngine.Stop(INFINITE);
    EXPECT_TRUE(cutEngine.IsFailed(0));
    for (XDownload* engine : { &cutEngine, &busyEngine }) {
        EXPECT_FALSE(PathExists(engine->GetFilePath(0).GetString()));
        EXPECT_FALSE(engine->IsFinished(-1));
    }
}

// Nothing endless: each item takes at most its limit (the second file is cut there, the
// installer fails beyond its signed size, whether the server says its length or not),
// and a server that stays busy is given up after a few requests.
TEST_F(Download, LimitsCutOrFailAndBusyServersAreGivenUp)
{
    XDownload engine;
    struct Case {
        const char* path;
        LONG limit;
        bool cut;
        bool fails;
        size_t kept;  // bytes of the local file afterwards
    } cases[] = {
        { "/len/10000/cut.bin", 5000, true, false, 5000 },
        { "/len/5000/exact.bin", 5000, false, false, 5000 },
        { "/len/10000/declared.bin", 5000, false, true, 0 },
        { "/nolen/10000/undeclared.bin", 5000, false, true, 0 },
        { "/busy/1000/10/busy.bin", 0x7FFFFFFF, false, true, 0 },
    };
    for (const Case& c : cases) {
        int i = engine.AddFile(Url(c.path).c_str(), m_dir.c_str(), "", 0);
        ASSERT_TRUE(engine.SetSizeLimit(i, c.limit, c.cut));
    }
    EXPECT_FALSE(engine.SetSizeLimit(5, 1, false)) << "no such item";
    EXPECT_FALSE(engine.SetSizeLimit(0, -1, false));
    ASSERT_TRUE(engine.Start());
    EXPECT_FALSE(engine.SetSizeLimit(0, 1, false)) << "set after Start";
    ASSERT_TRUE(WaitFor([&] { return engine.IsFinished(-1); }));
    for (int i = 0; i < 5; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.fails, engine.IsFailed(i));
        std::string bytes;
        EXPECT_EQ(!c.fails, ReadWholeFile(engine.GetFilePath(i).GetString(), &bytes));
        EXPECT_EQ(c.kept, bytes.size());
        EXPECT_TRUE(bytes == BodyPattern(c.kept));
    }
    // A reply declared too long is not asked again; a busy one, a bounded number of times.
    EXPECT_EQ(1, SeenCount("/len/10000/declared.bin") - 1);  // less the probe
    EXPECT_EQ(2 * XDownload::kMaxAttempts, SeenCount("/busy/1000/10/busy.bin"));
}

TEST_F(Download, LocalFileThatCannotBeMadeFailsTheItemWithTheOpenText)
{
    // A file stands where the directory should be.
    ASSERT_TRUE(::CreateDirectoryA(m_dir.c_str(), nullptr));
    const std::string blocker = m_dir + "\\blocker";
    HANDLE hFile = ::CreateFileA(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    ::CloseHandle(hFile);

    XDownload engine;
    ASSERT_EQ(0, engine.AddFile(Url("/len/10/unwritable.bin").c_str(), blocker.c_str(), "", 0));
    ASSERT_TRUE(engine.Start());
    ASSERT_TRUE(WaitFor([&] { return engine.IsFinished(-1); }));
    EXPECT_TRUE(engine.IsFailed(0));
    std::string context = "in XDownload::DownloadFile(\"" + blocker + "\\unwritable.bin\")";
    EXPECT_NE(nullptr, strstr(GetErrorText(), context.c_str())) << GetErrorText();
    EXPECT_TRUE(PathExists(blocker));  // the failed item deletes only its own path
}

TEST_F(Download, EngineDestroyedWhileItsWorkerIsBlockedEndsIt)
{
    {
        XDownload engine;
        ASSERT_EQ(0, engine.AddFile(Url("/stall/50000/8192/gone.bin").c_str(), m_dir.c_str(), "", 0));
        ASSERT_TRUE(engine.Start());
        ASSERT_TRUE(WaitFor([&] { return engine.GetDownloadedSize() >= 8192; }));
    }
    // The worker ended without being killed: its file went with it.
    EXPECT_TRUE(WaitFor([&] { return !PathExists(m_dir + "\\gone.bin"); }, 30000));
}

// WinInet hands a closed handle's value to the next one opened (Wine: the lowest free).
// An engine stopped while its worker makes its folders, between opening its request and
// reading it, must not read or close what the next engine opens meanwhile. The next
// engine's body has no length, so a chunk read by another would go unnoticed by it.
TEST_F(Download, StoppedWorkerLeavesTheNextEnginesRequestAlone)
{
    // As many folder levels as a path holds: each takes the worker a while to make.
    char temp[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
    const std::string root = std::string(temp) + "lumaspire-deep";
    std::string deep = root;
    while (deep.size() < 240)
        deep += "\\d";
    const size_t size = 4 << 20;
    // Reading the stopped engine's request in the next one's place took a chunk of its
    // body in 21 of 30 rounds, before the stop left the worker's handles to the worker.
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        RemoveTree(root);
        XDownload stopped, next;
        ASSERT_EQ(0, stopped.AddFile(Url("/len/100000/s").c_str(), deep.c_str(), "", 0));
        ASSERT_EQ(0, next.AddFile(Url("/nolen/" + std::to_string(size) + "/next.bin").c_str(), m_dir.c_str(), "", 0));
        ASSERT_TRUE(stopped.Start());
        for (DWORD start = ::GetTickCount(); !PathExists(root) && ::GetTickCount() - start < 20000;) {
        }
        stopped.Stop(0);
        ASSERT_TRUE(next.Start());
        ASSERT_TRUE(WaitFor([&] { return next.IsFinished(-1); }));
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(next.GetFilePath(0).GetString(), &bytes));
        EXPECT_TRUE(bytes == BodyPattern(size)) << "file of " << bytes.size() << " bytes";
        // The stopped worker goes on to its end by itself, and takes its file with it.
        EXPECT_TRUE(WaitFor([&] { return !PathExists(stopped.GetFilePath(0).GetString()); }));
    }
    RemoveTree(root);
}
