// The window bridge creates both objects and attaches the window before the first
// message is dispatched; the dialog bridge answers WM_INITDIALOG itself; the host's
// filter keeps some system commands from the application.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        if (message == WM_SYSCOMMAND) {
            m_sysCommands.push_back(wParam);
            return 0;  // consumed: the test window must not really switch or close
        }
        return CScreenSaverWnd::WindowProc(message, wParam, lParam);
    }
    void Restart() override { g_log += "restart;"; }
    bool m_sawFirst = false;
    std::vector<WPARAM> m_sysCommands;
};

class TestDlg : public CScreenSaverDlg {
public:
    BOOL OnInitDialog() override
    {
        g_log += "OnInitDialog;";
        return FALSE;  // "focus set": a value the bridge's own fallback (1) never gives
    }
};

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

// Drops both objects without the last message, which would end this process.
void ResetApp()
{
    for (CWnd* pWnd : { static_cast<CWnd*>(theTestApp.m_pSaverWnd), static_cast<CWnd*>(theTestApp.m_pConfigDlg) }) {
        if (pWnd) {
            pWnd->Detach();
            delete pWnd;
        }
    }
    theTestApp.m_pSaverWnd = nullptr;
    theTestApp.m_pConfigDlg = nullptr;
    theTestApp.m_pMainWnd = nullptr;
    g_log.clear();
}

// Destroys a window of the test without its last messages reaching a bridge.
void DestroyQuietly(HWND hWnd)
{
    ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(::DefWindowProcA));
    ::DestroyWindow(hWnd);
}

}  // namespace

TEST(SaverWindowBridge, FirstMessageCreatesObjectsInOrderThenCreateLoadsAndRestarts)
{
    ResetApp();
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

    DestroyQuietly(hWnd);
    ResetApp();
}

TEST(HostWindowProc, FullScreenSwallowsWindowSwitchAndScreenSaveCommands)
{
    ResetApp();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "HostFilterTestClass";
    ASSERT_TRUE(::RegisterClassA(&wc));
    struct Case {
        bool preview;
        WPARAM command;
        bool reachesApplication;
    };
    const Case cases[] = {
        { false, SC_SCREENSAVE, false },
        { false, SC_NEXTWINDOW, false },
        { false, SC_PREVWINDOW, false },
        { false, SC_MINIMIZE, true },
        { false, SC_SCREENSAVE + 1, true },  // the values themselves, not a mask
        { true, SC_SCREENSAVE, true },       // the preview passes everything on
        { true, SC_NEXTWINDOW, true },
    };
    const SaverHostState saved = g_saverHost;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.preview) + " " + std::to_string(c.command));
        g_saverHost.preview = c.preview;
        // Never shown: it gets no activation or input that could ask it to close.
        HWND hWnd = ::CreateWindowExA(0, "HostFilterTestClass", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      wc.hInstance, nullptr);
        ASSERT_NE(nullptr, hWnd);
        auto* pWnd = static_cast<TestSaverWnd*>(theTestApp.m_pSaverWnd);
        ASSERT_NE(nullptr, pWnd);
        EXPECT_EQ(0, ::SendMessageA(hWnd, WM_SYSCOMMAND, c.command, 0));
        EXPECT_EQ(c.reachesApplication ? 1u : 0u, pWnd->m_sysCommands.size());
        DestroyQuietly(hWnd);
        ResetApp();
    }
    g_saverHost = saved;
    ::UnregisterClassA("HostFilterTestClass", wc.hInstance);
}

TEST(DialogBridge, InitDialogGoesToTheDialogObjectOfTheHandleOrAnswersOne)
{
    ResetApp();
    // The first message creates the objects and attaches the dialog, then WM_INITDIALOG
    // reaches the attached dialog object's OnInitDialog, whose result is returned.
    HWND hDlg = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hDlg);
    EXPECT_EQ(0, DialogBridge(hDlg, WM_INITDIALOG, 0, 0));
    EXPECT_EQ("CreateConfigDialog;CreateSaverWindow;InitInstance;OnInitDialog;", g_log);
    ASSERT_NE(nullptr, theTestApp.m_pConfigDlg);
    EXPECT_EQ(hDlg, theTestApp.m_pConfigDlg->m_hWnd);
    EXPECT_EQ(nullptr, theTestApp.m_pSaverWnd->m_hWnd);  // never attached in this mode

    // A handle whose object is no dialog, and one with no object at all: 1, and no
    // dialog object is asked.
    HWND hOther = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND hBare = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    CWnd notADialog;
    ASSERT_TRUE(notADialog.Attach(hOther));
    g_log.clear();
    EXPECT_EQ(1, DialogBridge(hOther, WM_INITDIALOG, 0, 0));
    EXPECT_EQ(1, DialogBridge(hBare, WM_INITDIALOG, 0, 0));
    EXPECT_EQ("", g_log);

    notADialog.Detach();
    ::DestroyWindow(hOther);
    ::DestroyWindow(hBare);
    ResetApp();
    ::DestroyWindow(hDlg);
}
