#include "common/TestSupport.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

bool RunningUnderWine()
{
    HMODULE hNtdll = ::GetModuleHandleA("ntdll.dll");
    return hNtdll && ::GetProcAddress(hNtdll, "wine_get_version");
}

std::string ExeDir()
{
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    size_t slash = dir.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : dir.substr(0, slash + 1);
}

std::string SaverPath()
{
    return ExeDir() + "lumaspire.scr";
}

SaverProcess::~SaverProcess()
{
    Kill();
}

bool SaverProcess::Start(const std::string& args, const std::string& exe,
                         const std::vector<std::string>& extraEnv)
{
    Kill();
    std::string cmd = "\"" + exe + "\"";
    if (!args.empty())
        cmd += " " + args;
    std::vector<char> cmdBuf(cmd.begin(), cmd.end());
    cmdBuf.push_back('\0');

    std::vector<char> env;
    if (!extraEnv.empty()) {
        // An entry given here replaces one of the same name: Windows takes the first.
        auto overridden = [&](const char* entry) {
            for (const std::string& e : extraEnv) {
                size_t eq = e.find('=');
                if (eq != std::string::npos && _strnicmp(entry, e.c_str(), eq + 1) == 0)
                    return true;
            }
            return false;
        };
        LPCH block = ::GetEnvironmentStringsA();
        for (const char* p = block; *p; p += strlen(p) + 1)
            if (!overridden(p))
                env.insert(env.end(), p, p + strlen(p) + 1);
        ::FreeEnvironmentStringsA(block);
        for (const std::string& e : extraEnv)
            env.insert(env.end(), e.c_str(), e.c_str() + e.size() + 1);
        env.push_back('\0');
    }

    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    return ::CreateProcessA(exe.c_str(), cmdBuf.data(), nullptr, nullptr, FALSE, 0,
                            env.empty() ? nullptr : env.data(), nullptr, &si, &m_pi) != FALSE;
}

DWORD SaverProcess::WaitExit(DWORD timeoutMs)
{
    if (!m_pi.hProcess)
        return STILL_ACTIVE;
    DWORD start = ::GetTickCount();
    // Pump while waiting: the saver may send messages to windows of this thread.
    while (::MsgWaitForMultipleObjects(1, &m_pi.hProcess, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0) {
        PumpFor(0);
        if (::GetTickCount() - start > timeoutMs)
            return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

bool SaverProcess::Running() const
{
    return m_pi.hProcess && ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

void SaverProcess::Kill()
{
    if (m_pi.hProcess) {
        if (Running()) {
            ::TerminateProcess(m_pi.hProcess, 99);
            ::WaitForSingleObject(m_pi.hProcess, 5000);
        }
        ::CloseHandle(m_pi.hThread);
        ::CloseHandle(m_pi.hProcess);
    }
    m_pi = PROCESS_INFORMATION();
}

DWORD RunSaver(const std::string& args, DWORD timeoutMs)
{
    SaverProcess p;
    if (!p.Start(args))
        return static_cast<DWORD>(-2);
    return p.WaitExit(timeoutMs);
}

void PumpFor(DWORD ms)
{
    DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (ms)
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (::GetTickCount() - start < ms);
}

void ReadyForSaver()
{
    MoveMouseTo(100, 100);
    ASSERT_EQ(nullptr, ::FindWindowA(kSaverWindowClass, nullptr)) << "a saver from an earlier test is still running";
}

HWND StartFullScreen(SaverProcess& p, const std::string& exe, const std::vector<std::string>& extraEnv)
{
    if (!p.Start("/s", exe, extraEnv))
        return nullptr;
    HWND hWnd = WaitForWindow(kSaverWindowClass, kSaverFullScreenTitle, 20000);
    if (!hWnd)
        return nullptr;
    PumpUntil([&] { return ::GetForegroundWindow() == hWnd; }, 5000);
    PumpFor(300);
    return hWnd;
}

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs)
{
    HWND hWnd = nullptr;
    PumpUntil([&] { return (hWnd = ::FindWindowA(className, title)) != nullptr; }, timeoutMs);
    return hWnd;
}

namespace {
struct FindProcessWindow {
    DWORD pid;
    const char* className;
    HWND found;
};

BOOL CALLBACK EnumProcessWindow(HWND hWnd, LPARAM lParam)
{
    auto* f = reinterpret_cast<FindProcessWindow*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid != f->pid || !::IsWindowVisible(hWnd))
        return TRUE;
    if (f->className) {
        char cls[64] = {};
        ::GetClassNameA(hWnd, cls, sizeof(cls));
        if (lstrcmpiA(cls, f->className) != 0)
            return TRUE;
    }
    f->found = hWnd;
    return FALSE;
}
}  // namespace

HWND WaitForProcessWindow(DWORD processId, const char* className, DWORD timeoutMs)
{
    FindProcessWindow f = { processId, className, nullptr };
    PumpUntil([&] {
        ::EnumWindows(EnumProcessWindow, reinterpret_cast<LPARAM>(&f));
        return f.found != nullptr;
    }, timeoutMs);
    return f.found;
}

void MoveMouseTo(int x, int y)
{
    int cx = ::GetSystemMetrics(SM_CXSCREEN);
    int cy = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    // Normalised coordinates of the pixel's centre, so either rounding lands on it.
    in.mi.dx = static_cast<LONG>(((2LL * x + 1) * 65535) / (2LL * cx));
    in.mi.dy = static_cast<LONG>(((2LL * y + 1) * 65535) / (2LL * cy));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &in, sizeof(in));
    POINT pt;
    PumpUntil([&] { return ::GetCursorPos(&pt) && pt.x == x && pt.y == y; }, 1000);
    if (pt.x != x || pt.y != y)
        ADD_FAILURE() << "cursor at " << pt.x << "," << pt.y << " instead of " << x << "," << y;
}

void PressKey(WORD vk)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, in, sizeof(INPUT));
}

