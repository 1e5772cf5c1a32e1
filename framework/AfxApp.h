// The application object and the module state that finds it.
#pragma once

#include <windows.h>

#include "framework/AfxObject.h"

class CWnd;

class CWinApp : public CObject {
public:
    explicit CWinApp(const char* pszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    HINSTANCE m_hInstance;
    const char* m_lpCmdLine;
    int m_nCmdShow;
    const char* m_pszAppName;  // caption of the framework's own prompts
    CWnd* m_pMainWnd;
};

struct AFX_MODULE_STATE {
    // Read from every thread; set once by the static application object's constructor.
    CWinApp* m_pCurrentWinApp;
    HINSTANCE m_hCurrentInstanceHandle;
};

AFX_MODULE_STATE* AfxGetModuleState();
CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, const char* lpCmdLine, int nCmdShow);
void AfxWinTerm();
void AfxEnableControlContainer();
