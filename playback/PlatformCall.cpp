#include "playback/PlatformCall.h"

namespace {
const LONG kLetGo = -1;
// How deep the playback thread is in marked calls (0: in the saver's own code), or kLetGo.
// Changed only by interlocked exchange: the thread counts up and down, the UI thread turns
// a count above 0 into kLetGo. One playback thread at a time; none starts after a let-go.
volatile LONG g_depth = 0;

[[noreturn]] void StopForGood()
{
    for (;;)
        ::Sleep(INFINITE);
}

// The close deadline: set once the close has begun; its thread has started when ready is.
HANDLE g_closeBegun = nullptr;
HANDLE g_deadlineReady = nullptr;
volatile LONG g_closeWithinMs = 0;
// The full-screen window whose thread is watched, and what tells that it hangs after input
// (Windows 2000 and later; looked up before any playback thread runs).
HWND g_hWatched = nullptr;
typedef BOOL(WINAPI* IsHungFn)(HWND);
typedef BOOL(WINAPI* LastInputFn)(LASTINPUTINFO*);
IsHungFn g_isHung = nullptr;
LastInputFn g_lastInput = nullptr;
const DWORD kWatchEveryMs = 250;

DWORD LastInput()
{
    LASTINPUTINFO info = { sizeof(info), 0 };
    return g_lastInput && g_lastInput(&info) ? info.dwTime : 0;
}

DWORD WINAPI DeadlineThread(LPVOID)
{
    // Its first call into the window system comes before any thread of ours can hold a lock.
    const DWORD inputAtStart = LastInput();
    ::SetEvent(g_deadlineReady);
    if (g_hWatched && g_isHung && g_lastInput) {
        // Input that would close the saver reaches it only through its UI thread. Where that
        // thread hangs (the system marks a window hung after 5 s without its thread taking a
        // message) and input came meanwhile, the process ends now: closing is what the input
        // asked for.
        while (::WaitForSingleObject(g_closeBegun, kWatchEveryMs) == WAIT_TIMEOUT) {
            if (LastInput() != inputAtStart && g_isHung(g_hWatched))
                ::TerminateProcess(::GetCurrentProcess(), 0);
        }
    } else {
        ::WaitForSingleObject(g_closeBegun, INFINITE);
    }
    ::Sleep(static_cast<DWORD>(g_closeWithinMs));
    // Needs no lock of the process's: the system ends every thread wherever it is.
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return 0;
}
}  // namespace

CPlatformCall::CPlatformCall()
{
    for (;;) {
        const LONG depth = g_depth;
        if (depth == kLetGo)
            StopForGood();
        if (::InterlockedCompareExchange(&g_depth, depth + 1, depth) == depth)
            return;
    }
}

CPlatformCall::~CPlatformCall()
{
    for (;;) {
        const LONG depth = g_depth;
        if (depth == kLetGo)
            StopForGood();
        if (::InterlockedCompareExchange(&g_depth, depth - 1, depth) == depth)
            return;
    }
}

void ResetPlatformCalls()
{
    ::InterlockedExchange(&g_depth, 0);
}

bool LetGoOfPlaybackThread()
{
    for (;;) {
        const LONG depth = g_depth;
        if (depth <= 0)
            return depth == kLetGo;
        if (::InterlockedCompareExchange(&g_depth, kLetGo, depth) == depth)
            return true;
    }
}

void PrepareCloseDeadline(HWND hFullScreen)
{
    if (g_closeBegun)
        return;
    g_hWatched = hFullScreen;
    HMODULE hUser = ::GetModuleHandleA("user32.dll");
    g_isHung = reinterpret_cast<IsHungFn>(::GetProcAddress(hUser, "IsHungAppWindow"));
    g_lastInput = reinterpret_cast<LastInputFn>(::GetProcAddress(hUser, "GetLastInputInfo"));
    g_closeBegun = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_deadlineReady = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!g_closeBegun || !g_deadlineReady)
        return;  // the close goes on without its last resort
    HANDLE hThread = ::CreateThread(nullptr, 0, DeadlineThread, nullptr, 0, nullptr);
    if (!hThread)
        return;
    ::CloseHandle(hThread);
    // No other thread of ours runs yet: only the system's own can keep it from starting.
    ::WaitForSingleObject(g_deadlineReady, 2000);
}

void BeginCloseDeadline(DWORD ms)
{
    if (!g_closeBegun)
        return;
    ::InterlockedExchange(&g_closeWithinMs, static_cast<LONG>(ms));
    ::SetEvent(g_closeBegun);
}
