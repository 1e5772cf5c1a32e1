#include "about/AboutDlg.h"

#include "resources/resource.h"
#include "support/Maker.h"

namespace {

// Shown when the version resource names no copyright; ends in the maker word.
const char kCopyrightPrefix[] = "版权所有 (C) ";

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kLinkBlue = RGB(0, 0, 255);
const COLORREF kHoverRed = RGB(255, 0, 0);

void CreateLabelFont(CFont* pFont, int nWeight, BYTE bUnderline)
{
    pFont->CreateFont(14, 0, 0, 0, nWeight, FALSE, bUnderline, FALSE, ANSI_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
}

CFont* FontOrNull(CFont& font)
{
    return font.GetSafeHandle() ? &font : nullptr;
}

}  // namespace

CAboutDlg::CAboutDlg(const AboutVersionTexts& texts)
    : m_strFileVersion(texts.fileVersion), m_strProductVersion(texts.productVersion),
      m_strLegalCopyright(texts.legalCopyright)
{
}

BOOL CAboutDlg::PrepareContent()
{
    if (!CBitmapDlg::PrepareContent())
        return FALSE;

    if (!m_strFileVersion.IsEmpty())
        m_strVersion = m_strFileVersion;
    else
        m_strVersion = m_strProductVersion;

    if (!m_strLegalCopyright.IsEmpty()) {
        m_strCopyright = m_strLegalCopyright;
    } else {
        m_strCopyright = kCopyrightPrefix;
        m_strCopyright += kMakerWord;
    }
    m_strLink = kHomePageUrl;

    CreateLabelFont(&m_fontTitle, FW_BOLD, FALSE);
    CreateLabelFont(&m_fontText, FW_NORMAL, FALSE);
    CreateLabelFont(&m_fontLink, FW_NORMAL, TRUE);
    return TRUE;
}

void CAboutDlg::ReleaseContent()
{
    m_fontTitle.DeleteObject();
    m_fontText.DeleteObject();
    m_fontLink.DeleteObject();
}

BOOL CAboutDlg::LoadBackground(CBitmap* pBitmap)
{
    // Without the picture the box is white with its labels.
    return pBitmap->LoadBitmap(IDB_ABOUT);
}

void CAboutDlg::DrawContent(CDC* pDC)
{
    RECT rcVersion = { 170, 50, 0, 0 };
    DrawLabel(pDC, FontOrNull(m_fontTitle), m_strVersion, &rcVersion, kWhite, nullptr, 0, 0);

    // The link follows the copyright line: its left edge is that line's width plus 25,
    // 5 px after the line. It stays whole inside the box: a copyright too long for that
    // ends in an ellipsis.
    int linkLeft = m_nWidth - MeasureLabel(pDC, FontOrNull(m_fontLink), m_strLink, true);
    RECT rcCopyright = { 20, 185, linkLeft - 5, 0 };
    DrawLabel(pDC, FontOrNull(m_fontText), m_strCopyright, &rcCopyright, kBlack, nullptr, 0, 0);
    RECT rcLink = { (rcCopyright.right - rcCopyright.left) + 25, 185, 0, 0 };
    DrawLabel(pDC, FontOrNull(m_fontLink), nullptr, &rcLink, kWhite, m_strLink, kLinkBlue,
              kHoverRed);
}
