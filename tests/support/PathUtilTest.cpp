// FileExists and CreateDirectoryPath on the real file system, in a scratch folder under
// the temporary directory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/TestSupport.h"
#include "support/PathUtil.h"
#include "support/SystemLibrary.h"

namespace {

bool IsDirectory(const std::string& path)
{
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Entries of dir, "." and ".." left out.
int EntryCount(const std::string& dir)
{
    int n = 0;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    do {
        std::string name = fd.cFileName;
        if (name != "." && name != "..")
            ++n;
    } while (::FindNextFileA(hFind, &fd));
    ::FindClose(hFind);
    return n;
}

void MakeFile(const std::string& path)
{
    HANDLE hFile = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    ::CloseHandle(hFile);
}

class PathUtil : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
        m_root = std::string(temp) + "lumaspire-path-" + std::to_string(::GetCurrentProcessId());
        RemoveTree(m_root);
        ASSERT_TRUE(::CreateDirectoryA(m_root.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(m_root); }

    std::string m_root;  // no trailing backslash
};

// Changes the current directory for one test.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::string& dir)
    {
        ::GetCurrentDirectoryA(MAX_PATH, m_saved);
        ::SetCurrentDirectoryA(dir.c_str());
    }
    ~ScopedCurrentDirectory() { ::SetCurrentDirectoryA(m_saved); }

private:
    char m_saved[MAX_PATH] = {};
};

}  // namespace

TEST_F(PathUtil, FileExistsOnlyForFilesThatCanBeOpened)
{
    EXPECT_EQ(0, FileExists(nullptr));
    EXPECT_EQ(0, FileExists((m_root + "\\missing.avi").c_str()));
    EXPECT_EQ(0, FileExists(m_root.c_str()));  // a directory is not a file
    MakeFile(m_root + "\\clip.avi");
    EXPECT_EQ(1, FileExists((m_root + "\\clip.avi").c_str()));
}

TEST_F(PathUtil, FileHeldExclusivelyByAnotherProcessStillExists)
{
    const std::string file = m_root + "\\held.avi";
    MakeFile(file);
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string readyName = "LumaspireHoldReady" + tag, releaseName = "LumaspireHoldRelease" + tag;
    HANDLE hReady = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE hRelease = ::CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    ASSERT_TRUE(hReady && hRelease);

    SaverProcess holder;
    ASSERT_TRUE(holder.Start("\"" + file + "\" " + readyName + " " + releaseName, ExeDir() + "hold_file.exe"));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hReady, 15000)) << "the holder did not open the file";

    // Really exclusive: reading it is refused while the other process holds it.
    HANDLE hRead = ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, hRead);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    if (hRead != INVALID_HANDLE_VALUE)
        ::CloseHandle(hRead);

    EXPECT_EQ(1, FileExists(file.c_str()));

    ::SetEvent(hRelease);
    EXPECT_EQ(0u, holder.WaitExit(15000));
    ::CloseHandle(hReady);
    ::CloseHandle(hRelease);
}

TEST_F(PathUtil, CreatesEveryLevelAndCountsAnExistingDirectoryAsSuccess)
{
    const std::string deep = m_root + "\\a\\b\\c";
    EXPECT_EQ(0, CreateDirectoryPath(nullptr, 1));
    EXPECT_NE(0, CreateDirectoryPath(deep.c_str(), 1));
    EXPECT_TRUE(IsDirectory(deep));
    EXPECT_NE(0, CreateDirectoryPath(deep.c_str(), 1));  // every level there already

    // Without createLast the text after the last backslash is not a directory.
    const std::string file = m_root + "\\x\\y\\clip.avi";
    EXPECT_NE(0, CreateDirectoryPath(file.c_str(), 0));
    EXPECT_TRUE(IsDirectory(m_root + "\\x\\y"));
    EXPECT_FALSE(PathExists(file));

    // A trailing backslash ends the last level itself, with or without createLast.
    EXPECT_NE(0, CreateDirectoryPath((m_root + "\\t1\\u\\").c_str(), 1));
    EXPECT_TRUE(IsDirectory(m_root + "\\t1\\u"));
    EXPECT_NE(0, CreateDirectoryPath((m_root + "\\t0\\u\\").c_str(), 0));
    EXPECT_TRUE(IsDirectory(m_root + "\\t0\\u"));

    // A file where the last level should be: reported as there, as the caller's own
    // file open finds out anyway.
    MakeFile(m_root + "\\f");
    EXPECT_NE(0, CreateDirectoryPath((m_root + "\\f").c_str(), 1));

    // A missing middle level that cannot be made fails the last one.
    EXPECT_EQ(0, CreateDirectoryPath((m_root + "\\f\\g\\h").c_str(), 1));
}

