// Plays one clip through a DirectShow multimedia stream onto the DirectDraw primary
// surface, frame by frame, on the playback thread.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <mmstream.h>
#include <amstream.h>

class CSettingsDlg;

// Frames decoded and frames put on the screen since the process started. Exported so a
// benchmark can read them from outside; written by the playback thread only.
struct PlaybackCounters {
    volatile LONG framesDecoded;
    volatile LONG framesShown;
};
extern "C" __declspec(dllexport) PlaybackCounters g_playbackCounters;

// The stream of the clip with a DirectDraw video stream (and sound unless muted), or null.
IAMMultiMediaStream* OpenClipStream(const char* path, IDirectDraw* pDirectDraw);
// Plays the stream until its end (or the end time), a stop request or a drawing error;
// loops by seeking when the settings ask for it. Returns the number of frames shown.
LONG PlayStream(IAMMultiMediaStream* pStream, IDirectDraw* pDirectDraw);
// The pause before a pass is tried again after one that showed nothing; returns as soon
// as *pPlaying is cleared (a stop request), and at once when it already is.
void PauseAfterEmptyPass(const volatile LONG* pPlaying);
// Positions the stream at the start of a pass; true when the stream can seek, so that
// a looping pass may start again.
bool SeekToStart(IMultiMediaStream* pStream, STREAM_TIME start);

// Frame sizes within 1.32 < width/height < 1.34 are made exactly 4:3.
void CorrectAspect(DWORD* pWidth, DWORD* pHeight);
