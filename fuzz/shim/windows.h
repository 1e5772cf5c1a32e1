// The few Win32 types, constants and functions that the parsers' source files use, so
// that those same files compile for Linux in the fuzz targets. Files live in memory
// (ShimControl.h); windows are never created. Nothing here is used by the program.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef int64_t LONGLONG;
typedef size_t SIZE_T;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef void* LPVOID;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef struct ShimWindow* HWND;
typedef struct ShimModule* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct ShimImc* HIMC;
typedef struct ShimGdi* HGDIOBJ;
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HICON;
typedef HGDIOBJ HCURSOR;
typedef struct ShimDc* HDC;
typedef struct ShimKey* HKEY;
typedef DWORD REGSAM;
typedef INT_PTR(WINAPI* FARPROC)();
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

struct POINT { LONG x, y; };
struct RECT { LONG left, top, right, bottom; };
struct MSG { HWND hwnd; UINT message; WPARAM wParam; LPARAM lParam; DWORD time; POINT pt; };
struct WNDCLASSA {
    UINT style; WNDPROC lpfnWndProc; int cbClsExtra, cbWndExtra; HINSTANCE hInstance;
    HICON hIcon; HCURSOR hCursor; HBRUSH hbrBackground; LPCSTR lpszMenuName, lpszClassName;
};
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformId;
    char szCSDVersion[128];
};

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFF))
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(-1))
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(static_cast<unsigned short>(i))))

enum : DWORD {
    NO_ERROR = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_INVALID_HANDLE = 6, ERROR_ALREADY_EXISTS = 183,
    ERROR_FILENAME_EXCED_RANGE = 206, ERROR_PATH_NOT_FOUND = 3,
    GENERIC_READ = 0x80000000u, FILE_SHARE_READ = 1, FILE_SHARE_WRITE = 2, OPEN_EXISTING = 3,
    FILE_ATTRIBUTE_NORMAL = 0x80, FILE_BEGIN = 0, VER_PLATFORM_WIN32_WINDOWS = 1, VER_PLATFORM_WIN32_NT = 2,
    CS_VREDRAW = 1, CS_HREDRAW = 2, CS_DBLCLKS = 8, CS_OWNDC = 0x20, BLACK_BRUSH = 4,
    WS_POPUP = 0x80000000u, WS_CHILD = 0x40000000u, WS_VISIBLE = 0x10000000u, WS_CLIPSIBLINGS = 0x04000000u,
    WS_CLIPCHILDREN = 0x02000000u, WS_EX_TOPMOST = 8, KEY_ALL_ACCESS = 0xF003F,
};
enum : UINT {
    WM_CREATE = 0x1, WM_DESTROY = 0x2, WM_SETTEXT = 0xC, WM_PAINT = 0xF, WM_HELP = 0x53, WM_CONTEXTMENU = 0x7B,
    WM_KEYDOWN = 0x100, WM_SYSKEYDOWN = 0x104, WM_SYSCOMMAND = 0x112, WM_TIMER = 0x113, WM_MOUSEMOVE = 0x200,
    WM_LBUTTONDOWN = 0x201, WM_RBUTTONDOWN = 0x204, WM_MBUTTONDOWN = 0x207, WM_APP = 0x8000,
    SC_NEXTWINDOW = 0xF040, SC_PREVWINDOW = 0xF050, SC_SCREENSAVE = 0xF140,
};

// Files and errors.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void* security, DWORD creation, DWORD flags,
                   HANDLE templateFile);
DWORD GetFileSize(HANDLE file, DWORD* high);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL CloseHandle(HANDLE handle);
BOOL CreateDirectoryA(LPCSTR path, void* security);
DWORD GetLastError();
void SetLastError(DWORD error);
void Sleep(DWORD ms);

// Code page 936.
BOOL IsDBCSLeadByte(BYTE c);
char* CharNextA(const char* p);

// System and windows: nothing exists, nothing is created.
BOOL GetVersionExA(OSVERSIONINFOA* info);
HMODULE LoadLibraryA(LPCSTR name);
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
BOOL IsWindow(HWND hWnd);
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND hWnd);
HWND FindWindowA(LPCSTR className, LPCSTR title);
HWND GetParent(HWND hWnd);
BOOL GetClientRect(HWND hWnd, RECT* rc);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);
UINT RegisterWindowMessageA(LPCSTR name);
unsigned short RegisterClassA(const WNDCLASSA* wc);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int cx, int cy,
                     HWND parent, void* menu, HINSTANCE instance, void* param);
BOOL GetMessageA(MSG* msg, HWND hWnd, UINT first, UINT last);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int code);
LRESULT DefWindowProcA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL GetCursorPos(POINT* pt);
HCURSOR SetCursor(HCURSOR cursor);
// Declared for support/Scoped.h; no fuzzed code calls them.
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hdc);
