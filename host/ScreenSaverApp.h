// The application object of a screen saver and the framework classes that the host's
// window and dialog are attached to.
#pragma once

#include "framework/Afx.h"

class CScreenSaverWnd;
class CScreenSaverDlg;

class CScreenSaverApp : public CWinApp {
public:
    explicit CScreenSaverApp(const char* pszAppName) : CWinApp(pszAppName) {}

    virtual CScreenSaverWnd* CreateSaverWindow() = 0;
    virtual CScreenSaverDlg* CreateConfigDialog() = 0;
    virtual bool SaveSettings() { return true; }
    virtual bool LoadSettings() { return true; }

    CScreenSaverWnd* GetSaverWnd() const { return m_pSaverWnd; }
    CScreenSaverDlg* GetConfigDlg() const { return m_pConfigDlg; }

    CScreenSaverWnd* m_pSaverWnd = nullptr;    // owned
    CScreenSaverDlg* m_pConfigDlg = nullptr;   // owned; holds the settings in every mode
};

// The one application object of the process, or null.
inline CScreenSaverApp* GetScreenSaverApp()
{
    return static_cast<CScreenSaverApp*>(AfxGetApp());
}

class CScreenSaverWnd : public CWnd {
    DECLARE_DYNAMIC(CScreenSaverWnd)
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Whatever the handlers leave ends in the saver's default processing.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual void OnDraw(CDC* pDC);
    virtual void Restart();

    void SetEraseBackground(int bErase) { m_bEraseBackground = bErase; }

    int m_bEraseBackground = 1;

protected:
    int OnCreate(LPCREATESTRUCT lpCreateStruct);
    BOOL OnEraseBkgnd(CDC* pDC);
    void OnPaint();

    DECLARE_MESSAGE_MAP()
};

class CScreenSaverDlg : public CDialog {
    DECLARE_DYNAMIC(CScreenSaverDlg)
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;

protected:
    int OnCreate(LPCREATESTRUCT lpCreateStruct);

    DECLARE_MESSAGE_MAP()
};
