// lumaspire.scr started as the system starts it: run modes, window shapes, closing.
#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"

namespace {

const DWORD kMinusOne = static_cast<DWORD>(-1);

std::string HandleText(HWND hWnd)
{
    return std::to_string(static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hWnd)));
}

// A plain top-level window of the test: preview parent or dialog owner.
class TestWindow {
public:
    explicit TestWindow(const char* title = "LumaspireTestWindow")
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = Proc;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
            wc.lpszClassName = "LumaspireTestWindow";
            registered = ::RegisterClassA(&wc) != 0;
        }
        m_hWnd = ::CreateWindowExA(0, "LumaspireTestWindow", title, WS_POPUP | WS_VISIBLE, 50, 60, 320, 240,
                                   nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TestWindow()
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    HWND m_hWnd = nullptr;
    UINT m_contextMenus = 0;
    WPARAM m_lastWParam = 0;
    LPARAM m_lastLParam = 0;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
        if (self && message == WM_CONTEXTMENU) {
            ++self->m_contextMenus;
            self->m_lastWParam = wParam;
            self->m_lastLParam = lParam;
            return 0;
        }
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
};

class HostEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ReadyForSaver(); }

    bool StaysRunning(SaverProcess& p, DWORD ms = 700)
    {
        PumpFor(ms);
        return p.Running();
    }

    ScopedSettingsKey m_settings;
};

}  // namespace

TEST_F(HostEndToEnd, SwitchesWithoutAModeOrAValidWindowExitWithMinusOne)
{
    EXPECT_EQ(kMinusOne, RunSaver("/x"));
    EXPECT_EQ(kMinusOne, RunSaver("-Q"));
    EXPECT_EQ(kMinusOne, RunSaver("/p"));
    EXPECT_EQ(kMinusOne, RunSaver("/p 0"));
    EXPECT_EQ(kMinusOne, RunSaver("/p abc"));
    EXPECT_EQ(kMinusOne, RunSaver("/a"));  // password change exists only on Windows 95/98/Me

    HWND stale = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ::DestroyWindow(stale);
    EXPECT_EQ(kMinusOne, RunSaver("/p " + HandleText(stale)));
    EXPECT_EQ(nullptr, ::FindWindowA(kSaverWindowClass, nullptr));
}

