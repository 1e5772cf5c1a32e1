#include "framework/AfxDlgs.h"

#include <cstring>

#include "framework/AfxApp.h"
#include "framework/AfxWin.h"
#include "support/TextCopy.h"

namespace {

// Copies src into dst of cb bytes; false (dst emptied) when it does not fit whole.
bool CopyWhole(char* dst, size_t cb, const char* src)
{
    size_t n = CopyTextBounded(dst, cb, src);
    if (src && src[n]) {
        dst[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt, const char* lpszFileName, DWORD dwFlags,
                         const char* lpszFilter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog), m_pParentWnd(pParentWnd)
{
    memset(&m_ofn, 0, sizeof(m_ofn));
    // The size Windows 95 and NT 4 know; the longer structure of later systems is refused there.
    m_ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    m_ofn.Flags = dwFlags;

    // A cut name would point the dialog at another file: start without one instead.
    CopyWhole(m_szFileName, sizeof(m_szFileName), lpszFileName);
    m_ofn.lpstrFile = m_szFileName;
    m_ofn.nMaxFile = sizeof(m_szFileName);

    if (CopyWhole(m_szDefExt, sizeof(m_szDefExt), lpszDefExt) && m_szDefExt[0])
        m_ofn.lpstrDefExt = m_szDefExt;

    // The list needs one byte more than the text for its second terminator. The bars
    // become zeros; a bar that is the second byte of a double-byte character stays.
    memset(m_szFilter, 0, sizeof(m_szFilter));
    size_t filterLength = lpszFilter ? strnlen(lpszFilter, sizeof(m_szFilter)) : 0;
    if (lpszFilter && filterLength + 1 < sizeof(m_szFilter)) {
        memcpy(m_szFilter, lpszFilter, filterLength);
        for (char* p = m_szFilter; *p; ++p) {
            if (::IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1])
                ++p;
            else if (*p == '|')
                *p = '\0';
        }
        m_ofn.lpstrFilter = m_szFilter;
    }
}

INT_PTR CFileDialog::DoModal()
{
    if (m_pParentWnd) {
        m_ofn.hwndOwner = m_pParentWnd->m_hWnd;
    } else {
        CWnd* pMain = AfxGetMainWnd();
        m_ofn.hwndOwner = pMain ? pMain->m_hWnd : nullptr;
    }
    BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}
