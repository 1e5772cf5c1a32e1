#include "framework/AfxString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

CString::~CString()
{
    free(m_pch);
}

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Assign(other.m_pch, other.m_nLength);
    return *this;
}

CString& CString::operator=(const char* psz)
{
    // The source may lie inside this string's own buffer.
    CString copy(psz);
    Swap(copy);
    return *this;
}

void CString::Empty()
{
    m_nLength = 0;
    if (m_pch)
        m_pch[0] = '\0';
}

bool CString::operator==(const char* psz) const
{
    int n = Length(psz);
    return n == m_nLength && (n == 0 || memcmp(m_pch, psz, static_cast<size_t>(n)) == 0);
}

int CString::Length(const char* psz)
{
    size_t n = psz ? strlen(psz) : 0;
    return n > 0x3FFFFFFF ? 0 : static_cast<int>(n);  // no text that long is ours
}

bool CString::Reserve(int nLength)
{
    if (nLength < 0)
        return false;
    if (m_pch && nLength <= m_nCapacity)
        return true;
    int capacity = m_nCapacity > 0 ? m_nCapacity : 15;
    while (capacity < nLength)
        capacity = capacity > 0x3FFFFFFF ? nLength : capacity * 2;
    char* p = static_cast<char*>(realloc(m_pch, static_cast<size_t>(capacity) + 1));
    if (!p)
        return false;
    if (!m_pch)
        p[0] = '\0';
    m_pch = p;
    m_nCapacity = capacity;
    return true;
}

void CString::Assign(const char* pch, int nLength)
{
    m_nLength = 0;
    if (m_pch)
        m_pch[0] = '\0';
    Append(pch, nLength);
}

void CString::Append(const char* pch, int nLength)
{
    if (nLength <= 0 || nLength > 0x7FFFFFFF - m_nLength - 1 || !Reserve(m_nLength + nLength))
        return;
    memmove(m_pch + m_nLength, pch, static_cast<size_t>(nLength));
    m_nLength += nLength;
    m_pch[m_nLength] = '\0';
}

void CString::Swap(CString& other)
{
    char* pch = m_pch;
    int length = m_nLength, capacity = m_nCapacity;
    m_pch = other.m_pch;
    m_nLength = other.m_nLength;
    m_nCapacity = other.m_nCapacity;
    other.m_pch = pch;
    other.m_nLength = length;
    other.m_nCapacity = capacity;
}

bool CString::LoadString(UINT nID)
{
    Empty();
    // The string block itself, read as Windows 95/98/Me can: LoadStringW exists there
    // only as a stub that fails. Block n + 1 holds strings 16n to 16n + 15, each a
    // count of UTF-16 units followed by the units.
    HMODULE hModule = ::GetModuleHandleA(nullptr);
    HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA((nID >> 4) + 1), MAKEINTRESOURCEA(6));
    HGLOBAL hData = hResource ? ::LoadResource(hModule, hResource) : nullptr;
    const WCHAR* p = hData ? static_cast<const WCHAR*>(::LockResource(hData)) : nullptr;
    if (!p)
        return false;
    const WCHAR* end = p + ::SizeofResource(hModule, hResource) / sizeof(WCHAR);
    for (UINT index = nID & 15; p < end; --index) {
        UINT cch = *p++;
        if (cch > static_cast<UINT>(end - p))
            return false;  // a damaged block: nothing is read past its end
        if (index == 0) {
            if (cch == 0)
                return false;
            int cb = ::WideCharToMultiByte(CP_ACP, 0, p, static_cast<int>(cch), nullptr, 0, nullptr, nullptr);
            if (cb <= 0 || !Reserve(cb))
                return false;
            ::WideCharToMultiByte(CP_ACP, 0, p, static_cast<int>(cch), m_pch, cb, nullptr, nullptr);
            m_nLength = cb;
            m_pch[cb] = '\0';
            return true;
        }
        p += cch;
    }
    return false;
}

void CString::Format(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(const char* pszFormat, va_list args)
{
    Empty();
    if (!pszFormat)
        return;
    // The system library's _vsnprintf (present on every Windows) says only whether the
    // text fitted, so the buffer doubles until it does.
    for (int capacity = 255;; capacity *= 2) {
        if (capacity > kMaxFormatted)
            capacity = kMaxFormatted;
        if (!Reserve(capacity))
            return;
        va_list attempt;
        va_copy(attempt, args);
        int n = _vsnprintf(m_pch, static_cast<size_t>(capacity) + 1, pszFormat, attempt);
        va_end(attempt);
        if (n >= 0 && n <= capacity) {
            m_nLength = n;
            m_pch[n] = '\0';
            return;
        }
        if (capacity == kMaxFormatted) {
            m_nLength = capacity;  // cut at the limit, still terminated
            m_pch[capacity] = '\0';
            return;
        }
    }
}

char* CString::GetBuffer(int nMinLength)
{
    return Reserve(nMinLength > m_nLength ? nMinLength : m_nLength) ? m_pch : nullptr;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (!m_pch)
        return;
    if (nNewLength < 0)
        nNewLength = static_cast<int>(strnlen(m_pch, static_cast<size_t>(m_nCapacity) + 1));
    if (nNewLength > m_nCapacity)
        nNewLength = m_nCapacity;
    m_nLength = nNewLength;
    m_pch[m_nLength] = '\0';
}