TEST_F(HostEndToEnd, FullScreenWindowCoversTheScreenOnTopWithTheCursorHidden)
{
    SaverProcess p;
    HWND hWnd = StartFullScreen(p);
    ASSERT_NE(nullptr, hWnd);

    LONG style = ::GetWindowLongA(hWnd, GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(WS_POPUP | WS_VISIBLE), style & (WS_POPUP | WS_VISIBLE | WS_CHILD | WS_CAPTION));
    EXPECT_TRUE(::GetWindowLongA(hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT rc;
    ::GetWindowRect(hWnd, &rc);
    // Every monitor: the virtual screen (the primary screen where there is one).
    EXPECT_EQ(::GetSystemMetrics(SM_XVIRTUALSCREEN), rc.left);
    EXPECT_EQ(::GetSystemMetrics(SM_YVIRTUALSCREEN), rc.top);
    EXPECT_EQ(::GetSystemMetrics(SM_CXVIRTUALSCREEN), rc.right - rc.left);
    EXPECT_EQ(::GetSystemMetrics(SM_CYVIRTUALSCREEN), rc.bottom - rc.top);

    CURSORINFO ci = {};
    ci.cbSize = sizeof(ci);
    ASSERT_TRUE(PumpUntil([&] { return ::GetCursorInfo(&ci) && !ci.hCursor; }, 3000))
        << "cursor " << ci.hCursor << " flags " << ci.flags;

    // The title never changes: a second start finds the saver by it.
    DWORD_PTR result = 1;
    ::SendMessageTimeoutA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Changed"), SMTO_BLOCK, 5000, &result);
    EXPECT_EQ(0u, result);
    char title[64] = {};
    ::GetWindowTextA(hWnd, title, sizeof(title));
    EXPECT_STREQ("Screen Saver", title);

    PressKey(VK_SPACE);
    EXPECT_EQ(0u, p.WaitExit(10000));
}

TEST_F(HostEndToEnd, SecondFullScreenStartOnlyBringsTheFirstForward)
{
    SaverProcess first;
    HWND hWnd = StartFullScreen(first);
    ASSERT_NE(nullptr, hWnd);
    EXPECT_EQ(0u, RunSaver("/s"));
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(hWnd, ::FindWindowA(kSaverWindowClass, nullptr));
    EXPECT_EQ(nullptr, ::FindWindowExA(nullptr, hWnd, kSaverWindowClass, nullptr));  // no second window
    EXPECT_EQ(hWnd, ::GetForegroundWindow());
    PressKey(VK_RETURN);
    EXPECT_EQ(0u, first.WaitExit(10000));
}

TEST_F(HostEndToEnd, MouseTravelOfFourPixelsKeepsTheSaverAndFiveCloseIt)
{
    SaverProcess p;
    ASSERT_NE(nullptr, StartFullScreen(p));
    MoveMouseTo(102, 102);  // 2 + 2
    EXPECT_TRUE(StaysRunning(p));
    MoveMouseTo(101, 99);   // small moves add up against the same reference: 1 + 1
    EXPECT_TRUE(StaysRunning(p));
    MoveMouseTo(103, 102);  // 3 + 2
    EXPECT_EQ(0u, p.WaitExit(10000));
}

TEST_F(HostEndToEnd, KeyOrClickClosesTheFullScreenSaver)
{
    {
        SaverProcess p;
        ASSERT_NE(nullptr, StartFullScreen(p));
        PressKey('A');
        EXPECT_EQ(0u, p.WaitExit(10000));
    }
    {
        SaverProcess p;
        ASSERT_NE(nullptr, StartFullScreen(p));
        ClickLeft();
        EXPECT_EQ(0u, p.WaitExit(10000));
    }
}

// Power news: the machine going to sleep closes the saver; a setting change (the display
// off or dimmed, which the saver may ask to hear of) or the battery's state does not.
TEST_F(HostEndToEnd, SuspendClosesTheSaverAndOtherPowerNewsDoesNot)
{
    ScopedRegValue noClip(kSaverSettingsKey, "Movie File Path", "");
    const WPARAM closing[] = { PBT_APMSUSPEND, PBT_APMQUERYSUSPEND };
    for (WPARAM suspend : closing) {
        SCOPED_TRACE(suspend);
        SaverProcess p;
        HWND hWnd = StartFullScreen(p);
        ASSERT_NE(nullptr, hWnd);
        for (WPARAM news : { WPARAM(PBT_POWERSETTINGCHANGE), WPARAM(PBT_APMPOWERSTATUSCHANGE),
                             WPARAM(PBT_APMRESUMEAUTOMATIC) })
            ::PostMessageA(hWnd, WM_POWERBROADCAST, news, 0);
        EXPECT_TRUE(StaysRunning(p, 1500));
        ::PostMessageA(hWnd, WM_POWERBROADCAST, suspend, 0);
        EXPECT_EQ(0u, p.WaitExit(10000));
    }
}

TEST_F(HostEndToEnd, AutoPlayQueryIsNotTheSaversBusinessOnNtButAnotherActiveWindowCloses)
{
    TestWindow other("other");
    ASSERT_NE(nullptr, other.m_hWnd);
    // No clip: no playback thread in the middle of opening one, which would keep a
    // closing saver alive for a while and hide a close.
    ScopedRegValue noClip(kSaverSettingsKey, "Movie File Path", "");
    SaverProcess p;
    HWND hWnd = StartFullScreen(p);
    ASSERT_NE(nullptr, hWnd);
    ASSERT_EQ(hWnd, ::GetForegroundWindow());

    // No AutoPlay message is registered on NT-based systems: the query is an unknown
    // message to the saver, answered by the system's default and closing nothing.
    const UINT autoPlay = ::RegisterWindowMessageA("QueryCancelAutoPlay");
    DWORD_PTR result = 12345;
    ASSERT_TRUE(::SendMessageTimeoutA(hWnd, autoPlay, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    EXPECT_EQ(0u, result);
    EXPECT_TRUE(StaysRunning(p, 1500));

    // Another application's window becoming active closes the saver.
    ::SetForegroundWindow(other.m_hWnd);
    EXPECT_EQ(0u, p.WaitExit(10000));
}

class PreviewEndToEnd : public HostEndToEnd, public ::testing::WithParamInterface<const char*> {};

TEST_P(PreviewEndToEnd, ChildFillsTheParentIgnoresInputAndForwardsTheContextMenu)
{
    TestWindow parent;
    ASSERT_NE(nullptr, parent.m_hWnd);
    SaverProcess p;
    ASSERT_TRUE(p.Start(GetParam() + HandleText(parent.m_hWnd)));
    HWND child = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (child = ::FindWindowExA(parent.m_hWnd, nullptr, kSaverWindowClass, "Preview")) != nullptr; },
                          15000));

    EXPECT_TRUE(::GetWindowLongA(child, GWL_STYLE) & WS_CHILD);
    RECT parentClient, childRect;
    ::GetClientRect(parent.m_hWnd, &parentClient);
    ::GetWindowRect(child, &childRect);
    ::MapWindowPoints(nullptr, parent.m_hWnd, reinterpret_cast<POINT*>(&childRect), 2);
    EXPECT_EQ(0, childRect.left);
    EXPECT_EQ(0, childRect.top);
    EXPECT_EQ(parentClient.right, childRect.right);
    EXPECT_EQ(parentClient.bottom, childRect.bottom);

    ::PostMessageA(child, WM_KEYDOWN, 'A', 0);
    ::PostMessageA(child, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(StaysRunning(p));
    ::PostMessageA(child, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(child), MAKELPARAM(7, 9));
    ASSERT_TRUE(PumpUntil([&] { return parent.m_contextMenus > 0; }, 5000));
    EXPECT_EQ(reinterpret_cast<WPARAM>(parent.m_hWnd), parent.m_lastWParam);
    EXPECT_EQ(MAKELPARAM(7, 9), parent.m_lastLParam);

    ::DestroyWindow(parent.m_hWnd);
    EXPECT_EQ(0u, p.WaitExit(10000));
}

INSTANTIATE_TEST_SUITE_P(Switches, PreviewEndToEnd, ::testing::Values("/p ", "/p", "/l ", "-P  "));

class ConfigEndToEnd : public HostEndToEnd {
protected:
    // Opens the configuration dialog with args and returns its owner; closes it again.
    HWND OwnerOfDialog(const std::string& args)
    {
        SaverProcess p;
        if (!p.Start(args))
            return reinterpret_cast<HWND>(-1);
        HWND hDlg = WaitForProcessWindow(p.Id(), "#32770", 15000);
        if (!hDlg)
            return reinterpret_cast<HWND>(-1);
        char title[64] = {};
        ::GetWindowTextA(hDlg, title, sizeof(title));
        EXPECT_STREQ("Tollvane Lumaspire", title);
        HWND owner = ::GetWindow(hDlg, GW_OWNER);
        ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(0u, p.WaitExit(10000));
        return owner;
    }
};

TEST_F(ConfigEndToEnd, DialogIsOwnedByTheGivenOrTheForegroundWindow)
{
    TestWindow foreground("foreground");
    TestWindow other("other");
    auto ownerWithForeground = [&](const std::string& args) {
        ::SetForegroundWindow(foreground.m_hWnd);
        PumpUntil([&] { return ::GetForegroundWindow() == foreground.m_hWnd; }, 2000);
        return OwnerOfDialog(args);
    };

    EXPECT_EQ(nullptr, ownerWithForeground(""));
    EXPECT_EQ(nullptr, ownerWithForeground(" - / "));
    EXPECT_EQ(foreground.m_hWnd, ownerWithForeground("/c"));
    EXPECT_EQ(foreground.m_hWnd, ownerWithForeground("/C:"));
    EXPECT_EQ(foreground.m_hWnd, ownerWithForeground("/c:0"));
    EXPECT_EQ(other.m_hWnd, ownerWithForeground("/c:" + HandleText(other.m_hWnd)));
    EXPECT_EQ(foreground.m_hWnd, ownerWithForeground("/c " + HandleText(other.m_hWnd)));
}
