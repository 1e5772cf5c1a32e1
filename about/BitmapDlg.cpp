#include "about/BitmapDlg.h"

#include <cstring>

#include "about/MemBitmap.h"
#include "support/Launcher.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

BEGIN_MESSAGE_MAP(CBitmapDlg, CDialog)
    ON_MESSAGE(WM_DPICHANGED, HandleDpiChanged)
    ON_WM_DESTROY()
    ON_WM_ERASEBKGND()
    ON_WM_PAINT()
    ON_WM_SETCURSOR()
    ON_WM_LBUTTONUP()
END_MESSAGE_MAP()

namespace {

const int kDefaultWidth = 400;
const int kDefaultHeight = 200;

// Restores a context's font, text colour and background mode when a label is done.
class ScopedTextState {
public:
    ScopedTextState(HDC hDC, HFONT hFont)
        : m_hDC(hDC), m_hOldFont(::SelectObject(hDC, hFont)), m_nOldMode(::SetBkMode(hDC, TRANSPARENT)),
          m_clrOld(::GetTextColor(hDC))
    {
    }
    ~ScopedTextState()
    {
        ::SetTextColor(m_hDC, m_clrOld);
        ::SetBkMode(m_hDC, m_nOldMode);
        ::SelectObject(m_hDC, m_hOldFont);
    }
    ScopedTextState(const ScopedTextState&) = delete;
    ScopedTextState& operator=(const ScopedTextState&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOldFont;
    int m_nOldMode;
    COLORREF m_clrOld;
};

bool HasText(const char* psz)
{
    return psz && *psz;
}

// The label's font: pFont, or the system's GUI font (underlined for a link) made in
// *pFallback when there is none.
HFONT LabelFont(CFont* pFont, bool bLink, CFont* pFallback)
{
    if (!pFont || !pFont->GetSafeHandle()) {
        LOGFONTA lf = {};
        ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
        lf.lfUnderline = bLink ? TRUE : FALSE;
        pFallback->CreateFontIndirect(&lf);
        pFont = pFallback;
    }
    return pFont->GetSafeHandle() ? static_cast<HFONT>(pFont->GetSafeHandle())
                                  : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace

CBitmapDlg::CBitmapDlg()
    : m_nWidth(0), m_nHeight(0), m_pBackground(nullptr), m_pBackBuffer(nullptr)
{
    // Only a vehicle for an empty pop-up: the real size is set in pixels later.
    memset(&m_template, 0, sizeof(m_template));
    m_template.dlg.style = WS_POPUP;
    m_template.dlg.cx = 400;
    m_template.dlg.cy = 200;
}

CBitmapDlg::~CBitmapDlg()
{
    FreeBuffers();
}

BOOL CBitmapDlg::ShowDialog(CWnd* pParentWnd)
{
    if (!InitModalIndirect(reinterpret_cast<LPCDLGTEMPLATEA>(&m_template), pParentWnd))
        return FALSE;
    DoModal();
    return TRUE;
}

void CBitmapDlg::CloseDialog()
{
    EndDialog(-1);
}

BOOL CBitmapDlg::PrepareContent() { return TRUE; }
void CBitmapDlg::ReleaseContent() {}
BOOL CBitmapDlg::LoadBackground(CBitmap*) { return FALSE; }
void CBitmapDlg::DrawContent(CDC*) {}
void CBitmapDlg::OnOK() {}

void CBitmapDlg::FreeBuffers()
{
    delete m_pBackground;
    m_pBackground = nullptr;
    delete m_pBackBuffer;
    m_pBackBuffer = nullptr;
}

void CBitmapDlg::EmptyLinks()
{
    m_strHoverLink.Empty();
    m_linkTargets.RemoveAll();
    m_linkRects.RemoveAll();
}

POINT CBitmapDlg::CursorInClient() const
{
    POINT pt = { -1, -1 };
    if (::GetCursorPos(&pt))
        ::ScreenToClient(m_hWnd, &pt);
    return pt;
}

BOOL CBitmapDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CClientDC screen(this);

    BOOL bOk = PrepareContent();
    if (bOk) {
        m_pBackground = CMemBitmap::Create();
        if (m_pBackground && LoadBackground(m_pBackground->GetBitmap())) {
            if (m_nWidth == 0 || m_nHeight == 0) {
                BITMAP bm = {};
                if (m_pBackground->GetBitmap()->GetBitmap(&bm)) {
                    m_nWidth = bm.bmWidth;
                    m_nHeight = bm.bmHeight;
                }
            }
            m_pBackground->SelectBitmap();
        } else {
            delete m_pBackground;
            m_pBackground = nullptr;
        }

        m_pBackBuffer = CMemBitmap::Create();
        if (m_nWidth <= 0)
            m_nWidth = kDefaultWidth;
        if (m_nHeight <= 0)
            m_nHeight = kDefaultHeight;
        bOk = m_pBackBuffer &&
              m_pBackBuffer->GetBitmap()->CreateCompatibleBitmap(&screen, m_nWidth, m_nHeight) &&
              m_pBackBuffer->SelectBitmap();
    }
    if (bOk) {
        // A tool window gets no taskbar button.
        LONG exStyle = ::GetWindowLongA(m_hWnd, GWL_EXSTYLE);
        ::SetWindowLongA(m_hWnd, GWL_EXSTYLE, (exStyle & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, m_nWidth, m_nHeight,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        CenterWindow();
        ::SetForegroundWindow(m_hWnd);
    } else {
        CloseDialog();
    }
    return TRUE;
}

LRESULT CBitmapDlg::HandleDpiChanged(WPARAM, LPARAM lParam)
{
    const RECT* pSuggested = reinterpret_cast<const RECT*>(lParam);
    if (pSuggested)
        ::SetWindowPos(m_hWnd, nullptr, pSuggested->left, pSuggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

void CBitmapDlg::OnDestroy()
{
    CWnd::OnDestroy();
    FreeBuffers();
    ReleaseContent();
    m_nWidth = m_nHeight = 0;
    EmptyLinks();
}

BOOL CBitmapDlg::OnEraseBkgnd(CDC*)
{
    // Every paint covers the whole window from the back buffer: erasing would only flicker.
    return TRUE;
}

void CBitmapDlg::OnPaint()
{
    CPaintDC dc(this);
    EmptyLinks();
    if (!m_pBackBuffer)
        return;
    CDC* pBuffer = m_pBackBuffer->GetDC();
    pBuffer->FillSolidRect(0, 0, m_nWidth, m_nHeight, RGB(255, 255, 255));
    if (m_pBackground)
        pBuffer->BitBlt(0, 0, m_nWidth, m_nHeight, m_pBackground->GetDC(), 0, 0, SRCCOPY);
    DrawContent(pBuffer);
    dc.BitBlt(0, 0, m_nWidth, m_nHeight, pBuffer, 0, 0, SRCCOPY);
}

void CBitmapDlg::DrawLabel(CDC* pDC, CFont* pFont, const char* pszText, RECT* pRect,
                           COLORREF clrText, const char* pszLink, COLORREF clrLink,
                           COLORREF clrHover)
{
    const bool bLink = HasText(pszLink);
    const char* pszShown = HasText(pszText) ? pszText : pszLink;
    if (!HasText(pszShown)) {
        pRect->right = pRect->left;
        pRect->bottom = pRect->top;
        return;
    }

    CFont fallback;
    ScopedTextState state(pDC->m_hDC, LabelFont(pFont, bLink, &fallback));

    const LONG widest = pRect->right - pRect->left;
    pRect->right = pRect->left;
    if (pRect->bottom < pRect->top)
        pRect->bottom = pRect->top;
    pDC->DrawText(pszShown, -1, pRect, DT_CALCRECT | DT_NOPREFIX);
    UINT cut = 0;
    if (widest > 0 && pRect->right - pRect->left > widest) {
        pRect->right = pRect->left + widest;
        cut = DT_SINGLELINE | DT_END_ELLIPSIS;
    }

    COLORREF clr = clrText;
    if (bLink) {
        POINT pt = CursorInClient();
        if (::PtInRect(pRect, pt)) {
            m_strHoverLink = pszLink;
            clr = clrHover;
        } else {
            clr = clrLink;
        }
        // A link that cannot be registered is still drawn; it just cannot be clicked.
        // The two lists stay parallel either way.
        if (m_linkRects.Add(*pRect) >= 0 && m_linkTargets.Add(CString(pszLink)) < 0)
            m_linkRects.RemoveLast();
    }
    pDC->SetTextColor(clr);
    // Not clipped to the measured extent: the ink can reach past it (under Wine the
    // last digit of the bold version was cut off).
    pDC->DrawText(pszShown, -1, pRect, DT_NOPREFIX | DT_NOCLIP | cut);
}

int CBitmapDlg::MeasureLabel(CDC* pDC, CFont* pFont, const char* pszText, bool bLink)
{
    CFont fallback;
    ScopedTextState state(pDC->m_hDC, LabelFont(pFont, bLink, &fallback));
    RECT rc = {};
    if (HasText(pszText))
        pDC->DrawText(pszText, -1, &rc, DT_CALCRECT | DT_NOPREFIX);
    return rc.right;
}

BOOL CBitmapDlg::OnSetCursor(HWND, UINT, UINT)
{
    POINT pt = CursorInClient();
    LPCSTR shape = IDC_ARROW;
    m_strHoverLink.Empty();
    for (int i = 0; i < m_linkRects.GetSize(); ++i) {
        if (::PtInRect(&m_linkRects[i], pt)) {
            m_strHoverLink = m_linkTargets[i];
            shape = IDC_HAND;
            break;
        }
    }
    // Repaint so the link shows its hover colour, or loses it.
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    ::SetCursor(::LoadCursorA(nullptr, shape));
    return TRUE;
}

void CBitmapDlg::OnLButtonUp(UINT, POINT)
{
    if (!m_strHoverLink.IsEmpty()) {
        CString link = m_strHoverLink;
        HCURSOR hOld = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
        ShellOpen(link, nullptr, 0);  // a page that cannot be opened is ignored
        ::SetCursor(hOld);
    } else {
        CloseDialog();
    }
    Default();
}
