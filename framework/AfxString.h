// Narrow (ANSI code page) string with the operations the program uses. It keeps its
// text in one block of the C heap: std::string would bring a large part of the C++
// runtime into the program.
#pragma once

#include <windows.h>

#include <cstdarg>

class CString {
public:
    CString() {}
    CString(const char* psz) { Assign(psz, Length(psz)); }
    CString(const char* pch, int nLength) { Assign(pch, nLength > 0 ? nLength : 0); }
    CString(const CString& other) { Assign(other.m_pch, other.m_nLength); }
    CString(CString&& other) noexcept { Swap(other); }
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept { Swap(other); return *this; }
    CString& operator=(const char* psz);

    operator const char*() const { return GetString(); }
    const char* GetString() const { return m_pch ? m_pch : ""; }
    int GetLength() const { return m_nLength; }
    bool IsEmpty() const { return m_nLength == 0; }
    void Empty();

    CString& operator+=(const char* psz) { Append(psz, Length(psz)); return *this; }
    CString& operator+=(char ch) { Append(&ch, 1); return *this; }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }

    bool operator==(const char* psz) const;
    bool operator!=(const char* psz) const { return !(*this == psz); }

    // Loads string resource nID of the executable, converted to the ANSI code page.
    // Leaves the string empty and returns false when there is no such string.
    bool LoadString(UINT nID);
    // printf-style formatting (the system C library's) into a buffer of whatever size
    // the result needs, up to kMaxFormatted bytes; a longer result is cut there.
    void Format(const char* pszFormat, ...);
    void FormatV(const char* pszFormat, va_list args);
    static const int kMaxFormatted = 1 << 20;

    // Room for nMinLength characters plus the terminator, or null when memory is
    // short; ReleaseBuffer trims to the
    // first zero (nNewLength -1) or to nNewLength.
    char* GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    static int Length(const char* psz);
    // Makes room for nLength characters and a terminator; false when memory is short.
    bool Reserve(int nLength);
    void Assign(const char* pch, int nLength);
    void Append(const char* pch, int nLength);
    void Swap(CString& other);

    char* m_pch = nullptr;  // null while nothing was ever stored
    int m_nLength = 0;
    int m_nCapacity = 0;    // characters, the terminator not counted
};
