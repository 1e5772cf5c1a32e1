// The path utilities over any path: every directory asked for is a leading part of the
// path that ends at a backslash (or is the whole path), shorter than MAX_PATH, and never
// ends inside a double-byte character.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <windows.h>

#include "ShimControl.h"
#include "support/PathUtil.h"

namespace {

const char* g_path;
uint8_t g_answers;  // bit i: the i-th creation succeeds; else it finds the directory there
int g_calls;

bool CheckDirectory(const char* dir, unsigned long* error)
{
    size_t n = strlen(dir);
    size_t whole = strlen(g_path);
    CHECK(n > 0 && n < MAX_PATH && n <= whole && memcmp(dir, g_path, n) == 0);
    // Walked by characters of code page 936, the directory ends at a backslash of its
    // own, not at the second byte (0x5C) of a double-byte character.
    size_t end = n == whole ? n : n - 1;
    size_t i = 0;
    while (i < end)
        i += IsDBCSLeadByte(static_cast<BYTE>(g_path[i])) && g_path[i + 1] ? 2 : 1;
    CHECK(i == end && (n == whole || dir[end] == '\\'));
    bool ok = (g_answers >> (g_calls++ % 8)) & 1;
    *error = ERROR_ALREADY_EXISTS;
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // First byte: createLast; second: the answers of the creations; the rest: the path.
    if (size < 2)
        return 0;
    char* path = static_cast<char*>(malloc(size - 1));
    memcpy(path, data + 2, size - 2);
    path[size - 2] = '\0';
    g_path = path;
    g_answers = data[1];
    g_calls = 0;
    ShimSetCreateDirectoryHook(CheckDirectory);

    int created = CreateDirectoryPath(path, data[0] & 1);
    if (strlen(path) >= MAX_PATH)
        CHECK(created == 0 && g_calls == 0);
    // Each creation either succeeds or finds the directory there, so the result is 1.
    else if (g_calls > 0)
        CHECK(created == 1);

    ShimAddFile(path, "", 0);
    CHECK(FileExists(path) == 1);
    ShimClearFiles();
    CHECK(FileExists(path) == 0);
    CHECK(ShimOpenHandleCount() == 0);
    free(path);
    return 0;
}
