// Media Foundation, looked up at run time: Windows 95 to Vista have no source reader,
// and a program that imported it would not even load there.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

struct MediaFoundationApi {
    HRESULT (WINAPI* MFStartup)(ULONG version, DWORD flags);
    // Blocks while anything holds the platform (a live asynchronous result does), for a few
    // seconds at most: the engine never calls it while the saver runs.
    HRESULT (WINAPI* MFShutdown)();
    HRESULT (WINAPI* MFCreateAttributes)(IMFAttributes** ppAttributes, UINT32 initialSize);
    HRESULT (WINAPI* MFCreateMediaType)(IMFMediaType** ppType);
    HRESULT (WINAPI* MFCreateSourceReaderFromURL)(LPCWSTR url, IMFAttributes* pAttributes,
                                                  IMFSourceReader** ppReader);
    // For an opening that a stop request can cancel; null where this Windows lacks them.
    HRESULT (WINAPI* MFCreateSourceResolver)(IMFSourceResolver** ppResolver);
    HRESULT (WINAPI* MFCreateSourceReaderFromMediaSource)(IMFMediaSource* pSource, IMFAttributes* pAttributes,
                                                          IMFSourceReader** ppReader);
};

// The functions, or null where this Windows has no source reader (before Windows 7).
// Playback thread only: the libraries stay loaded for the rest of the process.
const MediaFoundationApi* GetMediaFoundation();

// Windows 7's version of the interfaces; later systems accept it.
const ULONG kMediaFoundationVersion = 0x00020070;
