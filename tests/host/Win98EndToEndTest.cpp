// lumaspire.scr under a Windows 98 identity: the screen-saver password provider, the
// AutoPlay query and the password change. Wine reports platform 1 for one executable
// name only, so the saver runs here as a renamed copy, with stand-ins of the provider
// (PASSWORD.CPL) and of MPR.DLL, which log each call to a file, in the system folder
// where Windows 98 keeps them and the saver looks for them.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/TestSupport.h"

namespace {

const char kExeName[] = "lumaspire98.scr";
const char kDesktopKey[] = "Control Panel\\Desktop";
const char kAppDefaults[] = "Software\\Wine\\AppDefaults\\lumaspire98.scr";
const char kAppX11Driver[] = "Software\\Wine\\AppDefaults\\lumaspire98.scr\\X11 Driver";
const char kAppDllOverrides[] = "Software\\Wine\\AppDefaults\\lumaspire98.scr\\DllOverrides";

std::string SystemDir()
{
    char dir[MAX_PATH] = {};
    UINT n = ::GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir, n) + "\\";
}

std::string HandleText(HWND hWnd)
{
    return std::to_string(static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hWnd)));
}

// Lines of the stand-ins' log that start with prefix ("verify " or "change ").
std::vector<std::string> LogLines(const std::string& path, const char* prefix)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, strlen(prefix), prefix) == 0)
            lines.push_back(line);
    }
    return lines;
}

// The system's screen-saver-running flag as Wine keeps it for this session: "1" on,
// "0" off, "" when nobody has set it since the key was cleared.
const char kSystemParameters[] = "Software\\Wine\\Temporary System Parameters\\Control Panel\\Desktop";

std::string SaverRunningFlag()
{
    char value[16] = {};
    DWORD size = sizeof(value) - 1;
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSystemParameters, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return "";
    if (::RegQueryValueExA(hKey, "WINE_ScreenSaverRunning", nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                           &size) != ERROR_SUCCESS)
        value[0] = '\0';
    ::RegCloseKey(hKey);
    return value;
}

void ClearSaverRunningFlag()
{
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSystemParameters, 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS) {
        ::RegDeleteValueA(hKey, "WINE_ScreenSaverRunning");
        ::RegCloseKey(hKey);
    }
}

bool CursorHidden()
{
    CURSORINFO ci = {};
    ci.cbSize = sizeof(ci);
    return ::GetCursorInfo(&ci) && !ci.hCursor;
}

// A plain top-level window of the test, to be the foreground window or an owner.
class OwnerWindow {
public:
    explicit OwnerWindow(int x)
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = ::DefWindowProcA;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
            wc.lpszClassName = "Lumaspire98Owner";
            registered = ::RegisterClassA(&wc) != 0;
        }
        m_hWnd = ::CreateWindowExA(0, "Lumaspire98Owner", "owner", WS_POPUP | WS_VISIBLE, x, 60, 200, 150,
                                   nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    }
    ~OwnerWindow()
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    bool MakeForeground() const
    {
        ::SetForegroundWindow(m_hWnd);
        return PumpUntil([&] { return ::GetForegroundWindow() == m_hWnd; }, 3000);
    }
    HWND m_hWnd = nullptr;
};

