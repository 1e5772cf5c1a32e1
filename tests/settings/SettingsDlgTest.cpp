// The settings record against the real registry of the test prefix: what a load reads
// and writes, what a save writes, and the clip times computed from the record.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "settings/SettingsDlg.h"
#include "settings/SettingsKeyLocks.h"

using settings_test::ValueCount;

namespace {

// The whole record on one line, so a mismatch shows every field at once.
std::string Describe(const CSettingsDlg& s)
{
    std::ostringstream o;
    o << "option=" << s.m_nViewSizeOption << " path='" << s.m_strClipPath.GetString() << "' size="
      << s.m_nCustomWidth << "x" << s.m_nCustomHeight << " loop=" << s.m_bLoop << " mute=" << s.m_bMute
      << " update=" << s.m_bAutoUpdate << " start=" << s.m_bStartTime << ":" << s.m_nStartHour << "h"
      << s.m_nStartMinute << "m" << s.m_nStartSecond << "s" << s.m_nStartMillisecond << "ms end="
      << s.m_bEndTime << ":" << s.m_nEndHour << "h" << s.m_nEndMinute << "m" << s.m_nEndSecond << "s"
      << s.m_nEndMillisecond << "ms";
    return o.str();
}

const std::string kDefaults =
    "option=2 path='' size=800x600 loop=1 mute=0 update=1 start=0:0h0m0s0ms end=0:0h0m0s0ms";

// A record in which no field has its default, both times set but disabled.
void FillDistinct(CSettingsDlg& s)
{
    s.m_nViewSizeOption = 0;
    s.m_strClipPath = "D:\\\xCA\xD3\xC6\xB5\\\xD5\x5C clip.avi";  // D:\视频\誠 clip.avi, 0x5C inside 誠
    s.m_nCustomWidth = 1234;
    s.m_nCustomHeight = 567;
    s.m_bLoop = 0;
    s.m_bMute = 1;
    s.m_bAutoUpdate = 0;
    s.m_bStartTime = 0;
    s.m_nStartHour = 1;
    s.m_nStartMinute = 2;
    s.m_nStartSecond = 3;
    s.m_nStartMillisecond = 4;
    s.m_bEndTime = 0;
    s.m_nEndHour = 5;
    s.m_nEndMinute = 6;
    s.m_nEndSecond = 7;
    s.m_nEndMillisecond = 8;
}

struct StoredValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

StoredValue ReadValue(const char* name)
{
    StoredValue v;
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return v;
    DWORD size = 0;
    if (::RegQueryValueExA(hKey, name, nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        v.found = ::RegQueryValueExA(hKey, name, nullptr, &v.type, v.data.data(), &size) == ERROR_SUCCESS;
        v.data.resize(size);
    }
    ::RegCloseKey(hKey);
    return v;
}

// A text value as stored, without its terminator (the ANSI query adds one where the
// data had none).
std::string StoredText(const char* name)
{
    StoredValue v = ReadValue(name);
    std::string text(v.data.begin(), v.data.end());
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::vector<BYTE> DwordBytes(DWORD value)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(p, p + sizeof(value));
}

std::vector<BYTE> TextBytes(const std::string& text)
{
    return std::vector<BYTE>(text.c_str(), text.c_str() + text.size() + 1);
}

void WriteValue(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &hKey, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(hKey, name, 0, type, static_cast<const BYTE*>(data), size));
    ::RegCloseKey(hKey);
}

void WriteDword(const char* name, DWORD value)
{
    WriteValue(name, REG_DWORD, &value, sizeof(value));
}

void DeleteValue(const char* name)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, KEY_ALL_ACCESS, &hKey));
    EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteValueA(hKey, name));
    ::RegCloseKey(hKey);
}

void CreateEmptyKey()
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &hKey, nullptr));
    ::RegCloseKey(hKey);
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { DeleteSettingsKey(); }

    ScopedSettingsKey m_restore;
};

}  // namespace

