// Dialogs from a resource id or an in-memory template, and the data exchange with
// their controls.
#pragma once

#include <windows.h>

#include "framework/AfxString.h"
#include "framework/AfxWin.h"

class CDataExchange;

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog();
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Modal: from the resource id, or from the template given to InitModalIndirect.
    BOOL InitModalIndirect(LPCDLGTEMPLATEA lpDialogTemplate, CWnd* pParentWnd = nullptr);
    virtual INT_PTR DoModal();
    // Modeless.
    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    BOOL CreateIndirect(LPCDLGTEMPLATEA lpDialogTemplate, CWnd* pParentWnd = nullptr);

    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // A dialog procedure answers 0 for what it leaves to the system's dialog manager.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The dialog procedure of every CDialog window: lParam of WM_INITDIALOG is the object.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
    // WM_DPICHANGED: the window moved to a monitor of another DPI. Takes the size and
    // place the system suggests (lParam): with per-monitor awareness of Windows 8.1 and
    // 10 before 1703, nothing else rescales a dialog.
    LRESULT HandleDpiChanged(WPARAM wParam, LPARAM lParam);
    HWND ParentHandle(CWnd* pParentWnd) const;

    UINT m_nIDTemplate;
    LPCDLGTEMPLATEA m_lpDialogTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()
};

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd), m_hWndLastControl(nullptr),
          m_bFailed(FALSE)
    {
    }

    // The control of nIDC, remembered as the one to refocus on failure; null once a
    // transfer has failed, so the fields after the bad one are left alone.
    HWND PrepareCtrl(int nIDC);
    // Shows nothing itself: enables the last control when it was disabled, puts the focus
    // back on it and marks the failure.
    void Fail();

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl;
    BOOL m_bFailed;
};

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// Unsigned decimal; an empty field or anything but digits asks for a positive integer.
void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

// Parses an unsigned 32-bit decimal number with optional surrounding blanks.
bool AfxParseUInt(const char* psz, UINT* pValue);