class Win98EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char temp[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, temp);
        s_dir = std::string(temp) + "lumaspire98\\";
        ::CreateDirectoryA(s_dir.c_str(), nullptr);
        // Wine's own mpr.dll waits beside the saver and comes back after the suite.
        s_copied = ::CopyFileA(SaverPath().c_str(), (s_dir + kExeName).c_str(), FALSE) &&
                   ::CopyFileA((SystemDir() + "mpr.dll").c_str(), (s_dir + "mpr.dll.wine").c_str(), FALSE) &&
                   ::CopyFileA((ExeDir() + "PASSWORD.CPL").c_str(), (SystemDir() + "PASSWORD.CPL").c_str(), FALSE) &&
                   ::CopyFileA((ExeDir() + "MPR.DLL").c_str(), (SystemDir() + "mpr.dll").c_str(), FALSE);
    }
    static void TearDownTestSuite()
    {
        ::DeleteFileA((SystemDir() + "PASSWORD.CPL").c_str());
        if (::CopyFileA((s_dir + "mpr.dll.wine").c_str(), (SystemDir() + "mpr.dll").c_str(), FALSE))
            ::DeleteFileA((s_dir + "mpr.dll.wine").c_str());
        for (const char* name : { kExeName, "calls.log" })
            ::DeleteFileA((s_dir + name).c_str());
        ::RemoveDirectoryA(s_dir.c_str());
        // Only this test's copy of the saver uses these keys.
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kAppX11Driver);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kAppDllOverrides);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kAppDefaults);
    }

    void SetUp() override
    {
        if (!RunningUnderWine())
            GTEST_SKIP() << "the Windows 98 identity is a Wine setting";
        ASSERT_TRUE(s_copied) << "could not copy the saver and the stand-ins to " << s_dir;
        m_version.reset(new ScopedRegValue(kAppDefaults, "Version", "win98"));
        // A full-screen window makes Wine confine the pointer with an X grab; the test's
        // injected moves then leave the X pointer behind, and the saver's GetCursorPos
        // falls back to that stale position 100 ms after the last move.
        m_noGrab.reset(new ScopedRegValue(kAppX11Driver, "GrabPointer", "N"));
        m_log = s_dir + "calls.log";
        ::DeleteFileA(m_log.c_str());
        ReadyForSaver();
    }

    std::vector<std::string> Env(const char* password = nullptr) const
    {
        std::vector<std::string> env = { "LUMASPIRE_TEST_LOG=" + m_log };
        if (password)
            env.push_back(std::string("LUMASPIRE_TEST_PASSWORD=") + password);
        return env;
    }

    // Starts the full-screen saver with the password switched on or off.
    HWND StartWithPassword(SaverProcess& p, DWORD usePassword, const char* password)
    {
        // The earlier value is put back first, so the new one is not overwritten by it.
        m_usePassword.reset();
        m_usePassword.reset(new ScopedRegValue(kDesktopKey, "ScreenSaveUsePassword", usePassword));
        return StartFullScreen(p, s_dir + kExeName, Env(password));
    }

    size_t Verifies() const { return LogLines(m_log, "verify ").size(); }
    // Waits for the provider to have been asked n times in all.
    bool AskedTimes(size_t n, DWORD timeoutMs = 5000) const
    {
        return PumpUntil([&] { return Verifies() >= n; }, timeoutMs) && Verifies() == n;
    }

    static std::string s_dir;
    static bool s_copied;
    std::string m_log;
    std::unique_ptr<ScopedRegValue> m_version;
    std::unique_ptr<ScopedRegValue> m_noGrab;
    std::unique_ptr<ScopedRegValue> m_usePassword;
    ScopedSettingsKey m_settings;
};

std::string Win98EndToEnd::s_dir;
bool Win98EndToEnd::s_copied = false;

}  // namespace

TEST_F(Win98EndToEnd, WrongPasswordKeepsTheSaverAndMovesTheMouseReference)
{
    SaverProcess p;
    HWND hWnd = StartWithPassword(p, 1, "0");
    ASSERT_NE(nullptr, hWnd);

    MoveMouseTo(102, 102);  // 2 + 2: no request, the reference stays at 100,100
    PumpFor(300);
    EXPECT_EQ(0u, Verifies());

    PressKey(VK_SPACE);
    ASSERT_TRUE(AskedTimes(1));
    EXPECT_EQ("verify " + HandleText(hWnd), LogLines(m_log, "verify ")[0]);
    PumpFor(500);
    EXPECT_TRUE(p.Running());
    EXPECT_EQ(hWnd, ::FindWindowA(kSaverWindowClass, kSaverFullScreenTitle));
    EXPECT_TRUE(CursorHidden());
    EXPECT_EQ(1u, Verifies()) << "one key press, one password dialog";

    // The refusal took 102,102 as the new reference: 2 + 2 from there is not enough...
    MoveMouseTo(104, 104);
    PumpFor(700);
    EXPECT_EQ(1u, Verifies()) << ReadAll(m_log);
    // ...and 3 + 2 asks again.
    MoveMouseTo(105, 104);
    EXPECT_TRUE(AskedTimes(2));
    PumpFor(300);
    EXPECT_TRUE(p.Running());
}

TEST_F(Win98EndToEnd, CloseRequestRightAfterTheDialogIsRefusedWithoutAsking)
{
    // The provider queues another key press before it returns "wrong".
    SaverProcess p;
    ASSERT_NE(nullptr, StartWithPassword(p, 1, "0+key"));
    PressKey(VK_SPACE);
    ASSERT_TRUE(AskedTimes(1));
    PumpFor(700);
    EXPECT_EQ(1u, Verifies()) << "the queued key press came within 200 ms and must not ask again";
    EXPECT_TRUE(p.Running());
    EXPECT_TRUE(CursorHidden());

    // Later input asks again.
    PressKey(VK_SPACE);
    EXPECT_TRUE(AskedTimes(2));
    PumpFor(300);
    EXPECT_TRUE(p.Running());
}

TEST_F(Win98EndToEnd, RightPasswordClosesTheSaverAndTheSystemKeysComeBack)
{
    ClearSaverRunningFlag();
    SaverProcess p;
    HWND hWnd = StartWithPassword(p, 1, "1");
    ASSERT_NE(nullptr, hWnd);
    // While the password is in force, Ctrl+Alt+Del and Alt+Tab are off...
    EXPECT_EQ("1", SaverRunningFlag());
    PressKey('A');
    EXPECT_EQ(0u, p.WaitExit(10000));
    ASSERT_EQ(1u, Verifies());
    EXPECT_EQ("verify " + HandleText(hWnd), LogLines(m_log, "verify ")[0]);
    // ...and on again once the saver has gone.
    EXPECT_EQ("0", SaverRunningFlag());
}