TEST_F(SettingsStore, FirstLoadCreatesTheKeyWithEveryDefault)
{
    ASSERT_FALSE(settings_test::SettingsKeyExists());
    CSettingsDlg s;
    ASSERT_TRUE(s.LoadSettings());
    EXPECT_EQ(kDefaults, Describe(s));

    struct Expected {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const Expected table[] = {
        { "Movie File Path", REG_SZ, TextBytes("") },
        { "View Size Option", REG_DWORD, DwordBytes(2) },
        { "View Size Width", REG_DWORD, DwordBytes(800) },
        { "View Size Height", REG_DWORD, DwordBytes(600) },
        { "Start Time", REG_DWORD, DwordBytes(0) },
        { "Start Hour", REG_DWORD, DwordBytes(0) },
        { "Start Minute", REG_DWORD, DwordBytes(0) },
        { "Start Second", REG_DWORD, DwordBytes(0) },
        { "Start Millisecond", REG_DWORD, DwordBytes(0) },
        { "End Time", REG_DWORD, DwordBytes(0) },
        { "End Hour", REG_DWORD, DwordBytes(0) },
        { "End Minute", REG_DWORD, DwordBytes(0) },
        { "End Second", REG_DWORD, DwordBytes(0) },
        { "End Millisecond", REG_DWORD, DwordBytes(0) },
        { "Loop Movie", REG_DWORD, DwordBytes(1) },
        { "Mute", REG_DWORD, DwordBytes(0) },
        { "Auto Update", REG_DWORD, DwordBytes(1) },
    };
    EXPECT_EQ(17u, ValueCount());
    for (const Expected& e : table) {
        SCOPED_TRACE(e.name);
        StoredValue v = ReadValue(e.name);
        ASSERT_TRUE(v.found);
        EXPECT_EQ(e.type, v.type);
        EXPECT_EQ(e.data, v.data);
    }
}

TEST_F(SettingsStore, EmptyKeyLoadsDefaultsAndWritesNothing)
{
    CreateEmptyKey();
    CSettingsDlg s;
    FillDistinct(s);  // a load starts from the defaults, not from what the record held
    ASSERT_TRUE(s.LoadSettings());
    EXPECT_EQ(kDefaults, Describe(s));
    EXPECT_EQ(0u, ValueCount());
}

TEST_F(SettingsStore, SaveThenLoadReproducesEveryField)
{
    CSettingsDlg saved;
    FillDistinct(saved);
    ASSERT_TRUE(saved.SaveSettings());

    StoredValue path = ReadValue("Movie File Path");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), path.type);
    EXPECT_EQ(TextBytes(saved.m_strClipPath.GetString()), path.data);
    EXPECT_EQ(DwordBytes(567), ReadValue("View Size Height").data);

    CSettingsDlg loaded;
    ASSERT_TRUE(loaded.LoadSettings());
    EXPECT_EQ(Describe(saved), Describe(loaded));
    EXPECT_EQ(17u, ValueCount());
}

TEST_F(SettingsStore, MissingValuesKeepTheirDefaultsAndTheRestLoads)
{
    CSettingsDlg saved;
    FillDistinct(saved);
    ASSERT_TRUE(saved.SaveSettings());
    DeleteValue("Movie File Path");
    DeleteValue("View Size Height");
    DeleteValue("Auto Update");

    CSettingsDlg loaded;
    ASSERT_TRUE(loaded.LoadSettings());
    saved.m_strClipPath.Empty();
    saved.m_nCustomHeight = 600;
    saved.m_bAutoUpdate = 1;
    EXPECT_EQ(Describe(saved), Describe(loaded));
    EXPECT_EQ(14u, ValueCount());  // a load with the key present never writes
}

TEST_F(SettingsStore, NumbersLoadUnclampedWhateverTheirType)
{
    CreateEmptyKey();
    WriteDword("View Size Option", 7);
    WriteDword("Start Minute", 75);
    const BYTE width[] = { 0x40, 0x01, 0x00, 0x00 };  // 320
    WriteValue("View Size Width", REG_BINARY, width, sizeof(width));
    WriteValue("View Size Height", REG_SZ, "abc", 4);  // four bytes: taken as they are
    WriteValue("Loop Movie", REG_SZ, "0", 2);
    WriteValue("Auto Update", REG_SZ, "zero", 5);  // five bytes: too long, default stays

    CSettingsDlg s;
    ASSERT_TRUE(s.LoadSettings());
    EXPECT_EQ(7, s.m_nViewSizeOption);
    EXPECT_EQ(75u, s.m_nStartMinute);
    EXPECT_EQ(320u, s.m_nCustomWidth);
    EXPECT_EQ(0x00636261u, s.m_nCustomHeight);
    EXPECT_EQ(0x0030, s.m_bLoop);  // '0' and its terminator
    EXPECT_EQ(1, s.m_bAutoUpdate);
}

