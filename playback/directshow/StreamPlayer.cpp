#include "playback/directshow/StreamPlayer.h"

#include <ddstream.h>
#include <dvdmedia.h>

#include "support/Scoped.h"
#include "playback/PlatformCall.h"
#include "playback/clipinfo/ClipHeaders.h"
#include "playback/present/FramePresenter.h"
#include "settings/SettingsDlg.h"

namespace {
// What the DirectShow headers would bring from strmiids, which holds them all in one object.
const GUID kIidPin = { 0x56a86891, 0x0ad4, 0x11ce, { 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70 } };
const GUID kFormatVideoInfo2 = { 0xf72a76a0, 0xeb0a, 0x11d0, { 0xac, 0xe4, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba } };
const GUID kFormatMpeg2Video = { 0xe06d80e3, 0xdb46, 0x11cf, { 0xb4, 0xd1, 0x00, 0x80, 0x5f, 0x6c, 0xbb, 0xea } };

// The pixel aspect ratio from a picture aspect ratio in a VIDEOINFOHEADER2 (which
// MPEG2VIDEOINFO begins with); false for other formats.
bool AspectOf(const AM_MEDIA_TYPE& mt, UINT32* pParX, UINT32* pParY)
{
    if ((mt.formattype != kFormatVideoInfo2 && mt.formattype != kFormatMpeg2Video) || !mt.pbFormat ||
        mt.cbFormat < sizeof(VIDEOINFOHEADER2))
        return false;
    const VIDEOINFOHEADER2& vih = *reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
    const ULONGLONG w = static_cast<ULONGLONG>(vih.bmiHeader.biWidth < 0 ? -vih.bmiHeader.biWidth
                                                                          : vih.bmiHeader.biWidth);
    const ULONGLONG h = static_cast<ULONGLONG>(vih.bmiHeader.biHeight < 0 ? -vih.bmiHeader.biHeight
                                                                           : vih.bmiHeader.biHeight);
    if (!vih.dwPictAspectRatioX || !vih.dwPictAspectRatioY || !w || !h)
        return false;
    // Pixels are (picture width / frame width) : (picture height / frame height).
    ULONGLONG x = vih.dwPictAspectRatioX * h, y = vih.dwPictAspectRatioY * w;
    while (x > 0xFFFFFFFFull || y > 0xFFFFFFFFull) {
        x >>= 1;
        y >>= 1;
    }
    *pParX = static_cast<UINT32>(x);
    *pParY = static_cast<UINT32>(y);
    return x && y;
}

void FreeFormat(AM_MEDIA_TYPE& mt)
{
    if (mt.pbFormat)
        ::CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk)
        mt.pUnk->Release();
}

// The video stream's own connection carries the display's RGB format only; the pixel
// aspect ratio is on the connections further up (the splitter's output, the decoder's),
// so those are looked at, a few filters up the graph.
void FindPixelAspect(IMediaStream* pVideo, UINT32* pParX, UINT32* pParY)
{
    *pParX = *pParY = 0;
    ComPtr<IPin> pin;
    if (FAILED(pVideo->QueryInterface(kIidPin, pin.ReceiveVoid())))
        return;
    for (int hop = 0; hop < 4 && pin; ++hop) {
        AM_MEDIA_TYPE mt = {};
        if (SUCCEEDED(pin->ConnectionMediaType(&mt))) {
            const bool found = AspectOf(mt, pParX, pParY);
            FreeFormat(mt);
            if (found)
                return;
        }
        // From this input pin to the output pin feeding it, and on to that filter's input.
        ComPtr<IPin> upstream;
        PIN_INFO info = {};
        if (FAILED(pin->ConnectedTo(upstream.Receive())) || FAILED(upstream->QueryPinInfo(&info)) || !info.pFilter)
            return;
        ComPtr<IBaseFilter> filter(info.pFilter);
        pin.Release();
        ComPtr<IEnumPins> pins;
        if (FAILED(filter->EnumPins(pins.Receive())))
            return;
        ComPtr<IPin> candidate;
        while (pins->Next(1, candidate.Receive(), nullptr) == S_OK) {
            PIN_DIRECTION direction;
            ComPtr<IPin> peer;
            if (SUCCEEDED(candidate->QueryDirection(&direction)) && direction == PINDIR_INPUT &&
                SUCCEEDED(candidate->ConnectedTo(peer.Receive()))) {
                pin.Release();
                *pin.Receive() = candidate.Detach();
                break;
            }
        }
    }
}

