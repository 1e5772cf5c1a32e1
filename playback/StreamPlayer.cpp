#include "playback/StreamPlayer.h"

#include <ddstream.h>

#include "app/ClipSaverApp.h"
#include "playback/ComPtr.h"
#include "settings/SettingsDlg.h"

PlaybackCounters g_playbackCounters = { 0, 0 };

namespace {

const float kBandLow = 1.32f;
const float kBandHigh = 1.34f;
const float kFourThirds = 1.3333334f;
const float kThreeQuarters = 0.75f;
// A pass that shows no frame at all (a start time past the clip's end, a clip with no
// pictures) is not repeated at once: looping it back to back would keep a processor
// busy for as long as the saver runs.
const DWORD kEmptyPassPauseMs = 200;

struct Context {
    CClipSaverApp* pApp;
    CSettingsDlg* pSettings;
    HWND hWnd;  // the saver window the picture goes to
};

bool GetContext(Context* pContext)
{
    pContext->pApp = GetClipSaverApp();
    pContext->pSettings = pContext->pApp ? pContext->pApp->GetSettings() : nullptr;
    CWnd* pMain = pContext->pApp ? pContext->pApp->m_pMainWnd : nullptr;
    pContext->hWnd = pMain ? pMain->m_hWnd : nullptr;
    return pContext->pSettings != nullptr;
}

// The saver window's client area on the screen, clipped to the screen.
RECT ViewArea(HWND hWnd)
{
    RECT client;
    ::GetClientRect(hWnd, &client);
    ::ClientToScreen(hWnd, reinterpret_cast<POINT*>(&client.left));
    ::ClientToScreen(hWnd, reinterpret_cast<POINT*>(&client.right));
    RECT screen = { 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN) };
    RECT area;
    if (!::IntersectRect(&area, &client, &screen))
        area = RECT{ client.left, client.top, client.left, client.top };
    return area;
}

}  // namespace

void CorrectAspect(DWORD* pWidth, DWORD* pHeight)
{
    float width = static_cast<float>(*pWidth);
    float height = static_cast<float>(*pHeight);
    if (height <= 0.0f)
        return;
    float ratio = width / height;
    if (ratio > kBandLow && ratio < kBandHigh) {
        if (*pWidth % 4 != 0)
            *pWidth = static_cast<DWORD>(height * kFourThirds);
        else
            *pHeight = static_cast<DWORD>(width * kThreeQuarters);
    }
}

IAMMultiMediaStream* OpenClipStream(const char* path, IDirectDraw* pDirectDraw)
{
    Context ctx;
    if (!GetContext(&ctx))
        return nullptr;

    ComPtr<IAMMultiMediaStream> stream;
    if (FAILED(::CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IAMMultiMediaStream, stream.ReceiveVoid())) || !stream)
        return nullptr;

    WCHAR widePath[MAX_PATH] = {};
    // A path that does not fit is not cut short into some other file's name.
    if (!::MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH))
        return nullptr;

    HRESULT hr = stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, nullptr);
    if (SUCCEEDED(hr))
        hr = stream->AddMediaStream(pDirectDraw, &MSPID_PrimaryVideo, 0, nullptr);
    if (SUCCEEDED(hr) && !ctx.pSettings->m_bMute) {
        // Without a sound device no audio renderer can be added: the picture still plays.
        stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr);
    }
    if (SUCCEEDED(hr))
        hr = stream->OpenFile(widePath, 0);
    return SUCCEEDED(hr) ? stream.Detach() : nullptr;
}

// Where the stream cannot describe itself (GetInformation fails), a seek that works is
// taken as the sign that it can seek, so the start time and looping are not lost.
bool SeekToStart(IMultiMediaStream* pStream, STREAM_TIME start)
{
    DWORD flags = 0;
    STREAM_TYPE type;
    if (SUCCEEDED(pStream->GetInformation(&flags, &type))) {
        if (!(flags & MMSSF_SUPPORTSEEK))
            return false;
        pStream->Seek(start);
        return true;
    }
    return SUCCEEDED(pStream->Seek(start));
}

void PauseAfterEmptyPass(const volatile LONG* pPlaying)
{
    // In short steps, so a stop request never waits for the whole pause.
    const DWORD step = 10;
    for (DWORD waited = 0; *pPlaying && waited < kEmptyPassPauseMs; waited += step)
        ::Sleep(step);
}

