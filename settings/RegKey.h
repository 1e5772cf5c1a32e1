// Owner of one open registry key handle.
#pragma once

#include <windows.h>

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Both open into a temporary handle first: a failure leaves the key held so far
    // untouched. On success the old key is closed before the new one is taken over, and
    // a failed close fails the whole call (the new handle is closed again, nothing held).
    LONG Open(HKEY hKeyParent, const char* pszKeyName, REGSAM samDesired = KEY_ALL_ACCESS);
    // Non-volatile, no class string, default security.
    LONG Create(HKEY hKeyParent, const char* pszKeyName, REGSAM samDesired = KEY_ALL_ACCESS);
    // 0 when nothing is held; otherwise the result of closing. The handle is forgotten
    // either way.
    LONG Close();

    void Attach(HKEY hKey);

    LONG QueryValue(const char* pszName, void* pData, DWORD* pcbData) const;
    LONG SetValue(const char* pszName, DWORD dwType, const void* pData, DWORD cbData);

    HKEY m_hKey = nullptr;

private:
    LONG TakeOver(HKEY hKeyNew);
};
