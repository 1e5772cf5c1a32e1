#include "playback/StreamPlayer.h"

#include <ddstream.h>

#include "support/Scoped.h"
#include "playback/FramePresenter.h"
#include "settings/SettingsDlg.h"

namespace {
// A pass that shows no frame at all (a start time past the clip's end, a clip with no
// pictures) is not repeated at once: looping it back to back would keep a processor
// busy for as long as the saver runs.
const DWORD kEmptyPassPauseMs = 200;
}  // namespace

void PauseAfterEmptyPass(const volatile LONG* pPlaying)
{
    // In short steps, so a stop request never waits for the whole pause.
    const DWORD step = 10;
    for (DWORD waited = 0; *pPlaying && waited < kEmptyPassPauseMs; waited += step)
        ::Sleep(step);
}

IAMMultiMediaStream* OpenClipStream(const char* path, bool mute, IDirectDraw* pDirectDraw)
{
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
    return PlayStream(stream.Get(), pDirectDraw, request, pShown);
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
    if (SUCCEEDED(hr))
        hr = presenter.Create(pDirectDraw, request, desc.dwWidth, desc.dwHeight, 1);
    RECT sampleRect = presenter.SampleRect();
    if (SUCCEEDED(hr))
        hr = ddStream->CreateSample(presenter.Offscreen(), &sampleRect, 0, sample.Receive());

    // A stream that opens but cannot hand out a single frame (Wine's DirectShow with an
    // uncompressed RGB24 AVI) is no picture: another engine may play it.
    if (FAILED(hr))
        return PlayResult::FirstFrameFailed;

    const STREAM_TIME start = request.startTime;
    const STREAM_TIME end = request.endTime;
    bool again = true, firstPass = true;
    while (again) {
        bool seekable = SeekToStart(pStream, start);
        pStream->SetState(STREAMSTATE_RUN);

        // Some streams count their time from the start of running rather than from the
        // clip's beginning; the first reading tells which, so the end time stays a
        // position in the clip either way.
        bool firstReading = true, firstUpdate = true;
        STREAM_TIME timeOffset = 0;
        LONG shown = 0;

        while (*request.pPlaying) {
            hr = sample->Update(0, nullptr, nullptr, 0);
            if (hr != S_OK) {
                // An error before the clip's first frame: another engine may play it.
                if (firstPass && firstUpdate && FAILED(hr)) {
                    pStream->SetState(STREAMSTATE_STOP);
                    return PlayResult::FirstFrameFailed;
                }
                break;  // end of the stream, or an error
            }
            firstUpdate = false;
            ++g_playbackCounters.framesDecoded;

            hr = presenter.Present(*request.pGeometry);
            if (FAILED(hr))
                break;
            if (hr == S_OK)
                ++shown;

            if (request.useEndTime) {
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
        firstPass = false;
        *pShown += shown;
        again = *request.pPlaying && request.loop && seekable;
        if (again && shown == 0)
            PauseAfterEmptyPass(request.pPlaying);
    }
    return PlayResult::Played;
}
