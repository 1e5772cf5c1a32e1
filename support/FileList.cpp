#include "support/FileList.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>

#include "support/Scoped.h"
#include "support/SystemLibrary.h"

namespace {

typedef int(WINAPI* StrCmpLogical)(const wchar_t*, const wchar_t*);

StrCmpLogical LogicalCompare()
{
    // Windows XP and later; the library stays loaded for the process's life.
    static const StrCmpLogical compare = [] {
        HMODULE shlwapi = LoadSystemLibrary("shlwapi.dll");
        return shlwapi ? reinterpret_cast<StrCmpLogical>(::GetProcAddress(shlwapi, "StrCmpLogicalW")) : nullptr;
    }();
    return compare;
}

// Windows 95, 98 and Me have no wide-character file functions: their stubs fail.
bool WideFilesWork()
{
    return (::GetVersion() & 0x80000000u) == 0;
}

std::wstring Widen(const char* text)
{
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

// The text in the ANSI code page, only when every character survives the trip.
bool Narrow(const std::wstring& wide, std::string* pText)
{
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy)
        return false;
    std::string text(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], n, nullptr, &lossy);
    text.resize(static_cast<size_t>(n - 1));
    if (lossy || Widen(text.c_str()) != wide)
        return false;
    pText->swap(text);
    return true;
}

