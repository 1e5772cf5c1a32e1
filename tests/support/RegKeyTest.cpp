// The key holder's rules: what Close reports, and that Open and Create only let go of
// the key held so far once the new one is theirs.
#include <gtest/gtest.h>

#include <string>

#include "support/Scoped.h"

namespace {

const char kScratch[] = "Software\\LumaspireTests\\RegKey";

bool IsOpenKey(HKEY hKey)
{
    return ::RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

class RegKeyHolder : public ::testing::Test {
protected:
    void SetUp() override { DeleteScratch(); }
    void TearDown() override { DeleteScratch(); }

    static void DeleteScratch()
    {
        for (const char* sub : { "\\Volatile\\Child", "\\Volatile", "\\Second", "" })
            ::RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(kScratch) + sub).c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\LumaspireTests");
    }
};

}  // namespace

TEST_F(RegKeyHolder, CloseReportsZeroWhenNothingIsHeld)
{
    CRegKey key;
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kScratch));
    HKEY held = key.m_hKey;
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
    EXPECT_EQ(nullptr, key.m_hKey);
    EXPECT_FALSE(IsOpenKey(held));
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
}

TEST_F(RegKeyHolder, CreateOverAHeldKeyClosesItAndHoldsTheNewOne)
{
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kScratch));
    HKEY first = key.m_hKey;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, (std::string(kScratch) + "\\Second").c_str()));
    EXPECT_NE(first, key.m_hKey);
    EXPECT_FALSE(IsOpenKey(first));

    DWORD value = 42;
    ASSERT_EQ(ERROR_SUCCESS, key.SetValue("v", REG_DWORD, &value, sizeof(value)));
    DWORD read = 0, size = sizeof(read);
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueA(HKEY_CURRENT_USER, (std::string(kScratch) + "\\Second").c_str(), "v",
                                            RRF_RT_REG_DWORD, nullptr, &read, &size));
    EXPECT_EQ(42u, read);
}

TEST_F(RegKeyHolder, FailedOpenOrCreateKeepsTheHeldKey)
{
    HKEY hVolatile;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kScratch) + "\\Volatile").c_str(), 0,
                                               nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &hVolatile,
                                               nullptr));
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, kScratch));
    HKEY held = key.m_hKey;

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_CURRENT_USER, "Software\\LumaspireTests\\Missing"));
    EXPECT_EQ(held, key.m_hKey);
    // A non-volatile key cannot live below a volatile one.
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, key.Create(hVolatile, "Child"));
    EXPECT_EQ(held, key.m_hKey);
    EXPECT_TRUE(IsOpenKey(held));
    ::RegCloseKey(hVolatile);
}

TEST_F(RegKeyHolder, FailedCloseOfTheHeldKeyFailsTheCreate)
{
    CRegKey key;
    key.Attach(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x0FFFFFFC)));  // no such handle
    EXPECT_EQ(ERROR_INVALID_HANDLE, key.Create(HKEY_CURRENT_USER, kScratch));
    EXPECT_EQ(nullptr, key.m_hKey);
}
