#include "support/Scoped.h"

LONG CRegKey::Open(HKEY hKeyParent, const char* pszKeyName, REGSAM samDesired)
{
    HKEY hKey = nullptr;
    LONG result = ::RegOpenKeyExA(hKeyParent, pszKeyName, 0, samDesired, &hKey);
    return result == ERROR_SUCCESS ? TakeOver(hKey) : result;
}

LONG CRegKey::Create(HKEY hKeyParent, const char* pszKeyName, REGSAM samDesired)
{
    HKEY hKey = nullptr;
    LONG result = ::RegCreateKeyExA(hKeyParent, pszKeyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    samDesired, nullptr, &hKey, nullptr);
    return result == ERROR_SUCCESS ? TakeOver(hKey) : result;
}

LONG CRegKey::TakeOver(HKEY hKeyNew)
{
    LONG result = Close();
    if (result != ERROR_SUCCESS) {
        ::RegCloseKey(hKeyNew);  // the caller sees a failure, so it must not hold a key
        return result;
    }
    m_hKey = hKeyNew;
    return ERROR_SUCCESS;
}

LONG CRegKey::Close()
{
    if (!m_hKey)
        return ERROR_SUCCESS;
    LONG result = ::RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return result;
}

void CRegKey::Attach(HKEY hKey)
{
    Close();
    m_hKey = hKey;
}

LONG CRegKey::QueryValue(const char* pszName, void* pData, DWORD* pcbData) const
{
    return ::RegQueryValueExA(m_hKey, pszName, nullptr, nullptr, static_cast<BYTE*>(pData), pcbData);
}

LONG CRegKey::SetValue(const char* pszName, DWORD dwType, const void* pData, DWORD cbData)
{
    return ::RegSetValueExA(m_hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData);
}