TEST_F(PathUtil, PathWithoutBackslashIsOneLevelOnlyWithCreateLast)
{
    ScopedCurrentDirectory cd(m_root);
    EXPECT_NE(0, CreateDirectoryPath("single", 0));
    EXPECT_EQ(0, EntryCount(m_root));
    EXPECT_NE(0, CreateDirectoryPath("single", 1));
    EXPECT_TRUE(IsDirectory(m_root + "\\single"));
    EXPECT_EQ(1, EntryCount(m_root));
}

TEST_F(PathUtil, OnlyBackslashesDivideLevels)
{
    // "m/n" is one level to us: with m missing it cannot be made in one step.
    EXPECT_EQ(0, CreateDirectoryPath((m_root + "\\m/n\\o").c_str(), 1));
    EXPECT_EQ(0, EntryCount(m_root));

    ASSERT_TRUE(::CreateDirectoryA((m_root + "\\m").c_str(), nullptr));
    EXPECT_NE(0, CreateDirectoryPath((m_root + "\\m/n\\o").c_str(), 1));
    EXPECT_TRUE(IsDirectory(m_root + "\\m\\n\\o"));
}

TEST_F(PathUtil, DoubleByteCharacterEndingIn5CIsNeverCut)
{
    if (::GetACP() != 936)
        GTEST_SKIP() << "needs code page 936, found " << ::GetACP();
    // 誠表: the second byte of 誠 is 0x5C. Cutting there would add a level named 誠
    // beside 誠表 at each step.
    const std::string word = "\xD5\x5C\xB1\xED";
    const std::string path = m_root + "\\" + word + "\\" + word;
    EXPECT_NE(0, CreateDirectoryPath(path.c_str(), 1));
    EXPECT_TRUE(IsDirectory(path));
    EXPECT_EQ(1, EntryCount(m_root));
    EXPECT_EQ(1, EntryCount(m_root + "\\" + word));
}

TEST_F(PathUtil, PathLongerThanTheBufferCreatesNothing)
{
    std::string fits = m_root + "\\";
    fits += std::string(259 - fits.size() - 2, 'd') + "\\e";  // 259 bytes
    ASSERT_EQ(259u, fits.size());
    EXPECT_NE(0, CreateDirectoryPath(fits.c_str(), 1));
    EXPECT_TRUE(IsDirectory(fits));
    RemoveTree(m_root);
    ASSERT_TRUE(::CreateDirectoryA(m_root.c_str(), nullptr));

    for (size_t size : { 260u, 261u, 1000u }) {
        SCOPED_TRACE(size);
        std::string tooLong = m_root + "\\";
        tooLong += std::string(size - tooLong.size() - 2, 'd') + "\\e";
        ASSERT_EQ(size, tooLong.size());
        ::SetLastError(0);
        EXPECT_EQ(0, CreateDirectoryPath(tooLong.c_str(), 1));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), ::GetLastError());
        EXPECT_EQ(0, EntryCount(m_root));
    }
}

// Where Windows has no SetDefaultDllDirectories (7 without its loader update, XP, 9x; this
// program never calls it), a library loaded by its bare name comes from the program's own
// folder first: one planted there under a system library's name is never the one loaded.
// Wine would take its built-in library by that name anyway; told to prefer a file, as
// Windows does, it looks where Windows looks.
TEST_F(PathUtil, SystemLibrariesComeFromTheSystemFolderWhateverLiesBesideTheProgram)
{
    const char* name = "mfreadwrite.dll";  // one this program has not loaded
    ASSERT_EQ(nullptr, ::GetModuleHandleA(name));
    ScopedRegValue preferFiles("Software\\Wine\\AppDefaults\\support_tests.exe\\DllOverrides", "mfreadwrite",
                               "native,builtin");
    const std::string planted = ExeDir() + name, log = m_root + "\\planted.log";
    ASSERT_TRUE(::CopyFileA((ExeDir() + "planted.dll").c_str(), planted.c_str(), FALSE));
    ::SetEnvironmentVariableA("LUMASPIRE_PLANTED_LOG", log.c_str());
    HMODULE hModule = LoadSystemLibrary(name);
    char path[MAX_PATH] = {}, system[MAX_PATH] = {};
    ::GetModuleFileNameA(hModule, path, MAX_PATH);
    ::GetSystemDirectoryA(system, MAX_PATH);
    if (hModule)
        ::FreeLibrary(hModule);
    ::SetEnvironmentVariableA("LUMASPIRE_PLANTED_LOG", nullptr);
    ::DeleteFileA(planted.c_str());
    EXPECT_NE(nullptr, hModule);
    EXPECT_EQ(0, _strnicmp(path, system, strlen(system))) << path;
    EXPECT_EQ("", ReadAll(log)) << "the planted library was loaded";
}
