// A growable array of copyable elements, without exceptions: Add reports a failed
// allocation through its result and leaves the array as it was.
#pragma once

#include <new>

template <typename TYPE>
class CArray {
public:
    CArray() : m_pData(nullptr), m_nSize(0), m_nMaxSize(0) {}
    ~CArray() { delete[] m_pData; }
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;

    int GetSize() const { return m_nSize; }
    TYPE& operator[](int nIndex) { return m_pData[nIndex]; }
    const TYPE& operator[](int nIndex) const { return m_pData[nIndex]; }

    // Index of the new element, or -1 when no room could be made.
    int Add(const TYPE& newElement)
    {
        if (m_nSize == m_nMaxSize) {
            int nNewMax = m_nMaxSize ? m_nMaxSize * 2 : 4;
            TYPE* pNew = new (std::nothrow) TYPE[nNewMax];
            if (!pNew)
                return -1;
            for (int i = 0; i < m_nSize; ++i)
                pNew[i] = m_pData[i];
            delete[] m_pData;
            m_pData = pNew;
            m_nMaxSize = nNewMax;
        }
        m_pData[m_nSize] = newElement;
        return m_nSize++;
    }

    void RemoveLast()
    {
        if (m_nSize > 0)
            m_pData[--m_nSize] = TYPE();
    }

    // Keeps the storage for the next fill.
    void RemoveAll()
    {
        for (int i = 0; i < m_nSize; ++i)
            m_pData[i] = TYPE();
        m_nSize = 0;
    }

private:
    TYPE* m_pData;
    int m_nSize;
    int m_nMaxSize;
};
