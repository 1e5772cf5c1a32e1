// Soak: the real lumaspire.scr plays a short clip looping for a long time (30 minutes of
// a 2 s clip: 900 loops); its private bytes, handle count and GDI object count at the end
// are compared with their values after the first minute, and it must still close on the
// first key. Not a test: tools/soak.sh runs it and the figures go into the notes.
//   soak_bench.exe <clip> [minutes]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/TestSupport.h"

namespace {

struct Usage {
    SIZE_T privateBytes = 0;
    DWORD handles = 0;
    DWORD gdiObjects = 0;
};

Usage Measure(HANDLE hProcess)
{
    Usage u;
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    if (::GetProcessMemoryInfo(hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc)))
        u.privateBytes = pmc.PrivateUsage;
    else
        printf("soak: GetProcessMemoryInfo failed (%lu)\n", ::GetLastError());
    if (!::GetProcessHandleCount(hProcess, &u.handles))
        printf("soak: GetProcessHandleCount failed (%lu)\n", ::GetLastError());
    u.gdiObjects = ::GetGuiResources(hProcess, GR_GDIOBJECTS);
    return u;
}

double Change(double first, double last)
{
    return first > 0 ? (last - first) * 100.0 / first : (last > 0 ? 100.0 : 0.0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: soak_bench <clip> [minutes]\n");
        return 2;
    }
    int minutes = argc > 2 ? atoi(argv[2]) : 30;
    const char* key = "Software\\Tollvane\\Lumaspire";
    ScopedSettingsKey saved;
    ScopedRegValue clip(key, "Movie File Path", argv[1]);
    ScopedRegValue loop(key, "Loop Movie", 1);
    ScopedRegValue mute(key, "Mute", 1);
    ScopedRegValue start(key, "Start Time", static_cast<DWORD>(0));
    ScopedRegValue end(key, "End Time", static_cast<DWORD>(0));

    SaverProcess saver;
    if (!saver.Start("/s") || !WaitForWindow("WindowsScreenSaverClass", "Screen Saver", 30000)) {
        printf("soak: the saver did not start\n");
        return 1;
    }
    HANDLE hProcess = saver.Handle();
    ::Sleep(60 * 1000);
    Usage first = Measure(hProcess);
    printf("soak: after 1 min: private %lu KB, handles %lu, GDI objects %lu\n",
           static_cast<unsigned long>(first.privateBytes / 1024), first.handles, first.gdiObjects);
    fflush(stdout);
    for (int m = 2; m <= minutes; ++m) {
        ::Sleep(60 * 1000);
        if (!saver.Running()) {
            printf("soak: the saver ended by itself after %d min\n", m);
            return 1;
        }
    }
    Usage last = Measure(hProcess);
    printf("soak: after %d min: private %lu KB, handles %lu, GDI objects %lu\n", minutes,
           static_cast<unsigned long>(last.privateBytes / 1024), last.handles, last.gdiObjects);
    double dPrivate = Change(static_cast<double>(first.privateBytes), static_cast<double>(last.privateBytes));
    double dHandles = Change(first.handles, last.handles);
    double dGdi = Change(first.gdiObjects, last.gdiObjects);
    printf("soak: change: private %+.1f%%, handles %+.1f%%, GDI objects %+.1f%%\n", dPrivate, dHandles, dGdi);

    PressKey(VK_SHIFT);
    DWORD code = saver.WaitExit(15000);
    printf("soak: first key: exit code %lu%s\n", code, code == STILL_ACTIVE ? " (still running)" : "");
    if (first.privateBytes == 0 && first.handles == 0 && first.gdiObjects == 0)
        printf("soak: this system reports no figures for another process (Wine does not); see the Linux view\n");
    bool steady = dPrivate <= 5.0 && dHandles <= 5.0 && dGdi <= 5.0;
    printf("soak: %s\n", steady && code == 0 ? "steady, and closed on the first key" : "NOT steady or not closed");
    return steady && code == 0 ? 0 : 1;
}
