// The system's common dialogs: the Open and Save As file dialogs.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include "framework/AfxString.h"

class CWnd;

class CFileDialog {
public:
    // lpszFilter: pairs of display name and pattern, each ended by '|', e.g. "All|*.*|".
    // An initial name or a filter too long for the dialog's buffers is left out.
    CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt = nullptr, const char* lpszFileName = nullptr,
                DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* lpszFilter = nullptr,
                CWnd* pParentWnd = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user chose a file, IDCANCEL otherwise (cancelled or failed).
    INT_PTR DoModal();
    // The chosen full path.
    CString GetPathName() const { return CString(m_szFileName); }

    OPENFILENAMEA m_ofn;

private:
    BOOL m_bOpenFileDialog;
    CWnd* m_pParentWnd;
    char m_szFileName[MAX_PATH];
    char m_szFilter[256];
    char m_szDefExt[8];
};
