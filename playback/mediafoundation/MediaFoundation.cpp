// Defines the Media Foundation GUIDs the player uses (each in a section of its own, so
// the linker keeps only those): the SDK's libmfuuid would bring all of them.
#include <initguid.h>

#include "playback/mediafoundation/MediaFoundation.h"

#include "support/SystemLibrary.h"

namespace {

// Filled once by the playback thread; only one such thread runs at a time.
MediaFoundationApi g_api;
bool g_tried = false;
bool g_loaded = false;

template <class F>
bool Find(HMODULE hModule, const char* name, F* pFunction)
{
    *pFunction = reinterpret_cast<F>(::GetProcAddress(hModule, name));
    return *pFunction != nullptr;
}

}  // namespace

const MediaFoundationApi* GetMediaFoundation()
{
    if (!g_tried) {
        g_tried = true;
        HMODULE hPlat = LoadSystemLibrary("mfplat.dll");
        HMODULE hReadWrite = hPlat ? LoadSystemLibrary("mfreadwrite.dll") : nullptr;
        g_loaded = hReadWrite && Find(hPlat, "MFStartup", &g_api.MFStartup) &&
                   Find(hPlat, "MFShutdown", &g_api.MFShutdown) &&
                   Find(hPlat, "MFCreateAttributes", &g_api.MFCreateAttributes) &&
                   Find(hPlat, "MFCreateMediaType", &g_api.MFCreateMediaType) &&
                   Find(hReadWrite, "MFCreateSourceReaderFromURL", &g_api.MFCreateSourceReaderFromURL);
        if (g_loaded && !(Find(hPlat, "MFCreateSourceResolver", &g_api.MFCreateSourceResolver) &&
                          Find(hReadWrite, "MFCreateSourceReaderFromMediaSource",
                               &g_api.MFCreateSourceReaderFromMediaSource)))
            g_api.MFCreateSourceResolver = nullptr;  // both or neither
        if (!g_loaded) {
            if (hReadWrite)
                ::FreeLibrary(hReadWrite);
            if (hPlat)
                ::FreeLibrary(hPlat);
        }
    }
    return g_loaded ? &g_api : nullptr;
}
