// Trivial Linux definitions of the Win32 functions declared in windows.h.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ShimControl.h"

namespace {

struct MemFile {
    char* name;
    BYTE* data;
    size_t size;
};

struct OpenFile {
    BYTE* data;  // a private copy, so a handle outlives ShimClearFiles
    size_t size;
    size_t pos;
};

const int kMaxFiles = 8;
MemFile g_files[kMaxFiles];
int g_fileCount = 0;
int g_openHandles = 0;
DWORD g_lastError = 0;
bool g_win9x = false;
ShimCreateDirectoryHook g_createDirectoryHook = nullptr;

}  // namespace

void ShimAddFile(const char* name, const void* data, size_t size)
{
    int slot = 0;
    while (slot < g_fileCount && strcmp(g_files[slot].name, name) != 0)
        ++slot;
    if (slot == kMaxFiles)
        abort();
    if (slot == g_fileCount)
        ++g_fileCount;
    MemFile& f = g_files[slot];
    free(f.data);
    if (!f.name)
        f.name = strdup(name);
    f.data = static_cast<BYTE*>(malloc(size ? size : 1));
    memcpy(f.data, data, size);
    f.size = size;
}

void ShimClearFiles()
{
    for (int i = 0; i < g_fileCount; ++i) {
        free(g_files[i].data);
        free(g_files[i].name);
        g_files[i] = MemFile{};
    }
    g_fileCount = 0;
}

int ShimOpenHandleCount()
{
    return g_openHandles;
}

void ShimSetWin9x(bool win9x)
{
    g_win9x = win9x;
}

void ShimSetCreateDirectoryHook(ShimCreateDirectoryHook hook)
{
    g_createDirectoryHook = hook;
}

HANDLE CreateFileA(LPCSTR name, DWORD, DWORD, void*, DWORD, DWORD, HANDLE)
{
    for (int i = 0; name && i < g_fileCount; ++i) {
        if (strcmp(g_files[i].name, name) != 0)
            continue;
        OpenFile* f = static_cast<OpenFile*>(malloc(sizeof(OpenFile)));
        f->data = static_cast<BYTE*>(malloc(g_files[i].size ? g_files[i].size : 1));
        memcpy(f->data, g_files[i].data, g_files[i].size);
        f->size = g_files[i].size;
        f->pos = 0;
        ++g_openHandles;
        return f;
    }
    g_lastError = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
}

DWORD GetFileSize(HANDLE file, DWORD* high)
{
    if (high)
        *high = 0;
    g_lastError = NO_ERROR;
    return static_cast<DWORD>(static_cast<OpenFile*>(file)->size);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method)
{
    OpenFile* f = static_cast<OpenFile*>(file);
    if (high || method != FILE_BEGIN || distance < 0) {
        g_lastError = ERROR_INVALID_HANDLE;
        return INVALID_SET_FILE_POINTER;
    }
    f->pos = static_cast<size_t>(distance);  // past the end is allowed; reads then give 0 bytes
    g_lastError = NO_ERROR;
    return static_cast<DWORD>(distance);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void*)
{
    OpenFile* f = static_cast<OpenFile*>(file);
    size_t left = f->pos < f->size ? f->size - f->pos : 0;
    size_t n = toRead < left ? toRead : left;
    memcpy(buffer, f->data + f->pos, n);
    f->pos += n;
    *read = static_cast<DWORD>(n);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    OpenFile* f = static_cast<OpenFile*>(handle);
    free(f->data);
    free(f);
    --g_openHandles;
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, void*)
{
    unsigned long error = ERROR_PATH_NOT_FOUND;
    if (g_createDirectoryHook && g_createDirectoryHook(path, &error))
        return TRUE;
    g_lastError = static_cast<DWORD>(error);
    return FALSE;
}

DWORD GetLastError()
{
    return g_lastError;
}

void SetLastError(DWORD error)
{
    g_lastError = error;
}

void Sleep(DWORD) {}

BOOL IsDBCSLeadByte(BYTE c)
{
    return c >= 0x81 && c <= 0xFE;
}

char* CharNextA(const char* p)
{
    if (!*p)
        return const_cast<char*>(p);
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1])
        return const_cast<char*>(p + 2);
    return const_cast<char*>(p + 1);
}

BOOL GetVersionExA(OSVERSIONINFOA* info)
{
    info->dwMajorVersion = 4;
    info->dwMinorVersion = g_win9x ? 10 : 0;
    info->dwPlatformId = g_win9x ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
    return TRUE;
}

HMODULE LoadLibraryA(LPCSTR) { return nullptr; }
HMODULE GetModuleHandleA(LPCSTR) { return nullptr; }
FARPROC GetProcAddress(HMODULE, LPCSTR) { return nullptr; }
BOOL FreeLibrary(HMODULE) { return TRUE; }
BOOL IsWindow(HWND hWnd) { return hWnd != nullptr; }
HWND GetForegroundWindow() { return nullptr; }
BOOL SetForegroundWindow(HWND) { return TRUE; }
HWND FindWindowA(LPCSTR, LPCSTR) { return nullptr; }
HWND GetParent(HWND) { return nullptr; }
BOOL GetClientRect(HWND, RECT* rc)
{
    *rc = RECT{0, 0, 152, 112};
    return TRUE;
}
INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return 1; }
HICON LoadIconA(HINSTANCE, LPCSTR) { return nullptr; }
HGDIOBJ GetStockObject(int) { return nullptr; }
UINT RegisterWindowMessageA(LPCSTR) { return 0xC000; }
unsigned short RegisterClassA(const WNDCLASSA*) { return 0; }
HWND CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, void*, HINSTANCE, void*)
{
    return nullptr;
}
BOOL GetMessageA(MSG*, HWND, UINT, UINT) { return 0; }
BOOL TranslateMessage(const MSG*) { return FALSE; }
LRESULT DispatchMessageA(const MSG*) { return 0; }
BOOL PostMessageA(HWND, UINT, WPARAM, LPARAM) { return TRUE; }
void PostQuitMessage(int) {}
LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
BOOL GetCursorPos(POINT* pt)
{
    *pt = POINT{0, 0};
    return TRUE;
}
HCURSOR SetCursor(HCURSOR) { return nullptr; }

int _vsnprintf(char* buffer, size_t count, const char* format, va_list args)
{
    char whole[4096];
    int n = vsnprintf(whole, sizeof(whole), format, args);
    if (n < 0 || static_cast<size_t>(n) >= sizeof(whole))
        return -1;
    if (static_cast<size_t>(n) > count) {
        memcpy(buffer, whole, count);
        return -1;
    }
    memcpy(buffer, whole, static_cast<size_t>(n));
    if (static_cast<size_t>(n) < count)
        buffer[n] = '\0';
    return n;
}
