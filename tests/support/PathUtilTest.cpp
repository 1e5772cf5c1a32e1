// FileExists, CreateDirectoryPath and the folder listing on the real file system, in a
// scratch folder under the temporary directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "support/FileList.h"
#include "support/PathUtil.h"
#include "support/SystemLibrary.h"

namespace {

bool IsDirectory(const std::string& path)
{
    return ::IsDirectory(path.c_str());
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

namespace {

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0],
                                                          static_cast<int>(wide.size()))) - 1);
    return wide;
}

// Wide paths, past MAX_PATH too.
std::wstring Long(const std::wstring& path)
{
    return L"\\\\?\\" + path;
}

bool MakeWideFile(const std::wstring& path)
{
    HANDLE h = ::CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

// A junction at link pointing to target (both wide, absolute); false where the file
// system has none.
bool MakeJunction(const std::wstring& link, const std::wstring& target)
{
    if (!::CreateDirectoryW(link.c_str(), nullptr))
        return false;
    HANDLE h = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring substitute = L"\\??\\" + target;
    std::vector<BYTE> buffer(8 + 8 + (substitute.size() + target.size() + 2) * sizeof(WCHAR));
    DWORD* header = reinterpret_cast<DWORD*>(buffer.data());
    WORD* fields = reinterpret_cast<WORD*>(buffer.data() + 8);
    header[0] = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT
    reinterpret_cast<WORD*>(buffer.data())[2] = static_cast<WORD>(buffer.size() - 8);
    fields[0] = 0;
    fields[1] = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    fields[2] = static_cast<WORD>((substitute.size() + 1) * sizeof(WCHAR));
    fields[3] = static_cast<WORD>(target.size() * sizeof(WCHAR));
    WCHAR* names = reinterpret_cast<WCHAR*>(buffer.data() + 16);
    memcpy(names, substitute.c_str(), (substitute.size() + 1) * sizeof(WCHAR));
    memcpy(names + substitute.size() + 1, target.c_str(), (target.size() + 1) * sizeof(WCHAR));
    DWORD returned = 0;
    const BOOL made = ::DeviceIoControl(h, 0x000900A4 /* FSCTL_SET_REPARSE_POINT */, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    ::CloseHandle(h);
    return made != FALSE;
}

const char* const kClips[] = { "mp4", "avi", "mkv", "ts" };

std::vector<std::string> List(const std::string& folder, int depth = 8, size_t most = 10000,
                              const volatile LONG* pGoOn = nullptr)
{
    FileNames names;
    ListFiles(folder.c_str(), kClips, 4, FileListLimits{ depth, most }, pGoOn, &names);
    std::vector<std::string> files;
    for (size_t i = 0; i < names.Count(); ++i)
        files.push_back(names.At(i));
    return files;
}

}  // namespace

TEST_F(PathUtil, AFolderIsListedInExplorersOrderWithItsSubfolders)
{
    const std::string d = m_root + "\\";
    ::CreateDirectoryA((d + "sub").c_str(), nullptr);
    ::CreateDirectoryA((d + "sub\\deeper").c_str(), nullptr);
    for (const char* name : { "clip 10.MP4", "clip 2.mp4", "Clip 9.avi", "notes.txt", "mp4", "中文 剪辑.mkv",
                              "sub\\clip 1.mkv", "sub\\deeper\\x.ts", "sub\\deeper\\y.tsx" })
        MakeFile(d + name);
    const std::vector<std::string> expected = { d + "clip 2.mp4", d + "Clip 9.avi", d + "clip 10.MP4",
                                                d + "中文 剪辑.mkv", d + "sub\\clip 1.mkv", d + "sub\\deeper\\x.ts" };
    EXPECT_EQ(expected, List(m_root));
    EXPECT_EQ(expected, List(m_root + "\\"));
    // Bounded: one level down, and three files.
    EXPECT_EQ(std::vector<std::string>(expected.begin(), expected.end() - 1), List(m_root, 1));
    EXPECT_EQ(std::vector<std::string>(expected.begin(), expected.begin() + 3), List(m_root, 8, 3));
    // A stop request ends the listing with what it has.
    const volatile LONG stopped = 0;
    EXPECT_TRUE(List(m_root, 8, 10000, &stopped).empty());
    EXPECT_TRUE(List(d + "no such folder").empty());
    EXPECT_TRUE(IsDirectory(m_root));
    EXPECT_FALSE(IsDirectory(d + "clip 2.mp4"));
    // Numbers as numbers where the system compares so, and case-insensitive throughout.
    EXPECT_LT(CompareNamesAsExplorer(L"clip 2", L"clip 10"), 0);
    EXPECT_EQ(0, CompareNamesAsExplorer(L"CLIP", L"clip"));
}

// Names the ANSI code page cannot hold and paths past MAX_PATH come as short names that
// open; a junction back to a parent folder lists nothing twice; 10,001 clips give 10,000.
TEST_F(PathUtil, AwkwardFoldersEndInNamesThatOpenOrInNothing)
{
    const std::wstring root = Wide(m_root);
    // A name with a Thai letter and one with a Cyrillic: code page 936 has the second only.
    ASSERT_TRUE(MakeWideFile(root + L"\\\x0e01 thai.mp4"));
    ASSERT_TRUE(MakeWideFile(root + L"\\\x0416 cyrillic.mp4"));
    // A folder whose own path is 259 bytes, a clip inside it.
    std::wstring deep = root + L"\\" + std::wstring(259 - m_root.size() - 1, L'd');
    ASSERT_TRUE(::CreateDirectoryW(Long(deep).c_str(), nullptr));
    ASSERT_TRUE(MakeWideFile(deep + L"\\long clip.mp4"));
    std::vector<std::string> files = List(m_root);
    ASSERT_EQ(3u, files.size());
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        EXPECT_LT(f.size(), static_cast<size_t>(MAX_PATH));
        EXPECT_TRUE(FileExists(f.c_str()));
    }
    EXPECT_NE(files.end(), std::find(files.begin(), files.end(), m_root + "\\Ж cyrillic.mp4"))
        << "held by the code page: as it is";

    // A junction to the folder itself.
    if (MakeJunction(root + L"\\loop", root)) {
        EXPECT_EQ(files, List(m_root));
    } else {
        std::printf("[ junction ] this file system makes none: the loop is not tried\n");
    }
    // The link itself first (never what it points to), and what ANSI paths cannot reach.
    ::RemoveDirectoryW((root + L"\\loop").c_str());
    ::DeleteFileW(Long(deep + L"\\long clip.mp4").c_str());
    ::DeleteFileW((root + L"\\\x0e01 thai.mp4").c_str());
    ::RemoveDirectoryW(Long(deep).c_str());
    RemoveTree(m_root);
    ASSERT_TRUE(::CreateDirectoryA(m_root.c_str(), nullptr));
    for (int i = 0; i <= 10000; ++i)
        MakeFile(m_root + "\\c" + std::to_string(i) + ".ts");
    files = List(m_root);
    ASSERT_EQ(10000u, files.size());
    EXPECT_EQ(m_root + "\\c0.ts", files.front());
    EXPECT_EQ(m_root + "\\c9999.ts", files.back());
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
