// The About box: the program's version and copyright over the About picture, and a
// link to the maker's web site.
#pragma once

#include "about/BitmapDlg.h"

// The version-resource texts the box shows; null counts as empty.
struct AboutVersionTexts {
    const char* fileVersion;
    const char* productVersion;
    const char* legalCopyright;
};

class CAboutDlg : public CBitmapDlg {
public:
    explicit CAboutDlg(const AboutVersionTexts& texts);

protected:
    BOOL PrepareContent() override;
    void ReleaseContent() override;
    BOOL LoadBackground(CBitmap* pBitmap) override;
    void DrawContent(CDC* pDC) override;

    // Each without a handle when its creation failed; labels then use the GUI font.
    CFont m_fontTitle;
    CFont m_fontText;
    CFont m_fontLink;
    CString m_strVersion;
    CString m_strCopyright;
    CString m_strLink;

private:
    CString m_strFileVersion;
    CString m_strProductVersion;
    CString m_strLegalCopyright;
};
