#include "playback/PlaybackRequest.h"

PlaybackCounters g_playbackCounters = { 0, 0, 0, 0, 0 };

namespace {
// A pass that shows no frame at all (a start time past the clip's end, a clip with no
// pictures) is not repeated at once: looping it back to back would keep a processor
// busy for as long as the saver runs.
const DWORD kEmptyPassPauseMs = 200;
}  // namespace

bool DisplayIsOff(const PlaybackRequest& request)
{
    return request.pDisplayOff && *request.pDisplayOff && *request.pPlaying;
}

bool WaitWhileDisplayOff(const PlaybackRequest& request)
{
    bool waited = false;
    while (DisplayIsOff(request)) {
        ::Sleep(50);
        waited = true;
    }
    return waited;
}

void PauseAfterEmptyPass(const volatile LONG* pPlaying)
{
    // In short steps, so a stop request never waits for the whole pause.
    const DWORD step = 10;
    for (DWORD waited = 0; *pPlaying && waited < kEmptyPassPauseMs; waited += step)
        ::Sleep(step);
}
