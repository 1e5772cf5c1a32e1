// The update description reader, the version comparison and the update directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <cstring>
#include <string>

#include "common/TestSupport.h"
#include "update/UpgradeDescription.h"
#include "update/XKeyValueFile.h"

namespace {

// The value of key at occurrence, or "<none>".
std::string ValueOf(const XKeyValueFile& file, const char* key, int occurrence = 0)
{
    char* value = nullptr;
    if (!file.GetValue(key, value, occurrence))
        return "<none>";
    std::string text = value;
    free(value);
    return text;
}

std::string TempFile(const char* name)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + name + std::to_string(::GetCurrentProcessId());
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    HANDLE hFile = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    DWORD written = 0;
    ::WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(hFile);
}

}  // namespace

TEST(KeyValueFile, GrammarTable)
{
    struct Case {
        const char* name;
        std::string text;
        const char* key;
        int occurrence;
        const char* value;  // "<none>" when the key is not found
    } cases[] = {
        { "LF lines", "version=1.0.7.0\nurl=http://h/s.exe\n", "url", 0, "http://h/s.exe" },
        { "CR LF lines, no CR kept", "version=1.0.7.0\r\nurl=http://h/s.exe\r\n", "version", 0, "1.0.7.0" },
        { "no final line end", "version=1.0.7.0\r\nurl=http://h/s.exe", "url", 0, "http://h/s.exe" },
        { "blanks and comment", "  version \t=  1.0.7.0 ; newest\n", "version", 0, "1.0.7.0" },
        { "blank inside a value", "name = a b\t\n", "name", 0, "a b" },
        { "'=' inside a value", "url=http://h/s.exe?a=1&b=2\n", "url", 0, "http://h/s.exe?a=1&b=2" },
        { "';' cuts a value", "url=http://h/a;b\n", "url", 0, "http://h/a" },
        { "value on a later line", "url=\nversion=1.0.7.0\n", "url", 0, "version=1.0.7.0" },
        { "... so no version key", "url=\nversion=1.0.7.0\n", "version", 0, "<none>" },
        { "line without '=' joins the next", "garbage\nversion=1.0.7.0\n", "version", 0, "<none>" },
        { "... into one key", "garbage\nversion=1.0.7.0\n", "garbage\nversion", 0, "1.0.7.0" },
        { "comment inside a key", "ab ;x\ncd=1\n", "ab ;x\ncd", 0, "1" },
        { "line starting with '='", "=abc\n", "=", 0, "abc" },
        { "byte-order mark is part of the key", "\xEF\xBB\xBFversion=1\n", "version", 0, "<none>" },
        { "... as its first bytes", "\xEF\xBB\xBFversion=1\n", "\xEF\xBB\xBFversion", 0, "1" },
        { "case-sensitive", "Version=1.0.7.0\n", "version", 0, "<none>" },
        { "first of two", "version=1\nversion=2\n", "version", 0, "1" },
        { "second of two", "version=1\nversion=2\n", "version", 1, "2" },
        { "no third", "version=1\nversion=2\n", "version", 2, "<none>" },
        { "comment lines", "; about\n;\nversion=3 ;x\n", "version", 0, "3" },
        { "final comment without line end", "version=4\n; end", "version", 0, "4" },
        { "comment without line end ends a key", "version=4\nurl ; x", "url", 0, "<none>" },
        { "key at the end without value", "version=4\nurl=", "url", 0, "<none>" },
        { "key without '=' at the end", "version=4\nurl", "version", 0, "4" },
        { "empty text", "", "version", 0, "<none>" },
        { "key is exact, not a prefix", "version2=5\n", "version", 0, "<none>" },
        { "value starting with '='", "k = =x\n", "k", 0, "=x" },
        { "GBK bytes as they are", "name=\xD6\xD0\xCE\xC4\n", "name", 0, "\xD6\xD0\xCE\xC4" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XKeyValueFile file;
        ASSERT_TRUE(file.Parse(c.text.data(), c.text.size()));
        EXPECT_EQ(c.value, ValueOf(file, c.key, c.occurrence));
    }
}

TEST(KeyValueFile, GetValueReplacesTheCallersStringOnlyOnSuccess)
{
    const std::string text = "a=1\nb=22\n";
    XKeyValueFile file;
    ASSERT_TRUE(file.Parse(text.data(), text.size()));
    EXPECT_EQ(2, file.GetPairCount());
    char* value = nullptr;
    ASSERT_TRUE(file.GetValue("a", value));
    ASSERT_TRUE(file.GetValue("b", value));  // frees "1"
    EXPECT_STREQ("22", value);
    EXPECT_FALSE(file.GetValue("c", value));
    EXPECT_FALSE(file.GetValue(nullptr, value));
    EXPECT_STREQ("22", value);
    free(value);
}

TEST(KeyValueFile, LoadsTheFileAndKeepsItsOwnCopy)
{
    const std::string path = TempFile("lumaspire-kv-");
    WriteFile(path, "version=1.0.7.0\r\nurl=http://h/setup.exe\r\nurl2=http://h/x\r\n");
    XKeyValueFile file(path.c_str());
    ::DeleteFileA(path.c_str());
    EXPECT_EQ("1.0.7.0", ValueOf(file, kUpgradeKeyVersion));
    EXPECT_EQ("http://h/setup.exe", ValueOf(file, kUpgradeKeyUrl));
    EXPECT_EQ("http://h/x", ValueOf(file, kUpgradeKeyUrl2));

    WriteFile(path, "");
    XKeyValueFile empty(path.c_str());
    ::DeleteFileA(path.c_str());
    EXPECT_EQ(0, empty.GetPairCount());
    XKeyValueFile missing(path.c_str());
    EXPECT_EQ(0, missing.GetPairCount());
    XKeyValueFile none(nullptr);
    EXPECT_EQ("<none>", ValueOf(none, "version"));
}

TEST(KeyValueFile, RandomBytesNeverCrashIt)
{
    srand(13);
    const char alphabet[] = "ab=;= \t\r\n\n;=\xA1\xFF";
    for (int round = 0; round < 3000; ++round) {
        std::string text(rand() % 64, '\0');
        for (char& c : text)
            c = rand() % 2 ? alphabet[rand() % (sizeof(alphabet) - 1)] : static_cast<char>(rand());
        XKeyValueFile file;
        ASSERT_TRUE(file.Parse(text.data(), text.size()));
        // Every pair found has a key and a value within the text.
        for (const char* key : { "a", "b", "ab", "=", "\n" }) {
            for (int occurrence = 0; occurrence < 3; ++occurrence) {
                char* value = nullptr;
                if (file.GetValue(key, value, occurrence)) {
                    EXPECT_LE(strlen(value), text.size());
                    free(value);
                }
            }
        }
    }
}

// Only forward: an old release's valid signature must never bring it back.
TEST(UpgradeDescription, OnlyANewerFourNumberVersionIsOffered)
{
    struct Case {
        const char* offered;
        bool newer;
    } cases[] = {
        { "1.0.7.0", true },      { "1.0.6.1", true },      { "2.0.0.0", true },       { "1.0.10.0", true },
        { "01.0.6.1", true },     { "1.0.6.0", false },     { "1.0.5.9", false },      { "0.9.99.99", false },
        { "1.0.6", false },       { "1.0.7", false },       { "1.0.7.0.0", false },    { "1.0.7.0 ", false },
        { " 1.0.7.0", false },    { "1.0.+7.0", false },    { "1.0.-7.0", false },     { "1.0.65536.0", false },
        { "1.0.100000.0", false }, { "1.0..0", false },     { "1,0,7,0", false },      { "", false },
        { nullptr, false },       { "1.0.65535.0", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offered ? c.offered : "(null)");
        EXPECT_EQ(c.newer, IsNewerVersion("1.0.6.0", c.offered));
    }
    // An own version that is no a.b.c.d offers nothing.
    EXPECT_FALSE(IsNewerVersion("1.0.6", "1.0.7.0"));
}

TEST(UpgradeDescription, UpdateDirectoryNeedsAUsableTempPath)
{
    char temp[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
    char dir[MAX_PATH] = {};
    ASSERT_TRUE(GetUpdateDirectory(dir, sizeof(dir)));
    EXPECT_EQ(std::string(temp) + "kovatemp", dir);
    EXPECT_FALSE(GetUpdateDirectory(dir, strlen(temp) + 8));  // no room for the terminator

    // GetTempPathA takes TMP first, then TEMP.
    char savedTmp[32768] = {}, savedTemp[32768] = {};
    DWORD hadTmp = ::GetEnvironmentVariableA("TMP", savedTmp, sizeof(savedTmp));
    DWORD hadTemp = ::GetEnvironmentVariableA("TEMP", savedTemp, sizeof(savedTemp));
    struct Case {
        size_t length;
        bool usable;
    } cases[] = { { 200, true }, { 238, true }, { 239, false }, { 251, false }, { 400, false } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        // "C:\ddd...d\": length bytes with the backslash GetTempPathA ends it with.
        std::string path = "C:\\" + std::string(c.length - 4, 'd') + "\\";
        ASSERT_EQ(c.length, path.size());
        ::SetEnvironmentVariableA("TMP", path.c_str());
        ::SetEnvironmentVariableA("TEMP", path.c_str());
        memset(dir, 'x', sizeof(dir));
        EXPECT_EQ(c.usable, GetUpdateDirectory(dir, sizeof(dir)));
        EXPECT_EQ(c.usable ? path + "kovatemp" : std::string(), dir);
    }
    ::SetEnvironmentVariableA("TMP", hadTmp ? savedTmp : nullptr);
    ::SetEnvironmentVariableA("TEMP", hadTemp ? savedTemp : nullptr);
}

namespace {

// A link at the update folder, as Windows shows one (Wine makes none): the stand-ins
// report it until it is removed; everything else is the real file system's.
struct LinkStandIn {
    static bool linked;         // the folder's path is a link
    static bool removable;      // removing it works
    static bool swappedAtOpen;  // a link is put in its place between the look and the open
    static int removals;

    static DWORD WINAPI Attributes(LPCSTR path)
    {
        return linked ? FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT : ::GetFileAttributesA(path);
    }
    static BOOL WINAPI Remove(LPCSTR)
    {
        ++removals;
        linked = linked && !removable;
        return removable;
    }
    static BOOL WINAPI Information(HANDLE h, LPBY_HANDLE_FILE_INFORMATION info)
    {
        BOOL ok = ::GetFileInformationByHandle(h, info);
        if (swappedAtOpen)
            info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        return ok;
    }
};
bool LinkStandIn::linked, LinkStandIn::removable, LinkStandIn::swappedAtOpen;
int LinkStandIn::removals;

}  // namespace

TEST(UpgradeDescription, UpdateFolderThatIsALinkIsMadeAnewAndTheFolderIsHeld)
{
    const FolderApi api = { LinkStandIn::Attributes, LinkStandIn::Remove, LinkStandIn::Remove, ::CreateDirectoryA,
                            ::CreateFileA, LinkStandIn::Information };
    const std::string dir = ExeDir() + "update-folder-test", moved = dir + "-moved";
    struct Case {
        const char* name;
        bool linked, removable, swapped, plainThere;
        bool usable;
        int removals;
    } cases[] = {
        { "a link", true, true, false, false, true, 1 },
        { "a link that cannot be removed", true, false, false, false, false, 2 },
        { "a link swapped in after the look", false, true, true, false, false, 0 },
        { "a plain folder, kept as it is", false, true, false, true, true, 0 },
        { "no folder yet", false, true, false, false, true, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& folder : { moved, dir }) {
            ::DeleteFileA((folder + "\\upgrade.txt").c_str());
            ::RemoveDirectoryA(folder.c_str());
            ASSERT_FALSE(PathExists(folder));
        }
        if (c.plainThere) {
            ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
            { std::ofstream(dir + "\\upgrade.txt") << "version=1.0.7.0"; }
        }
        LinkStandIn::linked = c.linked;
        LinkStandIn::removable = c.removable;
        LinkStandIn::swappedAtOpen = c.swapped;
        LinkStandIn::removals = 0;
        ScopedHandle hold;
        EXPECT_EQ(c.usable, PrepareUpdateFolderWith(api, dir.c_str(), hold));
        EXPECT_EQ(c.removals, LinkStandIn::removals);
        EXPECT_EQ(c.usable, static_cast<bool>(hold));
        if (c.usable) {
            EXPECT_TRUE(IsPlainFolderWith(api, hold));
            EXPECT_EQ(c.plainThere, PathExists(dir + "\\upgrade.txt"));
            EXPECT_FALSE(::MoveFileA(dir.c_str(), moved.c_str())) << "renamed while held";
            LinkStandIn::swappedAtOpen = true;
            EXPECT_FALSE(IsPlainFolderWith(api, hold)) << "a link now";
            hold.Reset();
            EXPECT_TRUE(::MoveFileA(dir.c_str(), moved.c_str())) << "still held";
        }
    }
    ::RemoveDirectoryA(moved.c_str());
    ::RemoveDirectoryA(dir.c_str());
    // The same with the system's own functions: a plain folder.
    ScopedHandle hold;
    EXPECT_TRUE(PrepareUpdateFolder(dir.c_str(), hold));
    EXPECT_TRUE(IsPlainFolder(hold));
    hold.Reset();
    EXPECT_TRUE(::RemoveDirectoryA(dir.c_str()));
}
