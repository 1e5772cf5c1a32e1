// XVersionInfo on the program itself, on files without a version block and on small
// DLLs whose version blocks walk through the file-type and OS tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/TestSupport.h"
#include "support/VersionInfo.h"

namespace {

std::string Describe(const XVersionRecord& r)
{
    return std::string(r.CompanyName) + "|" + r.LegalCopyright + "|" + r.FileDescription + "|" + r.Language + "|" +
           r.InternalName + "|" + r.OriginalFilename + "|" + r.ProductName + "|" + r.ProductVersion + "|" +
           r.FileVersionNumber + "|" + r.FileVersion + "|" + r.FileOS + "|" + r.FileType;
}

std::string LanguageName(DWORD language)
{
    char name[MAX_PATH] = {};
    ::VerLanguageNameA(language, name, sizeof(name));
    return name;
}

// Windows' VerQueryValueA gives a text's length in characters of the string stored as
// UTF-16; Wine gives the bytes of its ANSI copy, twice as many for a Chinese text. Every
// reader in this program meets the Windows count.
decltype(&::VerQueryValueA) g_wineVerQueryValue;

BOOL WINAPI WindowsVerQueryValue(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT length)
{
    if (!g_wineVerQueryValue(block, subBlock, value, length))
        return FALSE;
    wchar_t wide[MAX_PATH];
    void* stored;
    UINT characters;
    if (strncmp(subBlock, "\\StringFileInfo\\", 16) == 0 &&
        ::MultiByteToWideChar(CP_ACP, 0, subBlock, -1, wide, MAX_PATH) &&
        ::VerQueryValueW(block, wide, &stored, &characters) && length)
        *length = characters;
    return TRUE;
}

const bool g_windowsCounts = (g_wineVerQueryValue = reinterpret_cast<decltype(g_wineVerQueryValue)>(ReplaceImport(
                                  ::GetModuleHandleA(nullptr), "version.dll", "VerQueryValueA",
                                  reinterpret_cast<void*>(WindowsVerQueryValue)))) != nullptr;

}  // namespace

TEST(VersionInfo, ProgramItselfGivesEveryField)
{
    ASSERT_TRUE(g_windowsCounts);
    XVersionInfo info;
    ASSERT_EQ(1, info.Load(SaverPath().c_str()));
    EXPECT_EQ(0x080404B0u, info.GetTranslation());
    XVersionRecord r;
    ASSERT_EQ(1, info.GetVersionRecord(&r));
    EXPECT_EQ("Tollvane|版权所有 (C) 2026 Tollvane|Tollvane Lumaspire 屏幕保护程序|" + LanguageName(0x0804) +
                  "|lumaspire|lumaspire.scr|Tollvane Lumaspire|1.0.6.0|1.0.6.0|1.0.6.0|Unknown OS|Application",
              Describe(r));
    EXPECT_FALSE(LanguageName(0x0804).empty());

    // The same values by name, under the block's translation given or implied.
    char text[kVersionTextMax];
    EXPECT_TRUE(info.QueryString("ProductName", 0x080404B0, text, sizeof(text)));
    EXPECT_STREQ("Tollvane Lumaspire", text);
    EXPECT_FALSE(info.QueryString("NoSuchValue", 0, text, sizeof(text)));
    EXPECT_STREQ("", text);
    // A small buffer keeps whole double-byte characters only: 版 and 权 are two bytes each.
    char small[4];
    EXPECT_TRUE(info.QueryString("LegalCopyright", 0, small, sizeof(small)));
    EXPECT_STREQ("版", small);

    info.Release();
    info.Release();  // nothing left the second time
    EXPECT_EQ(0u, info.GetTranslation());
    XVersionRecord untouched;
    EXPECT_EQ(0, info.GetVersionRecord(&untouched));
    EXPECT_EQ(Describe(XVersionRecord()), Describe(untouched));
    EXPECT_FALSE(info.QueryString("ProductName", 0, text, sizeof(text)));

    // Loads again after a release; a null name means the running program (this test).
    EXPECT_EQ(1, info.Load(SaverPath().c_str()));
    XVersionInfo own;
    EXPECT_EQ(0, own.Load(nullptr));  // the test program has no version block
}

