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
