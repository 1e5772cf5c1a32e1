// A borderless picture dialog: built from a template in memory, painted through a back
// buffer, with text labels and clickable link labels drawn over a background bitmap.
#pragma once

#include "framework/Afx.h"

class CMemBitmap;

class CBitmapDlg : public CDialog {
public:
    CBitmapDlg();
    ~CBitmapDlg() override;

    // Runs the box modally, owned by pParentWnd or (null) the application's main window,
    // which stays disabled meanwhile. False when the dialog could not be prepared.
    BOOL ShowDialog(CWnd* pParentWnd);
    void CloseDialog();

    // Draws one label with its top-left corner at pRect's and writes its measured extent
    // back. With pszLink the label is a link: drawn in clrHover under the cursor, in
    // clrLink elsewhere, and registered for hit-testing until the next paint. A null
    // font means the system's GUI font (underlined for a link); no text shows the link.
    // A right edge given past the left one is the widest the label may be: a longer
    // text ends in an ellipsis there.
    void DrawLabel(CDC* pDC, CFont* pFont, const char* pszText, RECT* pRect, COLORREF clrText,
                   const char* pszLink, COLORREF clrLink, COLORREF clrHover);
    // The width DrawLabel would give the text, unlimited.
    int MeasureLabel(CDC* pDC, CFont* pFont, const char* pszText, bool bLink);

    BOOL OnInitDialog() override;
    // Enter does not close the box.
    void OnOK() override;

protected:
    virtual BOOL PrepareContent();
    virtual void ReleaseContent();
    // Loads the background into the empty pBitmap; false: a white background.
    virtual BOOL LoadBackground(CBitmap* pBitmap);
    virtual void DrawContent(CDC* pDC);

    void OnDestroy();
    BOOL OnEraseBkgnd(CDC* pDC);
    void OnPaint();
    BOOL OnSetCursor(HWND hWnd, UINT nHitTest, UINT message);
    void OnLButtonUp(UINT nFlags, POINT point);
    // On a monitor of another DPI the box goes where the system suggests but keeps its
    // size: the picture and the labels over it are laid out in its pixels.
    LRESULT HandleDpiChanged(WPARAM wParam, LPARAM lParam);

#pragma pack(push, 2)
    struct Template {
        DLGTEMPLATE dlg;
        WORD menu;
        WORD windowClass;
        WORD title;
    };
#pragma pack(pop)
    // Dialog templates must start on a DWORD boundary.
    alignas(4) Template m_template;
    int m_nWidth;   // 0: taken from the background
    int m_nHeight;
    CMemBitmap* m_pBackground;
    CMemBitmap* m_pBackBuffer;
    CString m_strHoverLink;
    CArray<CString> m_linkTargets;
    CArray<RECT> m_linkRects;  // client coordinates, parallel to m_linkTargets

private:
    void FreeBuffers();
    void EmptyLinks();
    POINT CursorInClient() const;

    DECLARE_MESSAGE_MAP()
};