TEST_F(Win98EndToEnd, WithoutThePasswordSettingAKeyClosesWithoutAsking)
{
    ClearSaverRunningFlag();
    SaverProcess p;
    ASSERT_NE(nullptr, StartWithPassword(p, 0, "0"));
    PressKey(VK_SPACE);
    EXPECT_EQ(0u, p.WaitExit(10000));
    EXPECT_EQ(0u, Verifies());
    EXPECT_EQ("", SaverRunningFlag()) << "no password, so the system keys were never switched off";
}

TEST_F(Win98EndToEnd, InputAndCloseRequestsWhileThePasswordDialogIsOpenAreRefused)
{
    // The stand-in's dialog pumps messages, and a key press and a WM_CLOSE for the saver
    // arrive while it is open: neither may ask to close again or destroy the window.
    struct Case {
        const char* password;
        bool closes;
    };
    for (const Case& c : { Case{ "0+dialog", false }, Case{ "1+dialog", true } }) {
        SCOPED_TRACE(c.password);
        ::DeleteFileA(m_log.c_str());
        SaverProcess p;
        ASSERT_NE(nullptr, StartWithPassword(p, 1, c.password));
        PressKey(VK_SPACE);
        ASSERT_TRUE(PumpUntil([&] { return !LogLines(m_log, "dialog ").empty(); }, 10000)) << ReadAll(m_log);
        // One WM_CLOSE (the injected one) and a window that outlived the dialog.
        EXPECT_EQ("dialog closes=1 alive=1", LogLines(m_log, "dialog ")[0]);
        if (c.closes) {
            EXPECT_EQ(0u, p.WaitExit(10000));
        } else {
            PumpFor(700);
            EXPECT_TRUE(p.Running());
            EXPECT_TRUE(CursorHidden());
        }
        EXPECT_EQ(1u, Verifies()) << ReadAll(m_log);
    }
}

TEST_F(Win98EndToEnd, AutoPlayQueryClosesTheSaverAndIsCancelledOnlyWithAPassword)
{
    const UINT msg = ::RegisterWindowMessageA("QueryCancelAutoPlay");
    ASSERT_NE(0u, msg);
    struct Case {
        DWORD usePassword;
        DWORD_PTR answer;
        size_t verifies;
    };
    for (const Case& c : { Case{ 1, 1, 1 }, Case{ 0, 0, 0 } }) {
        SCOPED_TRACE("ScreenSaveUsePassword=" + std::to_string(c.usePassword));
        ::DeleteFileA(m_log.c_str());
        SaverProcess p;
        HWND hWnd = StartWithPassword(p, c.usePassword, "1");
        ASSERT_NE(nullptr, hWnd);
        DWORD_PTR result = 12345;
        ASSERT_TRUE(::SendMessageTimeoutA(hWnd, msg, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
        EXPECT_EQ(c.answer, result);
        EXPECT_EQ(0u, p.WaitExit(10000));
        EXPECT_EQ(c.verifies, Verifies());
    }
}

TEST_F(Win98EndToEnd, PasswordChangeGoesToMprWithTheGivenOrTheForegroundWindow)
{
    OwnerWindow foreground(400);
    OwnerWindow other(650);
    ASSERT_NE(nullptr, foreground.m_hWnd);
    ASSERT_NE(nullptr, other.m_hWnd);
    HWND stale = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ::DestroyWindow(stale);

    // The stand-in MPR.DLL rather than Wine's own. Wine 10 reads
    // WINEDLLOVERRIDES only from the Unix environment it was started with, not from
    // the block a Windows parent hands to CreateProcess, so the override goes
    // into the registry, for this executable only.
    ScopedRegValue nativeMpr(kAppDllOverrides, "mpr", "native");
    struct Case {
        std::string args;
        HWND owner;
    };
    const Case cases[] = {
        { "/a", foreground.m_hWnd },
        { "-A " + HandleText(other.m_hWnd), other.m_hWnd },
        { "/a" + HandleText(other.m_hWnd), other.m_hWnd },
        { "/a " + HandleText(stale), foreground.m_hWnd },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ::DeleteFileA(m_log.c_str());
        ASSERT_TRUE(foreground.MakeForeground());
        SaverProcess p;
        ASSERT_TRUE(p.Start(c.args, s_dir + kExeName, Env()));
        EXPECT_EQ(0u, p.WaitExit(15000));
        std::vector<std::string> calls = LogLines(m_log, "change ");
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ("change SCRSAVE " + HandleText(c.owner) + " 0", calls[0].substr(0, calls[0].rfind(' ')));
    }
    EXPECT_EQ(nullptr, ::FindWindowA(kSaverWindowClass, nullptr));
}
