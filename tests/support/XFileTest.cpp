// The file loader on real files and on a pack put into slot 0 of the pack table, and
// the path hash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/TestSupport.h"
#include "support/ErrorText.h"
#include "support/PathKey.h"
#include "support/XFile.h"

namespace {

std::string ScratchPath(const char* name)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "lumaspire-xfile-" + std::to_string(::GetCurrentProcessId()) + "-" + name;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE hFile = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ::CloseHandle(hFile);
}

std::string Contents(const XFile& file)
{
    return file.GetData() ? std::string(reinterpret_cast<const char*>(file.GetData()), file.GetSize()) : "<null>";
}

const std::string kReadHead = "\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xCE\xC4\xBC\xFE!\n\n";  // 无法读取文件!

}  // namespace

TEST(PathKey, WorkedHashValuesAndKeyFolding)
{
    struct Hash {
        const char* text;
        uint64_t value;
    } hashes[] = {
        { "", 0x765DBB92514FF88Full },
        { "abc", 0x566BF89310E668B5ull },
        { "abcd", 0x636E2AC8BFDBDC66ull },
        { "\\readme.txt", 0x93F50256EAD82B99ull },  // 11 bytes: two words and a partial one
    };
    for (const Hash& h : hashes) {
        SCOPED_TRACE(h.text);
        EXPECT_EQ(h.value, HashString(h.text));
    }
    // Bytes after the terminator never count.
    const char padded[] = { 'a', 'b', 'c', '\0', 'x', 'y' };
    EXPECT_EQ(0x566BF89310E668B5ull, HashString(padded));

    const uint32_t readme = 0xEAD82B99u;
    struct Key {
        const char* path;
        uint32_t key;
    } keys[] = {
        { "data/Readme.TXT", readme },
        { "other/readme.txt", readme },
        { "/README.TXT", readme },
        { "x/readme.txt", readme },
        { "C:\\Temp\\kovatemp\\upgrade.txt", 0 },  // no '/'
        { "", 0 },
        { nullptr, 0 },
        { "pack/a/b", static_cast<uint32_t>(HashString("\\a\\b")) },
        { "pack/a\\B", static_cast<uint32_t>(HashString("\\a\\b")) },
        { "p/\xD6\xD0.txt", static_cast<uint32_t>(HashString("\\\xD6\xD0.txt")) },  // other bytes as they are
    };
    for (const Key& k : keys) {
        SCOPED_TRACE(k.path ? k.path : "(null)");
        EXPECT_EQ(k.key, MakePathKey(k.path));
    }
    // A key text longer than any fixed buffer still hashes all of it.
    std::string longPath = "p/" + std::string(600, 'a');
    EXPECT_NE(MakePathKey(longPath.c_str()), MakePathKey((longPath + "b").c_str()));
}

TEST(XFileLoad, DiskFilesAndFailures)
{
    const std::string first = ScratchPath("first"), second = ScratchPath("second"), empty = ScratchPath("empty");
    WriteBytes(first, std::string("one\0two", 7));
    WriteBytes(second, "2");
    WriteBytes(empty, "");

    XFile file;
    file.Close();  // never loaded: nothing to free
    EXPECT_EQ(nullptr, file.GetData());

    ASSERT_EQ(1, file.Load(first.c_str()));
    EXPECT_EQ(std::string("one\0two", 7), Contents(file));
    ASSERT_EQ(1, file.Load(second.c_str()));  // the first block is freed
    EXPECT_EQ("2", Contents(file));
    ASSERT_EQ(1, file.Load(empty.c_str()));
    EXPECT_NE(nullptr, file.GetData());  // a valid block of no bytes
    EXPECT_EQ(0u, file.GetSize());

    // The file is not kept open after a load: it can be deleted at once.
    EXPECT_TRUE(::DeleteFileA(first.c_str()));
    EXPECT_EQ(0, file.Load(first.c_str()));
    EXPECT_EQ(nullptr, file.GetData());
    EXPECT_EQ(kReadHead + "XFile::Load(\"" + first + "\")", std::string(GetErrorText()).substr(0, kReadHead.size() + first.size() + 15));
    file.Close();
    ::DeleteFileA(second.c_str());
    ::DeleteFileA(empty.c_str());
}

