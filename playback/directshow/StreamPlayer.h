// The first engine: plays the clip through a DirectShow multimedia stream onto the
// DirectDraw primary surface, frame by frame, on the playback thread.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <mmstream.h>
#include <amstream.h>

#include "playback/PlaybackRequest.h"

// Opens and plays the request's clip. *pShown receives the frames shown.
PlayResult PlayWithStream(const PlaybackRequest& request, IDirectDraw* pDirectDraw, LONG* pShown);

// The stream of the clip with a DirectDraw video stream (and sound unless muted), or null.
IAMMultiMediaStream* OpenClipStream(const char* path, bool mute, IDirectDraw* pDirectDraw);
// Plays the stream until its end (or the end time), a stop request or a drawing error;
// loops by seeking when the request asks for it.
PlayResult PlayStream(IAMMultiMediaStream* pStream, IDirectDraw* pDirectDraw, const PlaybackRequest& request,
                      LONG* pShown);
// Positions the stream at the start of a pass; true when the stream can seek, so that
// a looping pass may start again.
bool SeekToStart(IMultiMediaStream* pStream, STREAM_TIME start);
