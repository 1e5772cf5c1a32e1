#include "host/ScreenSaverApp.h"

#include "host/DefaultSaverProc.h"

IMPLEMENT_DYNAMIC(CScreenSaverWnd, CWnd)

BEGIN_MESSAGE_MAP(CScreenSaverWnd, CWnd)
    ON_WM_CREATE()
    ON_WM_ERASEBKGND()
    ON_WM_PAINT()
END_MESSAGE_MAP()

LRESULT CScreenSaverWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CScreenSaverWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefaultSaverProc(m_hWnd, message, wParam, lParam);
}

void CScreenSaverWnd::OnDraw(CDC*) {}
void CScreenSaverWnd::Restart() {}

int CScreenSaverWnd::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    if (CWnd::OnCreate(lpCreateStruct) == -1)
        return -1;
    CScreenSaverApp* pApp = GetScreenSaverApp();
    if (pApp && pApp->LoadSettings()) {
        Restart();
        return 0;
    }
    return -1;  // without settings there is no saver window
}

BOOL CScreenSaverWnd::OnEraseBkgnd(CDC* pDC)
{
    if (m_bEraseBackground) {
        RECT rc;
        GetClientRect(&rc);
        pDC->FillSolidRect(&rc, RGB(0, 0, 0));
    }
    return TRUE;
}

void CScreenSaverWnd::OnPaint()
{
    CPaintDC dc(this);
    OnDraw(&dc);
}

IMPLEMENT_DYNAMIC(CScreenSaverDlg, CDialog)

BEGIN_MESSAGE_MAP(CScreenSaverDlg, CDialog)
    ON_WM_NCDESTROY()
    ON_WM_CREATE()
END_MESSAGE_MAP()

LRESULT CScreenSaverDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CScreenSaverDlg::DefWindowProc(UINT, WPARAM, LPARAM)
{
    return 0;  // a dialog procedure leaves what it does not handle to the dialog manager
}

int CScreenSaverDlg::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    return CWnd::OnCreate(lpCreateStruct) == -1 ? -1 : 0;
}

BOOL CScreenSaverDlg::OnInitDialog()
{
    CScreenSaverApp* pApp = GetScreenSaverApp();
    if (!pApp || !pApp->LoadSettings())
        DestroyWindow();
    return CDialog::OnInitDialog();
}
