#include "support/FileList.h"

#include <algorithm>
#include <cstring>

#include "support/Scoped.h"
#include "support/SystemLibrary.h"

namespace {

// Wide text with its terminator, in a vector: the program uses no string class.
typedef std::vector<wchar_t> Wide;

size_t Length(const Wide& w)
{
    return w.empty() ? 0 : w.size() - 1;
}

Wide Join(const Wide& a, const wchar_t* b)
{
    Wide out(a.begin(), a.begin() + Length(a));
    out.insert(out.end(), b, b + wcslen(b) + 1);
    return out;
}

bool StartsWith(const Wide& w, const wchar_t* prefix)
{
    const size_t n = wcslen(prefix);
    return Length(w) >= n && wcsncmp(&w[0], prefix, n) == 0;
}

// The wide-character file functions, looked up at run time: Windows 95, 98 and Me have
// them as stubs that fail (or not at all), and the program must load there.
struct WideFiles {
    HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    HANDLE(WINAPI* findFirst)(LPCWSTR, LPWIN32_FIND_DATAW);
    BOOL(WINAPI* findNext)(HANDLE, LPWIN32_FIND_DATAW);
    DWORD(WINAPI* shortPath)(LPCWSTR, LPWSTR, DWORD);
    int(WINAPI* compare)(LCID, DWORD, LPCWSTR, int, LPCWSTR, int);
};

const WideFiles* WideFileFunctions()
{
    static WideFiles functions;
    static bool lookedUp = false;  // the playback thread's, and a test's
    static bool usable = false;
    if (!lookedUp) {
        lookedUp = true;
        HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
        functions.createFile = reinterpret_cast<decltype(functions.createFile)>(::GetProcAddress(kernel, "CreateFileW"));
        functions.findFirst = reinterpret_cast<decltype(functions.findFirst)>(::GetProcAddress(kernel, "FindFirstFileW"));
        functions.findNext = reinterpret_cast<decltype(functions.findNext)>(::GetProcAddress(kernel, "FindNextFileW"));
        functions.shortPath =
            reinterpret_cast<decltype(functions.shortPath)>(::GetProcAddress(kernel, "GetShortPathNameW"));
        functions.compare = reinterpret_cast<decltype(functions.compare)>(::GetProcAddress(kernel, "CompareStringW"));
        usable = (::GetVersion() & 0x80000000u) == 0 && functions.createFile && functions.findFirst &&
                 functions.findNext && functions.shortPath && functions.compare;
    }
    return usable ? &functions : nullptr;
}

typedef int(WINAPI* StrCmpLogical)(const wchar_t*, const wchar_t*);

StrCmpLogical LogicalCompare()
{
    // Windows XP and later; the library stays loaded for the process's life.
    static StrCmpLogical compare = nullptr;
    static bool lookedUp = false;
    if (!lookedUp) {
        lookedUp = true;
        HMODULE shlwapi = LoadSystemLibrary("shlwapi.dll");
        compare = shlwapi ? reinterpret_cast<StrCmpLogical>(::GetProcAddress(shlwapi, "StrCmpLogicalW")) : nullptr;
    }
    return compare;
}

Wide Widen(const char* text)
{
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    Wide wide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    return wide;
}

// The text in the ANSI code page, only when every character survives the trip.
bool Narrow(const Wide& wide, std::vector<char>* pText)
{
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, &wide[0], -1, nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy)
        return false;
    std::vector<char> text(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, &wide[0], -1, &text[0], n, nullptr, &lossy);
    if (lossy || Widen(&text[0]) != wide)
        return false;
    pText->swap(text);
    return true;
}

// A path the wide functions take past MAX_PATH characters.
Wide Extended(const Wide& path)
{
    if (Length(path) < MAX_PATH - 12 || StartsWith(path, L"\\\\?\\"))
        return path;
    if (StartsWith(path, L"\\\\"))
        return Join(Wide(L"\\\\?\\UNC", L"\\\\?\\UNC" + 8), &path[1]);
    return Join(Wide(L"\\\\?\\", L"\\\\?\\" + 5), &path[0]);
}