void ClickLeft()
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, in, sizeof(INPUT));
}

COLORREF ScreenShot::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return CLR_INVALID;
    DWORD p = pixels[static_cast<size_t>(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

bool ScreenShot::Capture(const RECT* area)
{
    RECT rc = { 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN) };
    if (area)
        rc = *area;
    width = rc.right - rc.left;
    height = rc.bottom - rc.top;
    pixels.assign(static_cast<size_t>(width) * height, 0);
    if (width <= 0 || height <= 0)
        return false;

    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    HBITMAP hBmp = ::CreateDIBSection(hScreen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (hMem && hBmp) {
        HGDIOBJ old = ::SelectObject(hMem, hBmp);
        ok = ::BitBlt(hMem, 0, 0, width, height, hScreen, rc.left, rc.top, SRCCOPY) != FALSE;
        ::GdiFlush();
        memcpy(pixels.data(), bits, pixels.size() * sizeof(DWORD));
        ::SelectObject(hMem, old);
    }
    if (hBmp)
        ::DeleteObject(hBmp);
    if (hMem)
        ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    return ok;
}

int CountBrightPixels(const ScreenShot& shot, const RECT& rc)
{
    int n = 0;
    for (int y = rc.top; y < rc.bottom; ++y) {
        for (int x = rc.left; x < rc.right; ++x) {
            COLORREF c = shot.At(x, y);
            if (c != CLR_INVALID && GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200)
                ++n;
        }
    }
    return n;
}

ScopedRegValue::ScopedRegValue(const char* key, const char* name, const char* text)
{
    Save(key, name);
    HKEY hKey;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                          nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                         static_cast<DWORD>(strlen(text) + 1));
        ::RegCloseKey(hKey);
    }
}

ScopedRegValue::ScopedRegValue(const char* key, const char* name, DWORD value)
{
    Save(key, name);
    HKEY hKey;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                          nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExA(hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        ::RegCloseKey(hKey);
    }
}

ScopedRegValue::ScopedRegValue(HKEY root, const char* key, const char* name) : m_root(root)
{
    Save(key, name);
}

