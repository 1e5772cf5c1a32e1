#include "app/ClipSaverApp.h"

#include <new>

#include "playback/ClipSaverWnd.h"
#include "settings/SettingsDlg.h"

// The one application object, constructed before the process entry runs.
static CClipSaverApp theApp;

CClipSaverApp::CClipSaverApp() : CScreenSaverApp("Tollvane Lumaspire") {}

BOOL CClipSaverApp::InitInstance()
{
    AfxEnableControlContainer();
    return TRUE;
}

int CClipSaverApp::ExitInstance()
{
    delete m_pSaverWnd;
    m_pSaverWnd = nullptr;
    delete m_pConfigDlg;
    m_pConfigDlg = nullptr;
    return CWinApp::ExitInstance();
}

CScreenSaverWnd* CClipSaverApp::CreateSaverWindow()
{
    CClipSaverWnd* pWnd = new (std::nothrow) CClipSaverWnd(&m_bPlaying);
    if (pWnd)
        pWnd->SetEraseBackground(TRUE);
    return pWnd;
}

CScreenSaverDlg* CClipSaverApp::CreateConfigDialog()
{
    return new (std::nothrow) CSettingsDlg;
}

bool CClipSaverApp::SaveSettings()
{
    CSettingsDlg* pSettings = GetSettings();
    return pSettings && pSettings->SaveSettings();
}

bool CClipSaverApp::LoadSettings()
{
    CSettingsDlg* pSettings = GetSettings();
    return pSettings && pSettings->LoadSettings();
}
