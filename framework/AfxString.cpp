#include "framework/AfxString.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool CString::LoadString(UINT nID)
{
    m_str.clear();
    // With a zero buffer size LoadStringW hands out a pointer to the resource itself,
    // so no text is ever cut at a fixed length.
    const wchar_t* pwsz = nullptr;
    int cch = ::LoadStringW(::GetModuleHandleA(nullptr), nID, reinterpret_cast<LPWSTR>(&pwsz), 0);
    if (cch <= 0 || !pwsz)
        return false;
    int cb = ::WideCharToMultiByte(CP_ACP, 0, pwsz, cch, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return false;
    m_str.resize(cb);
    ::WideCharToMultiByte(CP_ACP, 0, pwsz, cch, &m_str[0], cb, nullptr, nullptr);
    return true;
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
    m_str.clear();
    if (!pszFormat)
        return;
    va_list measure;
    va_copy(measure, args);
    int cch = vsnprintf(nullptr, 0, pszFormat, measure);
    va_end(measure);
    if (cch <= 0)
        return;
    std::string buffer(static_cast<size_t>(cch) + 1, '\0');
    vsnprintf(&buffer[0], buffer.size(), pszFormat, args);
    buffer.resize(static_cast<size_t>(cch));
    m_str.swap(buffer);
}

char* CString::GetBuffer(int nMinLength)
{
    // One spare byte, so the caller may write nMinLength characters and a terminator.
    if (nMinLength + 1 > GetLength())
        m_str.resize(static_cast<size_t>(nMinLength) + 1);
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = static_cast<int>(strnlen(m_str.c_str(), m_str.size()));
    if (nNewLength < GetLength())
        m_str.resize(static_cast<size_t>(nNewLength));
}