TEST(XFileLoad, FileHeldWithoutReadSharingFails)
{
    const std::string path = ScratchPath("held");
    WriteBytes(path, "held");
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string readyName = "LumaspireXFileReady" + tag, releaseName = "LumaspireXFileRelease" + tag;
    HANDLE hReady = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE hRelease = ::CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    ASSERT_TRUE(hReady && hRelease);
    SaverProcess holder;
    ASSERT_TRUE(holder.Start("\"" + path + "\" " + readyName + " " + releaseName, ExeDir() + "hold_file.exe"));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hReady, 15000));

    XFile file;
    EXPECT_EQ(0, file.Load(path.c_str()));
    EXPECT_EQ(nullptr, file.GetData());

    ::SetEvent(hRelease);
    EXPECT_EQ(0u, holder.WaitExit(15000));
    EXPECT_EQ(1, file.Load(path.c_str()));  // and it loads once released
    EXPECT_EQ("held", Contents(file));
    ::CloseHandle(hReady);
    ::CloseHandle(hRelease);
    file.Close();
    ::DeleteFileA(path.c_str());
}

TEST(XFileLoad, PathNotOnDiskIsReadFromThePackInSlotZero)
{
    const std::string packPath = ScratchPath("pack");
    WriteBytes(packPath, "HEADER....readme!!icon");
    PackSlot& slot = g_packTable[0];
    ASSERT_EQ(INVALID_HANDLE_VALUE, slot.handle);  // no code of the program opens a pack
    slot.handle = ::CreateFileA(packPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, slot.handle);
    slot.entries = static_cast<PackEntry*>(malloc(3 * sizeof(PackEntry)));
    slot.entries[0] = { MakePathKey("x/readme.txt"), 10, 6 };
    slot.entries[1] = { MakePathKey("x/icon.ico"), 18, 4 };
    slot.entries[2] = { MakePathKey("x/readme.txt"), 1, 1 };  // a later duplicate is never found
    slot.entryCount = 3;

    EXPECT_EQ(&slot.entries[0], slot.FindEntry(MakePathKey("data/README.txt")));
    EXPECT_EQ(&slot.entries[1], slot.FindEntry(MakePathKey("x\\y/icon.ico")));
    EXPECT_EQ(nullptr, slot.FindEntry(12345));

    XFile file;
    ASSERT_EQ(1, file.Load("data/Readme.TXT"));
    EXPECT_EQ("readme", Contents(file));
    ASSERT_EQ(1, file.Load("any/icon.ico"));  // the pack's file pointer moves to each entry
    EXPECT_EQ("icon", Contents(file));
    ASSERT_EQ(1, file.Load("data/Readme.TXT"));
    EXPECT_EQ("readme", Contents(file));
    file.Close();  // leaves the pack's handle open
    EXPECT_NE(0u, ::GetFileSize(slot.handle, nullptr) + 1);
    EXPECT_EQ(0, file.Load("data/missing.txt"));
    EXPECT_EQ(0, file.Load("no-slash.txt"));  // key 0, found nowhere

    // An entry that runs past the end of the pack: only the bytes really read count.
    slot.entries[1].size = 100;
    ASSERT_EQ(1, file.Load("any/icon.ico"));
    EXPECT_EQ("icon", Contents(file));

    // An entry at offset 0 (where no entry can be) is not served, and the pack stays open.
    slot.entries[1].offset = 0;
    EXPECT_EQ(0, file.Load("any/icon.ico"));
    EXPECT_EQ(nullptr, file.GetData());
    ASSERT_EQ(1, file.Load("data/Readme.TXT"));
    EXPECT_EQ("readme", Contents(file));

    slot.entryCount = 0;
    EXPECT_EQ(nullptr, slot.FindEntry(MakePathKey("x/readme.txt")));
    slot.entryCount = -1;
    EXPECT_EQ(nullptr, slot.FindEntry(MakePathKey("x/readme.txt")));
    slot.Clear();
    EXPECT_EQ(INVALID_HANDLE_VALUE, slot.handle);
    EXPECT_EQ(nullptr, slot.entries);
    EXPECT_EQ(0, file.Load("data/Readme.TXT"));
    EXPECT_TRUE(::DeleteFileA(packPath.c_str()));  // Clear closed the pack
}
