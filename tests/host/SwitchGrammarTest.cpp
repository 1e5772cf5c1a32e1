// The command-line scan and handle parsing, on any bytes.
#include <gtest/gtest.h>

#include <string>

#include "host/SaverHost.h"

TEST(SkipProgramName, QuotedAndPlainNames)
{
    EXPECT_STREQ("/s", SkipProgramName("\"C:\\Program Files\\lumaspire.scr\" /s"));
    EXPECT_STREQ("/p 123", SkipProgramName("C:\\WINDOWS\\lumaspire.scr \t /p 123"));
    EXPECT_STREQ("", SkipProgramName("lumaspire.scr"));
    EXPECT_STREQ("", SkipProgramName("\"unterminated name /s"));
    EXPECT_STREQ("", SkipProgramName(""));
    // A quote right after the name does not end the argument scan early.
    EXPECT_STREQ("/c", SkipProgramName("\"a.scr\"/c"));
}

TEST(SkipProgramName, DoubleByteNamesNeverRunPastTheEnd)
{
    // A code page 936 folder name (desktop) inside the quoted program name.
    const char quotedName[] = "\"C:\\\xD7\xC0\xC3\xE6\\a.scr\" /s";
    EXPECT_EQ(std::string("/s"), SkipProgramName(quotedName));
    const char dangling[] = "\xB2";  // a lead byte with the terminator as its pair
    EXPECT_EQ(dangling + 1, SkipProgramName(dangling));
    const char quotedDangling[] = "\"\xB2";
    const char* rest = SkipProgramName(quotedDangling);
    EXPECT_EQ('\0', *rest);
    EXPECT_LE(rest, quotedDangling + 2);
}

TEST(ParseHandle, DigitsOnlyWithWrapAround)
{
    EXPECT_EQ(0u, ParseHandle(""));
    EXPECT_EQ(0u, ParseHandle("abc"));
    EXPECT_EQ(0u, ParseHandle(" 12"));   // no blank skipping
    EXPECT_EQ(0u, ParseHandle("-12"));   // no sign
    EXPECT_EQ(1234u, ParseHandle("1234abc"));
    EXPECT_EQ(4294967295u, ParseHandle("4294967295"));
    EXPECT_EQ(0u, ParseHandle("4294967296"));
    EXPECT_EQ(705032704u, ParseHandle("5000000000"));              // 5e9 mod 2^32
    EXPECT_EQ(2313682944u, ParseHandle("10000000000000000000"));    // 1e19 mod 2^32
    EXPECT_EQ(12u, ParseHandle("12\xB2\x30"));  // stops at a double-byte character
}

TEST(ParseHandle, LongInputIsSafe)
{
    std::string digits(100000, '9');
    DWORD expected = 0;
    for (char c : digits)
        expected = expected * 10 + static_cast<DWORD>(c - '0');
    EXPECT_EQ(expected, ParseHandle(digits.c_str()));
}

TEST(HostMain, UnknownSwitchesExitWithMinusOne)
{
    HINSTANCE hInst = ::GetModuleHandleA(nullptr);
    EXPECT_EQ(-1, HostMain(hInst, "/x"));
    EXPECT_EQ(-1, HostMain(hInst, "\xB2\xE2"));
    EXPECT_EQ(-1, HostMain(hInst, "/p"));
    EXPECT_EQ(-1, HostMain(hInst, "-P 0"));
    EXPECT_EQ(-1, HostMain(hInst, "/l abc"));
    EXPECT_EQ(-1, HostMain(hInst, "/p 4294967296"));  // wraps to 0
}