Wide Plain(const Wide& path)
{
    if (StartsWith(path, L"\\\\?\\UNC\\"))
        return Join(Wide(L"\\", L"\\" + 2), &path[7]);
    if (StartsWith(path, L"\\\\?\\"))
        return Wide(path.begin() + 4, path.end());
    return path;
}

// The ANSI path of a file named by its wide path: as it is, or in its short form.
bool AnsiPath(const WideFiles& w, const Wide& wide, std::vector<char>* pPath)
{
    if (Narrow(wide, pPath) && pPath->size() <= MAX_PATH)
        return true;
    const Wide full = Extended(wide);
    const DWORD n = w.shortPath(&full[0], nullptr, 0);
    if (n == 0)
        return false;
    Wide shortPath(n + 1, L'\0');
    const DWORD got = w.shortPath(&full[0], &shortPath[0], n + 1);
    if (got == 0 || got > n)
        return false;
    shortPath.resize(got + 1);
    return Narrow(Plain(shortPath), pPath) && pPath->size() <= MAX_PATH;
}

bool HasExtension(const wchar_t* name, const char* const* extensions, size_t count)
{
    const wchar_t* dot = wcsrchr(name, L'.');
    if (!dot)
        return false;
    const wchar_t* ext = dot + 1;
    for (size_t i = 0; i < count; ++i) {
        const char* e = extensions[i];
        size_t k = 0;
        for (; ext[k] && e[k]; ++k) {
            wchar_t c = ext[k];
            if (c >= L'A' && c <= L'Z')
                c = static_cast<wchar_t>(c - L'A' + L'a');
            if (c != static_cast<wchar_t>(e[k]))
                break;
        }
        if (!ext[k] && !e[k])
            return true;
    }
    return false;
}

struct Entry {
    Wide name;               // for the order
    Wide wide;               // full path, for the wide functions
    std::vector<char> ansi;  // full path, for the rest of the program; empty: none
    bool folder;
};

bool ByName(const Entry& a, const Entry& b)
{
    return CompareNamesAsExplorer(&a.name[0], &b.name[0]) < 0;
}

struct FolderId {
    DWORD volume, high, low;
    bool operator<(const FolderId& o) const
    {
        return volume != o.volume ? volume < o.volume : high != o.high ? high < o.high : low < o.low;
    }
};

class Lister {
public:
    Lister(const char* const* extensions, size_t count, const FileListLimits& limits, const volatile LONG* pGoOn,
           FileNames* pFiles)
        : m_wide(WideFileFunctions()), m_extensions(extensions), m_count(count), m_limits(limits), m_pGoOn(pGoOn),
          m_pFiles(pFiles), m_listed(0)
    {
    }

