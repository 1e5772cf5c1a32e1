#include "about/MemBitmap.h"

#include <new>

CMemBitmap::CMemBitmap(CBitmap* pBitmap, BOOL bOwnBitmap, CDC* pDC, BOOL bOwnDC)
    : m_bOwnBitmap(bOwnBitmap), m_pBitmap(pBitmap), m_bOwnDC(bOwnDC), m_pDC(pDC),
      m_hOldObject(nullptr)
{
}

CMemBitmap::~CMemBitmap()
{
    // The bitmap cannot be deleted while a context still has it selected.
    if (m_hOldObject && m_pDC)
        m_pDC->SelectObject(m_hOldObject);
    if (m_bOwnDC && m_pDC) {
        m_pDC->DeleteDC();
        delete m_pDC;
    }
    if (m_bOwnBitmap)
        delete m_pBitmap;
}

CMemBitmap* CMemBitmap::Create()
{
    CBitmap* pBitmap = new (std::nothrow) CBitmap;
    CDC* pDC = new (std::nothrow) CDC;
    CMemBitmap* pHolder = nullptr;
    if (pBitmap && pDC && pDC->CreateCompatibleDC(nullptr))
        pHolder = new (std::nothrow) CMemBitmap(pBitmap, TRUE, pDC, TRUE);
    if (!pHolder) {
        if (pDC)
            pDC->DeleteDC();
        delete pDC;
        delete pBitmap;
    }
    return pHolder;
}

BOOL CMemBitmap::SelectBitmap()
{
    if (!m_pDC || !m_pBitmap || !m_pBitmap->GetSafeHandle())
        return FALSE;
    HGDIOBJ hPrevious = m_pDC->SelectObject(m_pBitmap);
    if (!hPrevious)
        return FALSE;
    // Only the first selection's previous object is the context's own.
    if (!m_hOldObject)
        m_hOldObject = hPrevious;
    return TRUE;
}
