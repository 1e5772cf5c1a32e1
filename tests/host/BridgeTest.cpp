// The window bridge creates both objects and attaches the window before the first
// message is dispatched.
#include <gtest/gtest.h>

#include <string>

#include "host/SaverHost.h"
#include "host/ScreenSaverApp.h"

namespace {

std::string g_log;

class TestSaverWnd : public CScreenSaverWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (!m_sawFirst) {
            m_sawFirst = true;
            CScreenSaverApp* pApp = GetScreenSaverApp();
            g_log += "first:";
            g_log += (m_hWnd ? "attached," : "detached,");
            g_log += (pApp->m_pConfigDlg ? "dialog" : "nodialog");
            g_log += ";";
        }
        if (message == WM_CREATE)
            g_log += "create;";
        return CScreenSaverWnd::WindowProc(message, wParam, lParam);
    }
    void Restart() override { g_log += "restart;"; }
    bool m_sawFirst = false;
};

class TestDlg : public CScreenSaverDlg {};

class TestApp : public CScreenSaverApp {
public:
    TestApp() : CScreenSaverApp("test") {}
    CScreenSaverWnd* CreateSaverWindow() override
    {
        g_log += "CreateSaverWindow;";
        return new TestSaverWnd;
    }
    CScreenSaverDlg* CreateConfigDialog() override
    {
        g_log += "CreateConfigDialog;";
        return new TestDlg;
    }
    BOOL InitInstance() override
    {
        g_log += "InitInstance;";
        return TRUE;
    }
    bool LoadSettings() override
    {
        g_log += "LoadSettings;";
        return true;
    }
};

TestApp theTestApp;

LRESULT CALLBACK ForwardProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SaverWindowBridge(hWnd, message, wParam, lParam);
}

}  // namespace

TEST(SaverWindowBridge, FirstMessageCreatesObjectsInOrderThenCreateLoadsAndRestarts)
{
    g_saverHost.preview = true;  // keep the default processing from closing anything
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ForwardProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "BridgeTestClass";
    ASSERT_TRUE(::RegisterClassA(&wc));
    HWND hWnd = ::CreateWindowExA(0, "BridgeTestClass", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hWnd);

    EXPECT_EQ("CreateSaverWindow;CreateConfigDialog;InitInstance;first:attached,dialog;"
              "create;LoadSettings;restart;",
              g_log);
    ASSERT_NE(nullptr, theTestApp.m_pSaverWnd);
    EXPECT_EQ(hWnd, theTestApp.m_pSaverWnd->m_hWnd);
    EXPECT_EQ(theTestApp.m_pSaverWnd, theTestApp.m_pMainWnd);
    EXPECT_EQ(theTestApp.m_pSaverWnd, CWnd::FromHandlePermanent(hWnd));
    EXPECT_EQ(nullptr, theTestApp.m_pConfigDlg->m_hWnd);  // never attached in this mode

    // Leave without the last message reaching the bridge, which would end this process.
    ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(::DefWindowProcA));
    ::DestroyWindow(hWnd);
}
