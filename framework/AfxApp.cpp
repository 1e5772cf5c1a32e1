#include "framework/AfxApp.h"

namespace {
AFX_MODULE_STATE g_moduleState = { nullptr, nullptr };
}

CWinApp::CWinApp(const char* pszAppName)
    : m_hInstance(nullptr), m_lpCmdLine(nullptr), m_nCmdShow(0), m_pszAppName(pszAppName),
      m_pMainWnd(nullptr)
{
    g_moduleState.m_pCurrentWinApp = this;
}

CWinApp::~CWinApp()
{
    if (g_moduleState.m_pCurrentWinApp == this)
        g_moduleState.m_pCurrentWinApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance()
{
    m_pMainWnd = nullptr;
    return 0;
}

AFX_MODULE_STATE* AfxGetModuleState() { return &g_moduleState; }
CWinApp* AfxGetApp() { return g_moduleState.m_pCurrentWinApp; }

CWnd* AfxGetMainWnd()
{
    CWinApp* pApp = AfxGetApp();
    return pApp ? pApp->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle() { return g_moduleState.m_hCurrentInstanceHandle; }

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE, const char* lpCmdLine, int nCmdShow)
{
    g_moduleState.m_hCurrentInstanceHandle = hInstance;
    CWinApp* pApp = AfxGetApp();
    if (pApp) {
        pApp->m_hInstance = hInstance;
        pApp->m_lpCmdLine = lpCmdLine;
        pApp->m_nCmdShow = nCmdShow;
    }
    return TRUE;
}

void AfxWinTerm()
{
    g_moduleState.m_hCurrentInstanceHandle = nullptr;
}

void AfxEnableControlContainer()
{
    // No ActiveX controls are hosted: there is nothing to set up.
}