    void List(const Wide& wide, const std::vector<char>& ansi, int depth)
    {
        if (!GoOn() || !FirstVisit(wide))
            return;
        std::vector<Entry> entries;
        if (m_wide)
            ReadWide(wide, &entries);
        else
            ReadAnsi(ansi, &entries);
        std::sort(entries.begin(), entries.end(), ByName);
        for (const Entry& e : entries) {
            if (!e.folder && GoOn() && HasExtension(&e.name[0], m_extensions, m_count) && !e.ansi.empty()) {
                m_pFiles->Add(&e.ansi[0]);
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
    bool FirstVisit(const Wide& wide)
    {
        if (!m_wide)
            return true;  // no junctions on these systems
        const Wide path = Extended(wide);
        ScopedHandle folder(m_wide->createFile(&path[0], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!folder || !::GetFileInformationByHandle(folder.Get(), &info))
            return true;  // the depth bound still holds
        const FolderId id = { info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow };
        const auto at = std::lower_bound(m_visited.begin(), m_visited.end(), id);
        if (at != m_visited.end() && !(id < *at))
            return false;
        m_visited.insert(at, id);
        return true;
    }

    void ReadWide(const Wide& folder, std::vector<Entry>* pEntries)
    {
        const Wide base = Length(folder) && folder[Length(folder) - 1] == L'\\' ? folder : Join(folder, L"\\");
        const Wide pattern = Extended(Join(base, L"*"));
        WIN32_FIND_DATAW data;
        HANDLE find = m_wide->findFirst(&pattern[0], &data);
        if (find == INVALID_HANDLE_VALUE)
            return;  // cannot be read: skipped
        do {
            if (IsDots(data.cFileName))
                continue;
            Entry e;
            e.name = Join(Wide(1, L'\0'), data.cFileName);
            e.wide = Join(base, data.cFileName);
            e.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (!AnsiPath(*m_wide, e.wide, &e.ansi))
                e.ansi.clear();
            pEntries->push_back(e);
        } while (GoOn() && pEntries->size() < kMostEntries && m_wide->findNext(find, &data));
        ::FindClose(find);
    }

    void ReadAnsi(const std::vector<char>& folder, std::vector<Entry>* pEntries)
    {
        if (folder.size() < 2)
            return;
        std::vector<char> base(folder.begin(), folder.end() - 1);
        if (base.back() != '\\')
            base.push_back('\\');
        std::vector<char> pattern(base);
        pattern.push_back('*');
        pattern.push_back('\0');
        WIN32_FIND_DATAA data;
        HANDLE find = ::FindFirstFileA(&pattern[0], &data);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do {
            if (data.cFileName[0] == '.' && (!data.cFileName[1] || (data.cFileName[1] == '.' && !data.cFileName[2])))
                continue;
            // A name the code page cannot hold comes with question marks: its short name
            // is the one that opens.
            const bool lossy = strchr(data.cFileName, '?') != nullptr;
            const char* name = lossy ? data.cAlternateFileName : data.cFileName;
            if (!*name || base.size() + strlen(name) >= MAX_PATH)
                continue;
            Entry e;
            e.ansi = base;
            e.ansi.insert(e.ansi.end(), name, name + strlen(name) + 1);
            e.name = Widen(name);
            e.wide = Widen(&e.ansi[0]);
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

    const WideFiles* m_wide;
    const char* const* m_extensions;
    size_t m_count;
    FileListLimits m_limits;
    const volatile LONG* m_pGoOn;
    FileNames* m_pFiles;
    size_t m_listed;
    std::vector<FolderId> m_visited;  // sorted
};

}  // namespace

void FileNames::Add(const char* path)
{
    m_starts.push_back(m_text.size());
    m_text.insert(m_text.end(), path, path + strlen(path) + 1);
}

bool IsDirectory(const char* path)
{
    if (!path || !*path)
        return false;
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ListFiles(const char* folder, const char* const* extensions, size_t count, const FileListLimits& limits,
               const volatile LONG* pGoOn, FileNames* pFiles)
{
    if (!folder || !*folder || !pFiles)
        return;
    Lister lister(extensions, count, limits, pGoOn, pFiles);
    lister.List(Widen(folder), std::vector<char>(folder, folder + strlen(folder) + 1), 0);
}

int CompareNamesAsExplorer(const wchar_t* a, const wchar_t* b)
{
    if (StrCmpLogical compare = LogicalCompare())
        return compare(a, b);
    const WideFiles* w = WideFileFunctions();
    const int order = w ? w->compare(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) : 0;
    if (order != 0)
        return order - CSTR_EQUAL;
    // Windows 95, 98 and Me: no wide comparison either.
    const int la = ::WideCharToMultiByte(CP_ACP, 0, a, -1, nullptr, 0, nullptr, nullptr);
    const int lb = ::WideCharToMultiByte(CP_ACP, 0, b, -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> na(la > 0 ? la : 1, '\0'), nb(lb > 0 ? lb : 1, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, a, -1, &na[0], la, nullptr, nullptr);
    ::WideCharToMultiByte(CP_ACP, 0, b, -1, &nb[0], lb, nullptr, nullptr);
    return ::lstrcmpiA(&na[0], &nb[0]);
}
