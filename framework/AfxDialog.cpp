#include "framework/AfxDialog.h"

#include <climits>

#include "framework/AfxApp.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
    ON_MESSAGE(WM_DPICHANGED, HandleDpiChanged)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() : m_nIDTemplate(0), m_lpDialogTemplate(nullptr), m_pParentWnd(nullptr) {}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_lpDialogTemplate(nullptr), m_pParentWnd(pParentWnd)
{
}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATEA lpDialogTemplate, CWnd* pParentWnd)
{
    m_lpDialogTemplate = lpDialogTemplate;
    m_pParentWnd = pParentWnd;
    return lpDialogTemplate != nullptr;
}

HWND CDialog::ParentHandle(CWnd* pParentWnd) const
{
    if (pParentWnd)
        return pParentWnd->m_hWnd;
    // No explicit owner: the application's main window owns the dialog.
    CWnd* pMain = AfxGetMainWnd();
    return (pMain && pMain != this) ? pMain->m_hWnd : nullptr;
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE hInst = ::GetModuleHandleA(nullptr);
    HWND hParent = ParentHandle(m_pParentWnd);
    LPARAM self = reinterpret_cast<LPARAM>(this);
    if (m_lpDialogTemplate)
        return ::DialogBoxIndirectParamA(hInst, m_lpDialogTemplate, hParent, DialogProc, self);
    return ::DialogBoxParamA(hInst, MAKEINTRESOURCEA(m_nIDTemplate), hParent, DialogProc, self);
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParentWnd;
    HWND hWnd = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(nIDTemplate),
                                     ParentHandle(pParentWnd), DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return hWnd != nullptr;
}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATEA lpDialogTemplate, CWnd* pParentWnd)
{
    m_lpDialogTemplate = lpDialogTemplate;
    m_pParentWnd = pParentWnd;
    HWND hWnd = ::CreateDialogIndirectParamA(::GetModuleHandleA(nullptr), lpDialogTemplate,
                                             ParentHandle(pParentWnd), DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    return hWnd != nullptr;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd && message == WM_INITDIALOG) {
        pWnd = reinterpret_cast<CDialog*>(lParam);
        pWnd->Attach(hWnd);
    }
    if (!pWnd)
        return FALSE;  // messages before WM_INITDIALOG go to the dialog manager
    LRESULT result = AfxCallWndProc(pWnd, hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY)
        pWnd->Detach();
    return result;
}

LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM)
{
    return 0;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM)
{
    return OnInitDialog();
}

LRESULT CDialog::HandleDpiChanged(WPARAM, LPARAM lParam)
{
    const RECT* pSuggested = reinterpret_cast<const RECT*>(lParam);
    if (pSuggested)
        ::SetWindowPos(m_hWnd, nullptr, pSuggested->left, pSuggested->top, pSuggested->right - pSuggested->left,
                       pSuggested->bottom - pSuggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int nResult)
{
    if (m_hWnd)
        ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

void CDialog::DoDataExchange(CDataExchange*) {}

HWND CDataExchange::PrepareCtrl(int nIDC)
{
    if (m_bFailed)
        return nullptr;
    m_hWndLastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC);
    return m_hWndLastControl;
}

void CDataExchange::Fail()
{
    if (m_hWndLastControl) {
        // The user is asked to correct the field: it must be one that can be edited,
        // even when the dialog's own rules had switched it off.
        if (!::IsWindowEnabled(m_hWndLastControl))
            ::EnableWindow(m_hWndLastControl, TRUE);
        ::SetFocus(m_hWndLastControl);
        ::SendMessageA(m_hWndLastControl, EM_SETSEL, 0, -1);
    }
    m_bFailed = TRUE;
}

namespace {

CString WindowText(HWND hWnd)
{
    CString text;
    int cch = ::GetWindowTextLengthA(hWnd);
    char* buffer = cch > 0 ? text.GetBuffer(cch) : nullptr;
    if (buffer) {
        int got = ::GetWindowTextA(hWnd, buffer, cch + 1);
        text.ReleaseBuffer(got > 0 ? got : 0);
    }
    return text;
}

}  // namespace

int CWnd::GetDlgItemText(int nID, CString& rString) const
{
    rString = WindowText(::GetDlgItem(m_hWnd, nID));
    return rString.GetLength();
}

bool AfxParseUInt(const char* psz, UINT* pValue)
{
    if (!psz)
        return false;
    while (*psz == ' ' || *psz == '\t')
        ++psz;
    unsigned long long value = 0;
    int digits = 0;
    for (; *psz >= '0' && *psz <= '9'; ++psz, ++digits) {
        value = value * 10 + static_cast<unsigned>(*psz - '0');
        if (value > UINT_MAX)
            return false;  // too large for the field: ask again rather than wrap
    }
    while (*psz == ' ' || *psz == '\t')
        ++psz;
    if (digits == 0 || *psz != '\0')
        return false;
    *pValue = static_cast<UINT>(value);
    return true;
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (!hCtrl)
        return;
    if (pDX->m_bSaveAndValidate)
        value = WindowText(hCtrl);
    else
        ::SetWindowTextA(hCtrl, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value)
{
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (!hCtrl)
        return;
    if (pDX->m_bSaveAndValidate) {
        UINT parsed = 0;
        if (!AfxParseUInt(WindowText(hCtrl), &parsed)) {
            CWinApp* pApp = AfxGetApp();
            ::MessageBoxA(pDX->m_pDlgWnd->m_hWnd, "请输入一个正整数。",
                          pApp && pApp->m_pszAppName ? pApp->m_pszAppName : "",
                          MB_OK | MB_ICONEXCLAMATION);
            pDX->Fail();
            return;
        }
        value = parsed;
    } else {
        // Digits written from the end: ten at most, so the buffer always has room.
        char text[16];
        char* p = text + sizeof(text) - 1;
        *p = '\0';
        UINT rest = value;
        do {
            *--p = static_cast<char>('0' + rest % 10);
            rest /= 10;
        } while (rest);
        ::SetWindowTextA(hCtrl, p);
    }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (!hCtrl)
        return;
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(hCtrl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageA(hCtrl, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd)
        return;
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (hCtrl)
        rControl.Attach(hCtrl);
}
