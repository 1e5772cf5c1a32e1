// Soak: the real lumaspire.scr plays a short clip looping for a long time (30 minutes of
// a 2 s clip: 900 loops); its private bytes, handle count and GDI object count at the end
// are compared with their values after the first minute, and it must still close on the
// first key. Not a test: tools/soak.sh runs it and the figures go into the notes.
//   soak_bench.exe <clip> [minutes]
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/TestSupport.h"

namespace {

struct Usage {
    SIZE_T privateBytes = 0;
    DWORD handles = 0;
    DWORD gdiObjects = 0;
    bool gdiFromTable = false;  // counted in Wine's own handle table
};

// Wine answers GetProcessHandleCount for another process with 0; the system's process
// list carries the same count.
DWORD HandleCountFromProcessList(DWORD processId)
{
    std::vector<BYTE> buffer(256 * 1024);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = ::NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                                static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0)
        return 0;
    for (size_t offset = 0;;) {
        const auto* p = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<ULONG_PTR>(p->UniqueProcessId) == processId)
            return p->HandleCount;
        if (!p->NextEntryOffset)
            return 0;
        offset += p->NextEntryOffset;
    }
}

// Wine's GetGuiResources is a stub. Its GDI keeps each process's objects in a table that
// the process's PEB points to (GdiSharedHandleTable, at 0x94 in a 32-bit PEB); an entry
// in use has a non-zero type. 24-byte entries, 65536 of them.
DWORD GdiObjectsFromWineTable(HANDLE hProcess)
{
    PROCESS_BASIC_INFORMATION basic = {};
    if (::NtQueryInformationProcess(hProcess, ProcessBasicInformation, &basic, sizeof(basic), nullptr) < 0)
        return 0;
    DWORD table = 0;
    if (!::ReadProcessMemory(hProcess, reinterpret_cast<const BYTE*>(basic.PebBaseAddress) + 0x94,
                             &table, sizeof(table), nullptr) || !table)
        return 0;
    const size_t kEntry = 24, kCount = 0x10000, kTypeOffset = 14;
    std::vector<BYTE> entries(kEntry * kCount);
    if (!::ReadProcessMemory(hProcess, reinterpret_cast<LPCVOID>(static_cast<ULONG_PTR>(table)),
                             entries.data(), entries.size(), nullptr))
        return 0;
    DWORD inUse = 0;
    for (size_t i = 0; i < kCount; ++i)
        inUse += entries[i * kEntry + kTypeOffset] != 0;
    return inUse;
}

Usage Measure(HANDLE hProcess, DWORD processId)
{
    Usage u;
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    if (::GetProcessMemoryInfo(hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc)))
        // Windows fills both with the commit charge; Wine only the page-file figure (its
        // anonymous resident and swapped memory) for another process.
        u.privateBytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    else
        printf("soak: GetProcessMemoryInfo failed (%lu)\n", ::GetLastError());
    if (!::GetProcessHandleCount(hProcess, &u.handles) || u.handles == 0)
        u.handles = HandleCountFromProcessList(processId);
    ::SetLastError(0);
    u.gdiObjects = ::GetGuiResources(hProcess, GR_GDIOBJECTS);
    if (u.gdiObjects == 0 && ::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
        u.gdiObjects = GdiObjectsFromWineTable(hProcess);
        u.gdiFromTable = true;
    }
    return u;
}

void Print(const char* when, const Usage& u)
{
    printf("soak: %s: private %lu KB, handles %lu, GDI objects %lu%s\n", when,
           static_cast<unsigned long>(u.privateBytes / 1024), u.handles, u.gdiObjects,
           u.gdiFromTable ? " (from Wine's GDI table)" : "");
    fflush(stdout);
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
    const char* key = kSaverSettingsKey;
    ScopedSettingsKey saved;
    ScopedRegValue clip(key, "Movie File Path", argv[1]);
    ScopedRegValue loop(key, "Loop Movie", 1);
    ScopedRegValue mute(key, "Mute", 1);
    ScopedRegValue start(key, "Start Time", static_cast<DWORD>(0));
    ScopedRegValue end(key, "End Time", static_cast<DWORD>(0));

    SaverProcess saver;
    if (!saver.Start("/s") || !WaitForWindow(kSaverWindowClass, kSaverFullScreenTitle, 30000)) {
        printf("soak: the saver did not start\n");
        return 1;
    }
    HANDLE hProcess = saver.Handle();
    ::Sleep(60 * 1000);
    Usage first = Measure(hProcess, saver.Id());
    Print("after 1 min", first);
    Usage last = first;
    for (int m = 2; m <= minutes; ++m) {
        ::Sleep(60 * 1000);
        if (!saver.Running()) {
            printf("soak: the saver ended by itself after %d min\n", m);
            return 1;
        }
        // Every minute, so a slow climb shows apart from a step that levels off.
        last = Measure(hProcess, saver.Id());
        char when[32];
        snprintf(when, sizeof(when), "after %d min", m);
        Print(when, last);
    }
    double dPrivate = Change(static_cast<double>(first.privateBytes), static_cast<double>(last.privateBytes));
    double dHandles = Change(first.handles, last.handles);
    double dGdi = Change(first.gdiObjects, last.gdiObjects);
    printf("soak: change: private %+.1f%%, handles %+.1f%%, GDI objects %+.1f%%\n", dPrivate, dHandles, dGdi);

    PressKey(VK_SHIFT);
    DWORD code = saver.WaitExit(15000);
    printf("soak: first key: exit code %lu%s\n", code, code == STILL_ACTIVE ? " (still running)" : "");
    if (first.privateBytes == 0 || first.handles == 0 || first.gdiObjects == 0)
        printf("soak: some figures were not reported for another process; see the Linux view\n");
    bool steady = dPrivate <= 5.0 && dHandles <= 5.0 && dGdi <= 5.0;
    printf("soak: %s\n", steady && code == 0 ? "steady, and closed on the first key" : "NOT steady or not closed");
    return steady && code == 0 ? 0 : 1;
}
