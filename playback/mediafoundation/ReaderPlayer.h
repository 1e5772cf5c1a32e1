// The second engine: plays the clip through the Media Foundation source reader, for the
// clips DirectShow cannot open (MP4, MOV, MKV with H.264 on Windows 7 and later). Each
// decoded frame (the decoder's own YUV, or RGB32 where it has none) goes into the
// presenter's surface in one pass and is shown at its own time, against the sound
// device's clock where there is sound.
#pragma once

#include "playback/PlaybackRequest.h"

struct IDirectDraw;
struct MediaFoundationApi;

// Opens and plays the request's clip; CannotOpen where this Windows has no source
// reader or the reader cannot open it. *pShown receives the frames shown.
PlayResult PlayWithReader(const PlaybackRequest& request, IDirectDraw* pDirectDraw, LONG* pShown);

// The same with the given table of Media Foundation functions (a test's stand-in reader).
PlayResult PlayWithReaderApi(const MediaFoundationApi& mf, const PlaybackRequest& request, IDirectDraw* pDirectDraw,
                             LONG* pShown);

// Any thread: shuts down the media source the second engine reads from, if one is open,
// so that a read blocked on a slow or unreachable disk returns at once (and fails). For a
// stop request, after the playing flag is cleared.
void CancelPendingReads();