// A path the wide functions take past MAX_PATH characters.
std::wstring Extended(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

std::wstring Plain(const std::wstring& path)
{
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

// The ANSI path of a file named by its wide path: as it is, or in its short form.
bool AnsiPath(const std::wstring& wide, std::string* pPath)
{
    if (Narrow(wide, pPath) && pPath->size() < MAX_PATH)
        return true;
    const std::wstring full = Extended(wide);
    const DWORD n = ::GetShortPathNameW(full.c_str(), nullptr, 0);
    if (n == 0)
        return false;
    std::wstring shortPath(n, L'\0');
    const DWORD got = ::GetShortPathNameW(full.c_str(), &shortPath[0], n);
    if (got == 0 || got >= n)
        return false;
    shortPath.resize(got);
    return Narrow(Plain(shortPath), pPath) && pPath->size() < MAX_PATH;
}

bool HasExtension(const std::wstring& name, const char* const* extensions, size_t count)
{
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos)
        return false;
    const std::wstring ext = name.substr(dot + 1);
    for (size_t i = 0; i < count; ++i) {
        const char* e = extensions[i];
        size_t k = 0;
        for (; k < ext.size() && e[k]; ++k) {
            wchar_t c = ext[k];
            if (c >= L'A' && c <= L'Z')
                c = static_cast<wchar_t>(c - L'A' + L'a');
            if (c != static_cast<wchar_t>(e[k]))
                break;
        }
        if (k == ext.size() && !e[k])
            return true;
    }
    return false;
}

struct Entry {
    std::wstring name;  // for the order
    std::wstring wide;  // full path, for the wide functions
    std::string ansi;   // full path, for the rest of the program; empty: none
    bool folder;
};

bool ByName(const Entry& a, const Entry& b)
{
    return CompareNamesAsExplorer(a.name.c_str(), b.name.c_str()) < 0;
}

class Lister {
public:
    Lister(const char* const* extensions, size_t count, const FileListLimits& limits, const volatile LONG* pGoOn,
           std::vector<std::string>* pFiles)
        : m_extensions(extensions), m_count(count), m_limits(limits), m_pGoOn(pGoOn), m_pFiles(pFiles),
          m_listed(0)
    {
    }

    void List(const std::wstring& wide, const std::string& ansi, int depth)
    {
        if (!GoOn() || !FirstVisit(wide))
            return;
        std::vector<Entry> entries;
        if (WideFilesWork())
            ReadWide(wide, &entries);
        else
            ReadAnsi(ansi, &entries);
        std::sort(entries.begin(), entries.end(), ByName);
        for (const Entry& e : entries) {
            if (!e.folder && GoOn() && HasExtension(e.name, m_extensions, m_count) && !e.ansi.empty()) {
                m_pFiles->push_back(e.ansi);
                ++m_listed;
            }
        }
        if (depth >= m_limits.maxDepth)
            return;
        for (const Entry& e : entries) {
            if (e.folder)
                List(e.wide, e.ansi, depth + 1);
        }
    }

private:
    bool GoOn() const { return (!m_pGoOn || *m_pGoOn) && m_listed < m_limits.maxFiles; }

    // A junction or link back to a folder already listed would list it again and again,
    // down to the depth bound: every folder is known by its volume and file index.
    bool FirstVisit(const std::wstring& wide)
    {
        if (!WideFilesWork())
            return true;  // no junctions on these systems
        ScopedHandle folder(::CreateFileW(Extended(wide).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!folder || !::GetFileInformationByHandle(folder.Get(), &info))
            return true;  // the depth bound still holds
        return m_visited.insert(std::make_tuple(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow))
            .second;
    }

    void ReadWide(const std::wstring& folder, std::vector<Entry>* pEntries)
    {
        const std::wstring base = folder.empty() || folder.back() == L'\\' ? folder : folder + L'\\';
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW(Extended(base + L'*').c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return;  // cannot be read: skipped
        do {
            if (IsDots(data.cFileName))
                continue;
            Entry e;
            e.name = data.cFileName;
            e.wide = base + e.name;
            e.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (!AnsiPath(e.wide, &e.ansi))
                e.ansi.clear();
            pEntries->push_back(e);
        } while (GoOn() && pEntries->size() < kMostEntries && ::FindNextFileW(find, &data));
        ::FindClose(find);
    }

    void ReadAnsi(const std::string& folder, std::vector<Entry>* pEntries)
    {
        if (folder.empty())
            return;
        const std::string base = folder.back() == '\\' ? folder : folder + '\\';
        WIN32_FIND_DATAA data;
        HANDLE find = ::FindFirstFileA((base + '*').c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do {
            if (data.cFileName[0] == '.' && (!data.cFileName[1] || (data.cFileName[1] == '.' && !data.cFileName[2])))
                continue;
            // A name the code page cannot hold comes with question marks: its short name
            // is the one that opens.
            const bool lossy = strchr(data.cFileName, '?') != nullptr;
            const char* name = lossy ? data.cAlternateFileName : data.cFileName;
            if (!*name)
                continue;
            Entry e;
            e.ansi = base + name;
            if (e.ansi.size() >= MAX_PATH)
                continue;
            e.name = Widen(name);
            e.wide = Widen(e.ansi.c_str());
            e.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            pEntries->push_back(e);
        } while (GoOn() && pEntries->size() < kMostEntries && ::FindNextFileA(find, &data));
        ::FindClose(find);
    }

    static bool IsDots(const wchar_t* name)
    {
        return name[0] == L'.' && (!name[1] || (name[1] == L'.' && !name[2]));
    }

    // Entries of one folder read at most: beyond it a folder is not worth the memory.
    static const size_t kMostEntries = 100000;

    const char* const* m_extensions;
    size_t m_count;
    FileListLimits m_limits;
    const volatile LONG* m_pGoOn;
    std::vector<std::string>* m_pFiles;
    size_t m_listed;
    std::set<std::tuple<DWORD, DWORD, DWORD>> m_visited;
};

}  // namespace

bool IsDirectory(const char* path)
{
    if (!path || !*path)
        return false;
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ListFiles(const char* folder, const char* const* extensions, size_t count, const FileListLimits& limits,
               const volatile LONG* pGoOn, std::vector<std::string>* pFiles)
{
    if (!folder || !*folder || !pFiles)
        return;
    Lister lister(extensions, count, limits, pGoOn, pFiles);
    lister.List(Widen(folder), folder, 0);
}

int CompareNamesAsExplorer(const wchar_t* a, const wchar_t* b)
{
    if (StrCmpLogical compare = LogicalCompare())
        return compare(a, b);
    const int order = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1);
    if (order != 0)
        return order - CSTR_EQUAL;
    // Windows 95, 98 and Me: no wide comparison either.
    std::string na, nb;
    const int la = ::WideCharToMultiByte(CP_ACP, 0, a, -1, nullptr, 0, nullptr, nullptr);
    const int lb = ::WideCharToMultiByte(CP_ACP, 0, b, -1, nullptr, 0, nullptr, nullptr);
    na.resize(la > 0 ? la : 1);
    nb.resize(lb > 0 ? lb : 1);
    ::WideCharToMultiByte(CP_ACP, 0, a, -1, &na[0], la, nullptr, nullptr);
    ::WideCharToMultiByte(CP_ACP, 0, b, -1, &nb[0], lb, nullptr, nullptr);
    return ::lstrcmpiA(na.c_str(), nb.c_str());
}
