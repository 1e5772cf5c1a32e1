#include "support/SystemLibrary.h"

#include <cstring>

HMODULE LoadSystemLibrary(const char* name)
{
    char path[MAX_PATH];
    UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
    size_t length = name ? strlen(name) : 0;
    if (n == 0 || n >= MAX_PATH || length == 0 || n + 1 + length + 1 > MAX_PATH)
        return nullptr;
    path[n] = '\\';
    memcpy(path + n + 1, name, length + 1);
    return ::LoadLibraryA(path);
}

void SearchSystemFolderFirst()
{
    typedef BOOL (WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
    const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto pfn = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                            ::GetProcAddress(kernel, "SetDefaultDllDirectories"))
                      : nullptr;
    if (pfn)
        pfn(kSearchSystem32);
}