// A display mode change leaves the surfaces of the old mode behind for good.
bool ModeChanged(HRESULT hr) { return hr == DDERR_WRONGMODE; }
}  // namespace

IAMMultiMediaStream* OpenClipStream(const char* path, bool mute, IDirectDraw* pDirectDraw)
{
    WCHAR widePath[MAX_PATH] = {};
    // A path that does not fit is not cut short into some other file's name.
    if (!::MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH))
        return nullptr;

    // Nothing here but the system's own work: a splitter that parses a file it cannot play,
    // or a share that does not answer, keeps OpenFile for seconds, and the close does not
    // wait for it (a failed stream is let go of inside too).
    CPlatformCall inside;
    ComPtr<IAMMultiMediaStream> stream;
    if (FAILED(::CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IAMMultiMediaStream, stream.ReceiveVoid())) || !stream)
        return nullptr;

    // The stream makes its own graph thread: the filter graph manager needs a thread that
    // dispatches messages, which the playback thread does not.
    HRESULT hr = stream->Initialize(STREAMTYPE_READ, 0, nullptr);
    if (SUCCEEDED(hr))
        hr = stream->AddMediaStream(pDirectDraw, &MSPID_PrimaryVideo, 0, nullptr);
    if (SUCCEEDED(hr) && !mute) {
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

PlayResult PlayWithStream(const PlaybackRequest& request, IDirectDraw* pDirectDraw, LONG* pShown)
{
    *pShown = 0;
    ComPtr<IAMMultiMediaStream> stream(OpenClipStream(request.clipPath, request.mute, pDirectDraw));
    if (!stream)
        return PlayResult::CannotOpen;
    const PlayResult result = PlayStream(stream.Get(), pDirectDraw, request, pShown);
    CPlatformCall inside;  // the graph's filters and threads end with it
    stream.Release();
    return result;
}

PlayResult PlayStream(IAMMultiMediaStream* pStream, IDirectDraw* pDirectDraw, const PlaybackRequest& request,
                      LONG* pShown)
{
    // Released in reverse order of declaration; the presenter detaches its clipper.
    ComPtr<IMediaStream> videoStream;
    ComPtr<IDirectDrawMediaStream> ddStream;
    CFramePresenter presenter;
    ComPtr<IDirectDrawStreamSample> sample;

    HRESULT hr = pStream->GetMediaStream(MSPID_PrimaryVideo, videoStream.Receive());
    if (SUCCEEDED(hr))
        hr = videoStream->QueryInterface(IID_IDirectDrawMediaStream, ddStream.ReceiveVoid());
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    if (SUCCEEDED(hr))
        hr = ddStream->GetFormat(&desc, nullptr, nullptr, nullptr);
    // The offscreen surface takes the display's pixel format: the stream converts into it.
    UINT32 parX = 0, parY = 0;
    if (SUCCEEDED(hr))
        FindPixelAspect(videoStream.Get(), &parX, &parY);
    // The multimedia stream often hands no pixel shape over (a plain VIDEOINFOHEADER all
    // the way up): then the file's own word, as its headers state it.
    ClipHeaders headers;
    if (SUCCEEDED(hr) && !parX && ReadClipHeadersFromFile(request.clipPath, &headers)) {
        parX = headers.parX;
        parY = headers.parY;
    }
    if (SUCCEEDED(hr))
        hr = presenter.Create(pDirectDraw, request, desc.dwWidth, desc.dwHeight, parX, parY, 1);
    RECT sampleRect = presenter.SampleRect();
    if (SUCCEEDED(hr))
        hr = ddStream->CreateSample(presenter.Offscreen(), &sampleRect, 0, sample.Receive());

    // A stream that opens but cannot hand out a single frame (Wine's DirectShow with an
    // uncompressed RGB24 AVI) is no picture: another engine may play it.
    if (FAILED(hr))
        return PlayResult::FirstFrameFailed;

    STREAM_TIME duration = 0;
    if (request.pProgress && SUCCEEDED(pStream->GetDuration(&duration)))
        request.pProgress->duration = duration;

    const STREAM_TIME start = request.startTime;
    const STREAM_TIME end = request.endTime;
    bool again = true, firstPass = true;
    while (again) {
        bool seekable = SeekToStart(pStream, start);
        pStream->SetState(STREAMSTATE_RUN);

        // Some streams count their time from the start of running rather than from the
        // position it was seeked to; the first reading tells which, so the end time stays
        // a position in the clip either way.
        bool firstReading = true;
        STREAM_TIME seekedTo = start, timeOffset = 0, position = start;
        LONG shown = 0, frames = 0;

        while (*request.pPlaying) {
            if (DisplayIsOff(request)) {
                // Nothing decoded and nothing heard while the display is off; then on from here.
                pStream->SetState(STREAMSTATE_STOP);
                WaitWhileDisplayOff(request);
                if (seekable) {
                    pStream->Seek(position);
                    seekedTo = position;
                    firstReading = true;
                    timeOffset = 0;
                }
                pStream->SetState(STREAMSTATE_RUN);
                continue;
            }
            {
                CPlatformCall inside;  // until the next frame is decoded, from a slow share too
                hr = sample->Update(0, nullptr, nullptr, 0);
            }
            if (hr == DDERR_SURFACELOST) {
                // The frame's surface was lost (a consent prompt, a locked workstation, a
                // remote session switch): restored, and on with the next frame. While it
                // cannot be restored yet, not at full load.
                hr = presenter.Offscreen()->Restore();
                if (ModeChanged(hr)) {
                    pStream->SetState(STREAMSTATE_STOP);
                    return PlayResult::DisplayChanged;
                }
                if (FAILED(hr))
                    ::Sleep(50);
                continue;
            }
            if (hr != S_OK)
                break;  // end of the stream, or an error
            ++g_playbackCounters.framesDecoded;

            hr = presenter.Present(*request.pGeometry);
            if (ModeChanged(hr)) {
                pStream->SetState(STREAMSTATE_STOP);
                return PlayResult::DisplayChanged;
            }
            if (FAILED(hr))
                break;
            ++frames;
            if (hr == S_OK)
                ++shown;

            STREAM_TIME now = 0;
            if (SUCCEEDED(pStream->GetTime(&now))) {
                if (firstReading && seekable && seekedTo > 0 && now < seekedTo)
                    timeOffset = seekedTo;
                firstReading = false;
                position = now + timeOffset;
                if (request.pProgress)
                    request.pProgress->position = position;
                if (request.useEndTime && position >= end)
                    break;
            }
        }
        {
            CPlatformCall inside;  // the graph's threads stop first
            pStream->SetState(STREAMSTATE_STOP);
        }
        *pShown += shown;
        // A pass that put nothing on the screen (a start past the clip's end, a clip that
        // fails at its first frame or its first blit) is no picture: the first one says so;
        // a later one ends this stream, and the thread opens the clip anew.
        if (frames == 0 && *request.pPlaying)
            return firstPass ? PlayResult::FirstFrameFailed : PlayResult::Played;
        firstPass = false;
        if (request.holdStill) {
            presenter.Hold(*request.pGeometry, request.pPlaying);
            break;
        }
        again = *request.pPlaying && request.loop && seekable;
    }
    return PlayResult::Played;
}
