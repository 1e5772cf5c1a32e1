// A bitmap selected into its own memory device context.
#pragma once

#include "framework/Afx.h"

class CMemBitmap {
public:
    // Holds pBitmap in pDC; whatever is owned is deleted by the destructor.
    CMemBitmap(CBitmap* pBitmap, BOOL bOwnBitmap, CDC* pDC, BOOL bOwnDC);
    ~CMemBitmap();
    CMemBitmap(const CMemBitmap&) = delete;
    CMemBitmap& operator=(const CMemBitmap&) = delete;

    // A new empty bitmap object and a new memory context compatible with the screen,
    // both owned; null when either cannot be made.
    static CMemBitmap* Create();

    CBitmap* GetBitmap() const { return m_pBitmap; }
    CDC* GetDC() const { return m_pDC; }

    // Selects the bitmap into the context, remembering what was selected before.
    BOOL SelectBitmap();

private:
    BOOL m_bOwnBitmap;
    CBitmap* m_pBitmap;
    BOOL m_bOwnDC;
    CDC* m_pDC;
    HGDIOBJ m_hOldObject;
};
