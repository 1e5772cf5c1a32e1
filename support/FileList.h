// The files of a folder and of its subfolders, listed as Explorer orders names, and the
// names given as ANSI paths the rest of the program can open.
#pragma once

#include <windows.h>

#include <vector>

// Paths kept one after another in one buffer (the program has no string class of the
// standard library: its code would bring the runtime's exception machinery along).
class FileNames {
public:
    void Add(const char* path);
    size_t Count() const { return m_starts.size(); }
    const char* At(size_t i) const { return &m_text[m_starts[i]]; }
    void Clear()
    {
        m_text.clear();
        m_starts.clear();
    }

private:
    std::vector<char> m_text;
    std::vector<size_t> m_starts;
};

struct FileListLimits {
    int maxDepth;      // levels of subfolders below the folder itself
    size_t maxFiles;   // files listed at most; the rest are left out
};

// True when path names a folder (not a file). Null or empty gives false.
bool IsDirectory(const char* path);

// Appends to pFiles the full ANSI paths of the files below folder whose extension (the
// text after the last dot, without it) is one of extensions (count entries, lower case
// ASCII; compared case-insensitively). Each folder's files come first, in Explorer's
// order, then its subfolders one by one in the same order. A folder that cannot be read
// is skipped; a folder reached a second time (a junction that loops back) is not listed
// again. A name the ANSI code page cannot hold, or a path longer than MAX_PATH - 1
// bytes, is given by its short name where the volume has one and left out otherwise.
// Stops early, with what it has, as soon as *pGoOn is cleared (a stop request).
void ListFiles(const char* folder, const char* const* extensions, size_t count, const FileListLimits& limits,
               const volatile LONG* pGoOn, FileNames* pFiles);

// Explorer's order of two names: runs of digits compared as numbers ("clip 2" before
// "clip 10") where the system offers that comparison (StrCmpLogicalW, looked up at run
// time), else case-insensitively. Negative, zero or positive.
int CompareNamesAsExplorer(const wchar_t* a, const wchar_t* b);
