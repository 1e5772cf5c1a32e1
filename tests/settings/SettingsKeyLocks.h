// Ways to make the settings key impossible to open with full access and to create,
// each undone on destruction. Used by the store's tests and the end-to-end tests.
#pragma once

#include <windows.h>
#include <sddl.h>

#include "common/TestSupport.h"

namespace settings_test {

// The settings key exists, but its DACL denies every access to everyone. Opening it
// with full access fails, and so does creating it (which opens the existing key). The
// owner may still rewrite the DACL, which is how it is undone.
class DeniedSettingsKey {
public:
    DeniedSettingsKey()
    {
        HKEY hKey;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                              nullptr) != ERROR_SUCCESS)
            return;
        DWORD size = sizeof(m_original);
        m_saved = ::RegGetKeySecurity(hKey, DACL_SECURITY_INFORMATION, m_original, &size) == ERROR_SUCCESS;
        m_locked = m_saved && SetDacl(hKey, "D:(D;;KA;;;WD)");
        ::RegCloseKey(hKey);
    }
    ~DeniedSettingsKey()
    {
        HKEY hKey;
        if (m_locked && ::RegOpenKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, WRITE_DAC, &hKey) == ERROR_SUCCESS) {
            ::RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, m_original);
            ::RegCloseKey(hKey);
        }
    }
    DeniedSettingsKey(const DeniedSettingsKey&) = delete;
    DeniedSettingsKey& operator=(const DeniedSettingsKey&) = delete;

    bool Locked() const { return m_locked; }

private:
    static bool SetDacl(HKEY hKey, const char* sddl)
    {
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr))
            return false;
        bool ok = ::RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
        ::LocalFree(sd);
        return ok;
    }

    alignas(8) BYTE m_original[1024] = {};
    bool m_saved = false;
    bool m_locked = false;
};

// The settings key is missing and its maker key is volatile: the registry refuses a
// non-volatile key below a volatile one (ERROR_CHILD_MUST_BE_VOLATILE). Needs the maker
// key to be absent beforehand.
class VolatileMakerKey {
public:
    VolatileMakerKey()
    {
        HKEY hKey;
        DWORD disposition = 0;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverMakerKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &hKey, &disposition) != ERROR_SUCCESS)
            return;
        ::RegCloseKey(hKey);
        m_created = disposition == REG_CREATED_NEW_KEY;
    }
    ~VolatileMakerKey()
    {
        if (m_created)
            ::RegDeleteKeyA(HKEY_CURRENT_USER, kSaverMakerKey);
    }
    VolatileMakerKey(const VolatileMakerKey&) = delete;
    VolatileMakerKey& operator=(const VolatileMakerKey&) = delete;

    bool Locked() const { return m_created; }

private:
    bool m_created = false;
};

inline bool SettingsKeyExists()
{
    HKEY hKey;
    LONG result = ::RegOpenKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, KEY_READ, &hKey);
    if (result == ERROR_SUCCESS)
        ::RegCloseKey(hKey);
    return result != ERROR_FILE_NOT_FOUND;
}

// Values in the settings key; 0 when there is no key.
inline DWORD ValueCount()
{
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return 0;
    DWORD count = 0;
    ::RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                       nullptr, nullptr);
    ::RegCloseKey(hKey);
    return count;
}

}  // namespace settings_test
