// Platform calls that the saver's close need not wait out. Opening a clip, making its
// decoder, opening the sound device, reading from a slow share or letting go of what was
// opened can each stay inside the system for seconds, and nothing can cancel them: a
// splitter that parses what it cannot play, a share that does not answer, a headset that
// reconnects. The playback thread marks such calls. When the saver closes and the thread is
// still inside one after a short wait, it is let go: it never comes back into the saver's
// own code (the moment the call returns it stops for good), so the window and the settings
// can go, and the process ends without waiting for the call.
#pragma once

#include <windows.h>

// Scoped, on the playback thread, around platform calls that use only objects of the
// thread's own (nothing of the window or the settings, no drawing of the saver's). Nests.
class CPlatformCall {
public:
    CPlatformCall();
    // Where the thread was let go meanwhile this never returns: the process is ending.
    ~CPlatformCall();
    CPlatformCall(const CPlatformCall&) = delete;
    CPlatformCall& operator=(const CPlatformCall&) = delete;
};

// UI thread, before a playback thread starts: nothing marked.
void ResetPlatformCalls();
// UI thread, at the close, where the process ends next: true when the playback thread is
// inside a marked call, and is let go (from now on it touches nothing of the saver's).
bool LetGoOfPlaybackThread();

// The last resort of the close. A thread stuck for good can hold a lock the UI thread
// needs: the loader's (a codec whose DllMain never returns; a thread ended by
// TerminateThread inside a library's loading), the heap's or a decoder's. Then neither the
// window nor the process would ever go. A thread of its own ends the process a fixed time
// after the close began, whatever the UI thread is waiting for; and for the full-screen
// saver, when input came and the UI thread hangs (it may wait for such a lock before the
// input even reaches the window: taking a message can load a library).
// UI thread, before any playback thread runs: the deadline's thread is made and has
// started (a thread starting later needs the loader's lock to run at all). hFullScreen:
// the full-screen window, or null (the preview, which input does not close).
void PrepareCloseDeadline(HWND hFullScreen);
// UI thread, as the close begins: the process ends within ms from now.
void BeginCloseDeadline(DWORD ms);
