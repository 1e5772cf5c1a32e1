// lumaspire.scr and its settings key: created on a first start, and no saver at all
// when the key can be neither opened nor created.
#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"
#include "settings/SettingsKeyLocks.h"

namespace {

DWORD ReadDword(const char* name)
{
    DWORD value = 0xFFFFFFFF, size = sizeof(value);
    ::RegGetValueA(HKEY_CURRENT_USER, kSaverSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

class SettingsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ReadyForSaver();
        DeleteSettingsKey();
    }

    // Starts lumaspire.scr with args; true when it ended with exit code 0 and no window
    // of its own ever showed.
    static bool EndsWithoutAWindow(const std::string& args)
    {
        SaverProcess p;
        if (!p.Start(args))
            return false;
        bool sawWindow = false;
        bool ended = PumpUntil([&] {
            // A window that fails at WM_CREATE exists for a moment but is never shown.
            sawWindow = sawWindow || WaitForProcessWindow(p.Id(), nullptr, 0) != nullptr;
            return !p.Running();
        }, 15000);
        EXPECT_TRUE(ended) << args << " still runs";
        EXPECT_FALSE(sawWindow) << args << " showed a window";
        return ended && !sawWindow && p.WaitExit(0) == 0;
    }

    ScopedSettingsKey m_settings;
};

}  // namespace

TEST_F(SettingsEndToEnd, FirstFullScreenStartCreatesTheKeyWithItsDefaults)
{
    ASSERT_FALSE(settings_test::SettingsKeyExists());
    SaverProcess p;
    ASSERT_NE(nullptr, StartFullScreen(p));

    // The key is written while the window handles WM_CREATE.
    PumpUntil([] { return settings_test::ValueCount() >= 17; }, 5000);
    EXPECT_EQ(17u, settings_test::ValueCount());
    EXPECT_EQ(2u, ReadDword("View Size Option"));
    EXPECT_EQ(800u, ReadDword("View Size Width"));
    EXPECT_EQ(1u, ReadDword("Loop Movie"));
    EXPECT_EQ(1u, ReadDword("Auto Update"));

    PressKey(VK_SPACE);
    EXPECT_EQ(0u, p.WaitExit(10000));
}

TEST_F(SettingsEndToEnd, KeyDeniedToUsEndsEveryModeWithExitCodeZero)
{
    settings_test::DeniedSettingsKey denied;
    ASSERT_TRUE(denied.Locked());
    EXPECT_TRUE(EndsWithoutAWindow("/s"));
    EXPECT_TRUE(EndsWithoutAWindow("/c"));
}

TEST_F(SettingsEndToEnd, KeyThatCannotBeCreatedEndsEveryModeWithExitCodeZero)
{
    settings_test::VolatileMakerKey volatileMaker;
    ASSERT_TRUE(volatileMaker.Locked()) << "Software\\Tollvane holds other keys";
    EXPECT_TRUE(EndsWithoutAWindow("/s"));
    EXPECT_TRUE(EndsWithoutAWindow("/c"));
    EXPECT_FALSE(settings_test::SettingsKeyExists());
}