LONG PlayStream(IAMMultiMediaStream* pStream, IDirectDraw* pDirectDraw)
{
    LONG shownInAll = 0;
    Context ctx;
    if (!GetContext(&ctx))
        return shownInAll;
    CSettingsDlg* s = ctx.pSettings;

    // Released in reverse order of declaration, after the clipper is detached below.
    ComPtr<IMediaStream> videoStream;
    ComPtr<IDirectDrawMediaStream> ddStream;
    ComPtr<IDirectDrawStreamSample> sample;
    ComPtr<IDirectDrawSurface> primary;
    ComPtr<IDirectDrawSurface> offscreen;
    ComPtr<IDirectDrawClipper> clipper;

    HRESULT hr = pDirectDraw->CreateClipper(0, clipper.Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = clipper->SetHWnd(0, ctx.hWnd);

    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (SUCCEEDED(hr))
        hr = pDirectDraw->CreateSurface(&desc, primary.Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = primary->SetClipper(clipper.Get());  // every blit stays inside the saver window

    if (SUCCEEDED(hr))
        hr = pStream->GetMediaStream(MSPID_PrimaryVideo, videoStream.Receive());
    if (SUCCEEDED(hr))
        hr = videoStream->QueryInterface(IID_IDirectDrawMediaStream, ddStream.ReceiveVoid());
    if (SUCCEEDED(hr)) {
        desc = DDSURFACEDESC();
        desc.dwSize = sizeof(desc);
        hr = ddStream->GetFormat(&desc, nullptr, nullptr, nullptr);
    }

    DWORD width = desc.dwWidth;
    DWORD height = desc.dwHeight;
    CorrectAspect(&width, &height);
    RECT sampleRect = { 0, 0, static_cast<LONG>(width), static_cast<LONG>(height) };

    if (SUCCEEDED(hr)) {
        // The display's own pixel format: the stream converts into it.
        desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
        desc.dwWidth = width;
        desc.dwHeight = height;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        hr = pDirectDraw->CreateSurface(&desc, offscreen.Receive(), nullptr);
    }
    if (SUCCEEDED(hr))
        hr = ddStream->CreateSample(offscreen.Get(), &sampleRect, 0, sample.Receive());

    ULONGLONG startTime = 0, endTime = 0;
    s->GetClipTimes(&startTime, &endTime);
    const STREAM_TIME start = s->m_bStartTime ? static_cast<STREAM_TIME>(startTime) : 0;
    const STREAM_TIME end = static_cast<STREAM_TIME>(endTime);

    bool again = SUCCEEDED(hr);
    while (again) {
        bool seekable = SeekToStart(pStream, start);
        pStream->SetState(STREAMSTATE_RUN);

        // Some streams count their time from the start of running rather than from the
        // clip's beginning; the first reading tells which, so the end time stays a
        // position in the clip either way.
        bool firstReading = true;
        STREAM_TIME timeOffset = 0;
        LONG shown = 0;

        while (ctx.pApp->m_bPlaying) {
            if (sample->Update(0, nullptr, nullptr, 0) != S_OK)
                break;  // end of the stream, or an error
            ++g_playbackCounters.framesDecoded;

            RECT area = ViewArea(ctx.hWnd);
            RECT placed = sampleRect;
            s->CalcViewRect(area, &placed);
            hr = primary->Blt(&placed, offscreen.Get(), nullptr, DDBLT_WAIT, nullptr);
            if (hr == DDERR_SURFACELOST) {
                primary->Restore();
                offscreen->Restore();
            } else if (FAILED(hr)) {
                break;
            } else {
                ++g_playbackCounters.framesShown;
                ++shown;
            }

            if (s->m_bEndTime) {
                STREAM_TIME now = 0;
                if (SUCCEEDED(pStream->GetTime(&now))) {
                    if (firstReading && seekable && start > 0 && now < start)
                        timeOffset = start;
                    firstReading = false;
                    if (now + timeOffset >= end)
                        break;
                }
            }
        }
        pStream->SetState(STREAMSTATE_STOP);
        shownInAll += shown;
        again = ctx.pApp->m_bPlaying && s->m_bLoop && seekable;
        if (again && shown == 0)
            PauseAfterEmptyPass(&ctx.pApp->m_bPlaying);
    }

    if (primary)
        primary->SetClipper(nullptr);
    clipper.Release();
    offscreen.Release();
    primary.Release();
    sample.Release();
    ddStream.Release();
    videoStream.Release();
    return shownInAll;
}
