// Narrow (ANSI code page) string with the operations the program uses.
#pragma once

#include <windows.h>
#include <string>

class CString {
public:
    CString() {}
    CString(const char* psz) : m_str(psz ? psz : "") {}
    CString(const char* pch, int nLength) : m_str(pch, nLength > 0 ? nLength : 0) {}

    operator const char*() const { return m_str.c_str(); }
    const char* GetString() const { return m_str.c_str(); }
    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    CString& operator=(const char* psz) { m_str = psz ? psz : ""; return *this; }
    CString& operator+=(const char* psz) { if (psz) m_str += psz; return *this; }
    CString& operator+=(char ch) { m_str += ch; return *this; }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }

    bool operator==(const char* psz) const { return m_str == (psz ? psz : ""); }
    bool operator!=(const char* psz) const { return !(*this == psz); }

    // Loads string resource nID of the executable, converted to the ANSI code page.
    // Leaves the string empty and returns false when there is no such string.
    bool LoadString(UINT nID);
    // printf-style formatting into a buffer of whatever size the result needs.
    void Format(const char* pszFormat, ...);
    void FormatV(const char* pszFormat, va_list args);

    // Room for nMinLength characters plus the terminator; ReleaseBuffer trims to the
    // first zero (nNewLength -1) or to nNewLength.
    char* GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    std::string m_str;
};