void ScopedRegValue::Save(const char* key, const char* name)
{
    m_key = key;
    m_name = name;
    HKEY hKey;
    if (::RegOpenKeyExA(m_root, key, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (::RegQueryValueExA(hKey, name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
        m_data.resize(size);
        m_existed = ::RegQueryValueExA(hKey, name, nullptr, &m_type, m_data.data(), &size) == ERROR_SUCCESS;
    }
    ::RegCloseKey(hKey);
}

ScopedRegValue::~ScopedRegValue()
{
    // A value that was there comes back even when the test removed its key.
    HKEY hKey;
    LONG rc = m_existed ? ::RegCreateKeyExA(m_root, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey,
                                            nullptr)
                        : ::RegOpenKeyExA(m_root, m_key.c_str(), 0, KEY_SET_VALUE, &hKey);
    if (rc != ERROR_SUCCESS)
        return;
    if (m_existed)
        ::RegSetValueExA(hKey, m_name.c_str(), 0, m_type, m_data.data(), static_cast<DWORD>(m_data.size()));
    else
        ::RegDeleteValueA(hKey, m_name.c_str());
    ::RegCloseKey(hKey);
}

void DeleteSettingsKey()
{
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kSaverSettingsKey);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kSaverMakerKey);  // fails while not empty
}

ScopedSettingsKey::ScopedSettingsKey()
{
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    m_existed = true;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLen = sizeof(name);
        BYTE data[4096];
        DWORD dataLen = sizeof(data);
        DWORD type = 0;
        if (::RegEnumValueA(hKey, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS)
            break;
        m_values.push_back({ name, { type, std::vector<BYTE>(data, data + dataLen) } });
    }
    ::RegCloseKey(hKey);
}

ScopedSettingsKey::~ScopedSettingsKey()
{
    DeleteSettingsKey();
    if (!m_existed)
        return;
    HKEY hKey;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &hKey, nullptr) != ERROR_SUCCESS)
        return;
    for (auto& v : m_values)
        ::RegSetValueExA(hKey, v.first.c_str(), 0, v.second.first, v.second.second.data(),
                         static_cast<DWORD>(v.second.second.size()));
    ::RegCloseKey(hKey);
}

void KeepShot(const char* name, const ScreenShot& shot)
{
    const char* dir = getenv("LUMASPIRE_SHOT_DIR");
    if (!dir || !*dir || shot.pixels.empty())
        return;
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof(bih);
    bih.biWidth = shot.width;
    bih.biHeight = -shot.height;
    bih.biPlanes = 1;
    bih.biBitCount = 32;
    DWORD bytes = static_cast<DWORD>(shot.pixels.size() * sizeof(DWORD));
    BITMAPFILEHEADER bfh = {};
    bfh.bfType = 0x4D42;
    bfh.bfOffBits = sizeof(bfh) + sizeof(bih);
    bfh.bfSize = bfh.bfOffBits + bytes;
    std::string path = std::string(dir) + "\\" + name + ".bmp";
    if (FILE* f = fopen(path.c_str(), "wb")) {
        fwrite(&bfh, sizeof(bfh), 1, f);
        fwrite(&bih, sizeof(bih), 1, f);
        fwrite(shot.pixels.data(), 1, bytes, f);
        fclose(f);
    }
}

void KeepShot(const char* name, HWND hWnd)
{
    if (!getenv("LUMASPIRE_SHOT_DIR"))
        return;
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpFor(300);
    RECT rc;
    ScreenShot shot;
    if (::GetWindowRect(hWnd, &rc) && shot.Capture(&rc))
        KeepShot(name, shot);
}

void* ReplaceImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); imports && d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0)
            continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; d->OriginalFirstThunk && name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                strcmp(reinterpret_cast<char*>(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name),
                       function) != 0)
                continue;
            DWORD protection;
            ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

bool PathExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

// True when path (made full) lies strictly inside folder (made full).
bool Inside(const std::string& path, const std::string& folder)
{
    char full[MAX_PATH], base[MAX_PATH];
    DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    DWORD m = ::GetFullPathNameA(folder.c_str(), MAX_PATH, base, nullptr);
    if (n == 0 || n >= MAX_PATH || m == 0 || m >= MAX_PATH)
        return false;
    std::string f(full), b(base);
    if (!b.empty() && b.back() != '\\')
        b += '\\';
    return f.size() > b.size() && ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, f.c_str(),
                                                   static_cast<int>(b.size()), b.c_str(),
                                                   static_cast<int>(b.size())) == CSTR_EQUAL;
}

void RemoveTreeInside(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A junction or link goes, never what it points at.
                if (!::RemoveDirectoryA(path.c_str()))
                    ::DeleteFileA(path.c_str());
            } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeInside(path);
            } else {
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(hFind, &fd));
        ::FindClose(hFind);
    }
    ::RemoveDirectoryA(dir.c_str());
}

}  // namespace