TEST(VersionInfo, FilesWithoutAVersionBlockLeaveTheRecordEmpty)
{
    const std::string files[] = { ExeDir() + "hold_file.exe", ExeDir() + "no such file.dll" };
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        XVersionInfo info;
        EXPECT_EQ(0, info.Load(file.c_str()));
        XVersionRecord r;
        EXPECT_EQ(0, info.GetVersionRecord(&r));
        EXPECT_EQ(Describe(XVersionRecord()), Describe(r));
    }
    XVersionInfo never;
    never.Release();
    never.Release();
}

TEST(VersionInfo, FixedInformationNamesTypeAndSystemByTheTables)
{
    struct Case {
        const char* dll;
        const char* type;  // "" where no row applies and the field keeps its value
        const char* os;
    };
    const Case cases[] = {
        { "unknown_type", "Unknown type", "MS-DOS" },
        { "app", "Application", "16-bit windows running on MS-DOS" },
        { "dll", "Dynamic link library", "Win32 API running on MS-DOS" },
        { "drv1", "Printer driver", "16-bit OS/2" },
        { "drv2", "Keyboard driver", "16-bit Presentation manager running on 16-bit OS/2" },
        { "drv3", "Language driver", "32-bit OS/2" },
        { "drv4", "Display driver", "Windows NT" },
        { "drv5", "Mouse driver", "Win32 API on Windows NT" },
        { "drv6", "Network driver", "Unknown OS" },
        { "drv7", "System driver", "Unknown OS" },
        { "drv8", "Installable driver", "Unknown OS" },
        { "drv9", "Sound driver", "Unknown OS" },
        { "drv10", "Unknown driver", "Win32 API on Windows NT" },
        { "font1", "Raster font", "Win32 API on Windows NT" },
        { "font2", "Vector font", "Win32 API on Windows NT" },
        { "font3", "Truetype font", "Win32 API on Windows NT" },
        { "font9", "Unknown font", "Win32 API on Windows NT" },
        { "vxd", "Virtual device", "Win32 API on Windows NT" },
        { "type6", "", "Win32 API on Windows NT" },
        { "static", "Static link library", "Win32 API on Windows NT" },
        { "type8", "", "Win32 API on Windows NT" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dll);
        XVersionInfo info;
        ASSERT_EQ(1, info.Load((ExeDir() + "version_" + c.dll + ".dll").c_str()));
        EXPECT_EQ(0x080404B0u, info.GetTranslation());
        XVersionRecord r;
        ASSERT_EQ(1, info.GetVersionRecord(&r));
        EXPECT_STREQ(c.type, r.FileType);
        EXPECT_STREQ(c.os, r.FileOS);
        EXPECT_STREQ("65535.2.3.65535", r.FileVersionNumber);
        EXPECT_STREQ("Block Maker", r.CompanyName);
        EXPECT_STREQ("版本块的说明文字", r.FileDescription);
        EXPECT_STREQ("65535.2.3.65535 text", r.FileVersion);
    }

    // A type without a row keeps what the field held.
    XVersionInfo info;
    ASSERT_EQ(1, info.Load((ExeDir() + "version_type6.dll").c_str()));
    XVersionRecord r;
    strcpy(r.FileType, "kept");
    info.GetVersionRecord(&r);
    EXPECT_STREQ("kept", r.FileType);
}

TEST(VersionInfo, StringsUnderAnotherTranslationComeOutEmpty)
{
    XVersionInfo info;
    ASSERT_EQ(1, info.Load((ExeDir() + "version_foreign.dll").c_str()));
    EXPECT_EQ(0x040904B0u, info.GetTranslation());
    XVersionRecord r;
    ASSERT_EQ(1, info.GetVersionRecord(&r));
    EXPECT_EQ("|||" + LanguageName(0x0409) + "|||||65535.2.3.65535||Win32 API on Windows NT|Application",
              Describe(r));
    // Asked for by their own translation they are there.
    char text[kVersionTextMax];
    EXPECT_TRUE(info.QueryString("ProductName", 0x080404B0, text, sizeof(text)));
    EXPECT_STREQ("Block Product", text);
}
