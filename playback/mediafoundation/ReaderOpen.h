// Opens the clip's source reader so that a stop request ends the wait: a clip on an
// unreachable network share keeps the opening for the network's time-out, and the saver
// closes at once all the same.
#pragma once

#include "playback/mediafoundation/MediaFoundation.h"

// The reader on url's media source, made through the source resolver's asynchronous
// request, which is cancelled when *pPlaying is cleared (MF_E_OPERATION_CANCELLED then).
// Where this Windows lacks the functions, the reader is opened synchronously.
HRESULT OpenReader(const MediaFoundationApi& mf, LPCWSTR url, IMFAttributes* pAttributes,
                   const volatile LONG* pPlaying, IMFSourceReader** ppReader);