void RemoveTree(const std::string& dir)
{
    // Only a folder inside the temporary folder or the test programs' folder. An empty path
    // once came here from a test whose set-up had stopped early: "\\*" is the root of the
    // current drive, which under Wine is Z:, the whole file system with the sources on it.
    // A test that needs a short path may use a folder of its own name on a drive's root.
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const bool ownOnRoot = dir.size() > 13 && dir[1] == ':' && dir[2] == '\\' &&
                           dir.compare(3, 10, "lumaspire-") == 0 && dir.find('\\', 3) == std::string::npos;
    if (dir.empty() || !(ownOnRoot || Inside(dir, temp) || Inside(dir, ExeDir()))) {
        ADD_FAILURE() << "RemoveTree refused \"" << dir << "\": not inside the temporary or the test folder";
        return;
    }
    RemoveTreeInside(dir);
}

namespace {

// RVA of an exported symbol, read from the file's export directory.
DWORD ExportRva(const std::string& file, const char* name)
{
    const std::string image = ReadAll(file);
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return 0;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
    auto sections = IMAGE_FIRST_SECTION(nt);
    auto toOffset = [&](DWORD rva) -> const char* {
        for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
                return image.data() + s.PointerToRawData + (rva - s.VirtualAddress);
        }
        return nullptr;
    };
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(toOffset(dir.VirtualAddress));
    if (!dir.VirtualAddress || !exports)
        return 0;
    auto names = reinterpret_cast<const DWORD*>(toOffset(exports->AddressOfNames));
    auto ordinals = reinterpret_cast<const WORD*>(toOffset(exports->AddressOfNameOrdinals));
    auto functions = reinterpret_cast<const DWORD*>(toOffset(exports->AddressOfFunctions));
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const char* n = toOffset(names[i]);
        if (n && strcmp(n, name) == 0)
            return functions[ordinals[i]];
    }
    return 0;
}

}  // namespace

bool ReadPlaybackCounters(HANDLE hProcess, SaverCounters* pCounters)
{
    static const DWORD rva = ExportRva(SaverPath(), "g_playbackCounters");
    HMODULE modules[1];
    DWORD needed = 0;
    if (!rva || !::EnumProcessModules(hProcess, modules, sizeof(modules), &needed) || !needed)
        return false;
    LONG values[5];
    SIZE_T got = 0;
    if (!::ReadProcessMemory(hProcess, reinterpret_cast<BYTE*>(modules[0]) + rva, values, sizeof(values), &got))
        return false;
    pCounters->decoded = values[0];
    pCounters->shown = values[1];
    pCounters->engine = values[2];
    pCounters->dropped = values[3];
    pCounters->starved = values[4];
    return true;
}

namespace {

std::vector<RECT> g_standInMonitors;
decltype(&::GetProcAddress) g_realGetProcAddress;

BOOL WINAPI StandInEnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC proc, LPARAM param)
{
    std::vector<RECT> monitors = g_standInMonitors;
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (!proc(reinterpret_cast<HMONITOR>(i + 1), nullptr, &monitors[i], param))
            break;
    }
    return TRUE;
}

BOOL WINAPI StandInGetMonitorInfoA(HMONITOR monitor, LPMONITORINFO info)
{
    size_t i = reinterpret_cast<size_t>(monitor) - 1;
    if (!info || info->cbSize < sizeof(MONITORINFO) || i >= g_standInMonitors.size())
        return FALSE;
    info->rcMonitor = g_standInMonitors[i];
    info->rcWork = info->rcMonitor;
    info->rcWork.bottom -= 40;
    info->dwFlags = i == 0 ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}

FARPROC WINAPI StandInGetProcAddress(HMODULE module, LPCSTR name)
{
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name))) {
        if (strcmp(name, "EnumDisplayMonitors") == 0)
            return reinterpret_cast<FARPROC>(StandInEnumDisplayMonitors);
        if (strcmp(name, "GetMonitorInfoA") == 0)
            return reinterpret_cast<FARPROC>(StandInGetMonitorInfoA);
    }
    return g_realGetProcAddress(module, name);
}

}  // namespace

StandInMonitors::StandInMonitors(const std::vector<RECT>& monitors)
{
    g_standInMonitors = monitors;
    m_previous = ReplaceImport(::GetModuleHandleA(nullptr), "kernel32.dll", "GetProcAddress",
                               reinterpret_cast<void*>(StandInGetProcAddress));
    if (m_previous)
        g_realGetProcAddress = reinterpret_cast<decltype(&::GetProcAddress)>(m_previous);
}

StandInMonitors::~StandInMonitors()
{
    if (m_previous)
        ReplaceImport(::GetModuleHandleA(nullptr), "kernel32.dll", "GetProcAddress", m_previous);
}

void StandInMonitors::Set(const std::vector<RECT>& monitors) { g_standInMonitors = monitors; }
