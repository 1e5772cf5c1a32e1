#include "support/PathUtil.h"

#include <windows.h>

#include <cstring>

#include "support/Scoped.h"

namespace {

// The next backslash at or after p, stepping over double-byte characters of the ANSI
// code page: in code page 936 a second byte may be 0x5C, and cutting there would
// split the character.
char* FindBackslash(char* p)
{
    while (*p) {
        if (*p == '\\')
            return p;
        if (::IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1])
            p += 2;
        else
            ++p;
    }
    return nullptr;
}

}  // namespace

int FileExists(const char* path)
{
    if (!path)
        return 0;
    // No data access is asked for, so no sharing mode of another opener can refuse it.
    ScopedHandle file(::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 1 : 0;
}

int CreateDirectoryPath(const char* path, int createLast)
{
    if (!path)
        return 0;
    char buffer[MAX_PATH] = {};
    size_t length = strnlen(path, sizeof(buffer));
    if (length >= sizeof(buffer)) {
        // Cutting it short would create directories nobody asked for.
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    memcpy(buffer, path, length);

    // The leading levels (the drive root, the start of a UNC name, directories already
    // there) fail as a rule; only the last creation decides.
    BOOL result = TRUE;
    char* rest = buffer;
    for (char* sep = FindBackslash(rest); sep; sep = FindBackslash(rest)) {
        char saved = sep[1];
        sep[1] = '\0';  // the prefix keeps its backslash
        result = ::CreateDirectoryA(buffer, nullptr);
        sep[1] = saved;
        rest = sep + 1;
    }
    if (createLast && *rest)
        result = ::CreateDirectoryA(buffer, nullptr);

    if (!result && ::GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    return result;
}