TEST_F(SettingsStore, ClipPathOfUpTo259BytesLoadsAndALongerOneLoadsEmpty)
{
    struct Case {
        const char* what;
        std::string text;
        DWORD bytes;  // stored length, with or without the terminator
        bool loads;
    };
    const std::string p258 = "C:\\" + std::string(255, 'a');
    const std::string p259 = p258 + "b";
    const Case cases[] = {
        { "258 characters and terminator", p258, 259, true },
        { "259 characters and terminator", p259, 260, true },
        { "258 characters, no terminator", p258, 258, true },
        { "259 characters, no terminator", p259, 259, true },
        { "260 characters, no terminator", p259 + "c", 260, false },
        { "260 characters and terminator", p259 + "c", 261, false },
        { "short, no terminator", "C:\\clip.avi", 11, true },
        { "far too long", std::string(2000, 'x'), 2001, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteValue("Movie File Path", REG_SZ, c.text.c_str(), c.bytes);
        CSettingsDlg s;
        s.m_strClipPath = "left over";
        ASSERT_TRUE(s.LoadSettings());
        EXPECT_STREQ(c.loads ? c.text.c_str() : "", s.m_strClipPath.GetString());
        EXPECT_EQ(c.text, StoredText("Movie File Path"));  // still stored as it was
    }
}

TEST_F(SettingsStore, BadDataLeavesDefaultsLosesNothingElseAndStaysStored)
{
    CSettingsDlg saved;
    FillDistinct(saved);
    saved.m_nViewSizeOption = 3;
    saved.m_nCustomWidth = 1920;
    ASSERT_TRUE(saved.SaveSettings());
    WriteValue("View Size Option", REG_DWORD, "", 0);  // no bytes at all
    const BYTE eight[] = { 1, 2, 3, 4, 5, 6, 7, 8 };
    WriteValue("View Size Width", REG_DWORD, eight, sizeof(eight));
    const std::string longPath(300, 'p');
    WriteValue("Movie File Path", REG_SZ, longPath.c_str(), static_cast<DWORD>(longPath.size()));

    CSettingsDlg loaded;
    ASSERT_TRUE(loaded.LoadSettings());
    saved.m_nViewSizeOption = 2;
    saved.m_nCustomWidth = 800;
    saved.m_strClipPath.Empty();
    EXPECT_EQ(Describe(saved), Describe(loaded));

    EXPECT_EQ(0u, ReadValue("View Size Option").data.size());
    EXPECT_EQ(std::vector<BYTE>(eight, eight + sizeof(eight)), ReadValue("View Size Width").data);
    EXPECT_EQ(longPath, StoredText("Movie File Path"));
    EXPECT_EQ(17u, ValueCount());
}

TEST_F(SettingsStore, KeyThatCanBeNeitherOpenedNorCreatedFailsTheLoad)
{
    {
        settings_test::DeniedSettingsKey denied;
        ASSERT_TRUE(denied.Locked());
        CSettingsDlg s;
        FillDistinct(s);
        EXPECT_FALSE(s.LoadSettings());
        EXPECT_EQ(kDefaults, Describe(s));  // the defaults stay in memory
        EXPECT_FALSE(s.SaveSettings());
    }
    EXPECT_EQ(0u, ValueCount());  // nothing was written through the lock

    DeleteSettingsKey();
    settings_test::VolatileMakerKey volatileMaker;
    ASSERT_TRUE(volatileMaker.Locked()) << "Software\\Tollvane holds other keys";
    CSettingsDlg s;
    EXPECT_FALSE(s.LoadSettings());
    EXPECT_EQ(kDefaults, Describe(s));
    EXPECT_FALSE(settings_test::SettingsKeyExists());
}

TEST(ClipTimes, AreHundredNanosecondUnitsComputedWithoutWrapping)
{
    struct Case {
        UINT h, m, s, ms;
        ULONGLONG units;
    };
    const Case cases[] = {
        { 0, 0, 0, 0, 0 },
        { 1, 0, 0, 0, 36000000000ULL },
        { 0, 75, 0, 0, 45000000000ULL },  // 75 minutes are 75 x 60 seconds
        { 0, 0, 10, 0, 100000000ULL },
        { 1, 2, 3, 4, 37230040000ULL },
        { 0, 0, 0, 999999, 9999990000ULL },
        // Products that wrap at 32 bits: 1000 hours are 3.6e9 ms.
        { 1000, 0, 0, 0, 36000000000000ULL },
        { 0, 0, 500000, 0, 5000000000000ULL },
        { 0, 0xFFFFFFFFu, 0, 0, 2576980377000000000ULL },
        { 0, 0, 0, 0xFFFFFFFFu, 42949672950000ULL },
        // The most hours that fit in 64 bits of 100 ns units; beyond, the time saturates
        // rather than wrapping to a small value.
        { 512409557, 0, 0, 0, 18446744052000000000ULL },
        { 512409558, 0, 0, 0, ~0ULL },
        { 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, ~0ULL },
        { 0, 0, 0xFFFFFFFFu, 0, 42949672950000000ULL },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.h << "h " << c.m << "m " << c.s << "s " << c.ms << "ms");
        CSettingsDlg start;
        start.m_nStartHour = c.h;
        start.m_nStartMinute = c.m;
        start.m_nStartSecond = c.s;
        start.m_nStartMillisecond = c.ms;
        CSettingsDlg end;
        end.m_nEndHour = c.h;
        end.m_nEndMinute = c.m;
        end.m_nEndSecond = c.s;
        end.m_nEndMillisecond = c.ms;
        // Computed whether or not the times are enabled (they are not here).
        ULONGLONG t1 = 1, t2 = 1;
        start.GetClipTimes(&t1, &t2);
        EXPECT_EQ(c.units, t1);
        EXPECT_EQ(0u, t2);
        end.GetClipTimes(&t1, &t2);
        EXPECT_EQ(0u, t1);
        EXPECT_EQ(c.units, t2);
    }
}
