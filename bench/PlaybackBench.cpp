// Playback benchmark: starts the real lumaspire.scr and measures
//  - frames shown against frames decoded over a whole 1280 x 720, 25 fps clip,
//  - time from the start of "/s" to the first picture, against a bare process start,
//  - time from the closing key press to the end of the process, against the same peer.
// With "--watch <clip>" it is the helper of tools/bench-players.py instead: it sets the
// saver up to play the clip once, full screen and muted, says "ready", waits for a saver
// that the script starts, and when the pass is over prints the frame counters and closes
// the saver with a key press (the script measures the processes from outside).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/TestSupport.h"

namespace {

const int kRuns = 5;

double Now()
{
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void WriteSettings(const std::string& clip, DWORD option, DWORD loop)
{
    HKEY hKey;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExA(hKey, "Movie File Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(clip.c_str()),
                     static_cast<DWORD>(clip.size() + 1));
    const DWORD one = 1, zero = 0;
    ::RegSetValueExA(hKey, "View Size Option", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&option), 4);
    ::RegSetValueExA(hKey, "Loop Movie", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&loop), 4);
    ::RegSetValueExA(hKey, "Mute", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
    ::RegSetValueExA(hKey, "Start Time", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
    ::RegSetValueExA(hKey, "End Time", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
    ::RegCloseKey(hKey);
}

bool CentreIsPainted()
{
    HDC hdc = ::GetDC(nullptr);
    COLORREF c = ::GetPixel(hdc, ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2);
    ::ReleaseDC(nullptr, hdc);
    return c != CLR_INVALID && (GetRValue(c) > 40 || GetGValue(c) > 40 || GetBValue(c) > 40);
}

// The helper of tools/bench-players.py; returns the exit code.
int Watch(const std::string& clip)
{
    WriteSettings(clip, 2, 0);
    MoveMouseTo(5, 5);
    printf("ready\n");
    fflush(stdout);

    HWND hWnd = WaitForWindow(kSaverWindowClass, kSaverFullScreenTitle, 60000);
    if (!hWnd) {
        printf("no saver window\n");
        return 1;
    }
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    SaverCounters c, last;
    double start = Now(), lastChange = Now(), firstPicture = 0;
    FILETIME created = {}, unused;
    ::GetProcessTimes(hProcess, &created, &unused, &unused, &unused);
    // The pass is over when the counters have stood still for 2 s after the first frame.
    while (Now() - start < 120000) {
        PumpFor(c.shown ? 500 : 20);  // every look costs the server: few of them
        if (!ReadPlaybackCounters(hProcess, &c))
            continue;
        if (c.shown && !firstPicture) {
            FILETIME now;
            ::GetSystemTimeAsFileTime(&now);
            ULARGE_INTEGER a, b;
            a.LowPart = created.dwLowDateTime, a.HighPart = created.dwHighDateTime;
            b.LowPart = now.dwLowDateTime, b.HighPart = now.dwHighDateTime;
            firstPicture = (b.QuadPart - a.QuadPart) / 10000.0;  // from the saver's process start
        }
        if (c.decoded != last.decoded) {
            last = c;
            lastChange = Now();
        } else if (c.decoded && Now() - lastChange > 2000) {
            break;
        }
    }
    if (hProcess)
        ::CloseHandle(hProcess);
    printf("frames decoded %ld shown %ld engine %ld first picture %.0f ms\n", c.decoded, c.shown, c.engine,
           firstPicture);
    fflush(stdout);
    PressKey(VK_SPACE);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--watch") == 0)
        return Watch(argv[2]);

    const std::string clip = ExeDir() + "clips\\bench720.avi";
    ScopedSettingsKey keyGuard;
    MoveMouseTo(5, 5);

    // Peer: a process that starts and ends at once, the same way.
    std::vector<double> bare;
    for (int i = 0; i < kRuns; ++i) {
        double t0 = Now();
        RunSaver("/x");
        bare.push_back(Now() - t0);
    }

    std::vector<double> firstFrame, closing;
    WriteSettings(clip, 2, 1);
    for (int i = 0; i < kRuns; ++i) {
        SaverProcess p;
        double t0 = Now();
        if (!p.Start("/s"))
            return 1;
        if (!PumpUntil([] { return CentreIsPainted(); }, 60000)) {
            printf("no picture within 60 s\n");
            return 1;
        }
        firstFrame.push_back(Now() - t0);
        PumpFor(1000);
        double t1 = Now();
        PressKey(VK_SPACE);
        p.WaitExit(30000);
        closing.push_back(Now() - t1);
    }

    // Every frame of the clip, once, full screen.
    WriteSettings(clip, 2, 0);
    SaverProcess p;
    p.Start("/s");
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, p.Id());
    SaverCounters c, last;
    double playStart = 0, lastChange = Now();
    for (;;) {
        PumpFor(250);
        if (!ReadPlaybackCounters(hProcess, &c))
            continue;
        if (c.decoded && !playStart)
            playStart = Now();
        if (c.decoded != last.decoded) {
            last = c;
            lastChange = Now();
        } else if (c.decoded && Now() - lastChange > 3000) {
            break;  // the pass is over
        }
        if (Now() - lastChange > 120000)
            break;
    }
    double playMs = lastChange - playStart;
    ::CloseHandle(hProcess);
    PressKey(VK_SPACE);
    p.WaitExit(30000);

    const double clipFrames = 300.0, clipMs = 12000.0;
    printf("playback of a 1280x720 25 fps clip (%d frames, 12 s), full screen:\n", static_cast<int>(clipFrames));
    printf("  frames decoded %ld, frames shown %ld: shown/decoded = %.3f\n", c.decoded, c.shown,
           c.decoded ? static_cast<double>(c.shown) / c.decoded : 0.0);
    printf("  decoded/clip frames = %.3f, playing time/clip length = %.3f (%.0f ms)\n", c.decoded / clipFrames,
           playMs / clipMs, playMs);
    printf("median of %d runs; peer: a bare start and exit of the same program (/x) = %.0f ms\n", kRuns,
           Median(bare));
    printf("  /s to first picture: %.0f ms = %.2f x peer\n", Median(firstFrame), Median(firstFrame) / Median(bare));
    printf("  closing key to process exit: %.0f ms = %.2f x peer\n", Median(closing), Median(closing) / Median(bare));
    return 0;
}
