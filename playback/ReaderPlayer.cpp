#include "playback/ReaderPlayer.h"

#include <ddraw.h>

#include "support/Scoped.h"
#include "playback/FramePresenter.h"
#include "playback/MediaFoundation.h"
#include "playback/ReaderFrames.h"
#include "playback/WaveOut.h"
#include "settings/SettingsDlg.h"

namespace {

const DWORD kVideo = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
const DWORD kAudio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

// The first audio stream as PCM on a sound device; false (and the stream left out)
// where there is none, or no device.
bool OpenSound(const MediaFoundationApi& mf, IMFSourceReader* pReader, CWaveOut* pWave)
{
    ComPtr<IMFMediaType> wanted, type;
    HRESULT hr = pReader->SetStreamSelection(kAudio, TRUE);
    if (SUCCEEDED(hr))
        hr = mf.MFCreateMediaType(wanted.Receive());
    if (SUCCEEDED(hr))
        hr = wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    if (SUCCEEDED(hr))
        hr = wanted->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    if (SUCCEEDED(hr))
        hr = pReader->SetCurrentMediaType(kAudio, nullptr, wanted.Get());
    if (SUCCEEDED(hr))
        hr = pReader->GetCurrentMediaType(kAudio, type.Receive());
    UINT32 channels = 0, rate = 0, bits = 0;
    if (SUCCEEDED(hr))
        hr = type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
    if (SUCCEEDED(hr))
        hr = type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
    if (SUCCEEDED(hr))
        hr = type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
    bool open = false;
    if (SUCCEEDED(hr) && channels >= 1 && channels <= 8 && rate && (bits == 8 || bits == 16)) {
        WAVEFORMATEX format = {};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = static_cast<WORD>(channels);
        format.nSamplesPerSec = rate;
        format.wBitsPerSample = static_cast<WORD>(bits);
        format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
        format.nAvgBytesPerSec = rate * format.nBlockAlign;
        open = pWave->Open(format);
    }
    if (!open)
        pReader->SetStreamSelection(kAudio, FALSE);
    return open;
}

bool CanSeek(IMFSourceReader* pReader)
{
    PROPVARIANT var;
    ::ZeroMemory(&var, sizeof(var));
    // The characteristics are a VT_UI4, which needs no clearing.
    if (FAILED(pReader->GetPresentationAttribute(MF_SOURCE_READER_MEDIASOURCE,
                                                 MF_SOURCE_READER_MEDIASOURCE_CHARACTERISTICS, &var)) ||
        var.vt != VT_UI4)
        return false;
    return (var.ulVal & MFMEDIASOURCE_CAN_SEEK) != 0;
}

// The clock of one pass: sample times against the performance counter, started when
// the pass's first frame is shown (or its sound has to start), so a clip plays at its
// own pace whatever the decoder's speed.
class PassClock {
public:
    PassClock() { ::QueryPerformanceFrequency(&m_frequency); }
    bool Running() const { return m_running; }
    void Start(LONGLONG sampleTime)
    {
        ::QueryPerformanceCounter(&m_origin);
        m_originTime = sampleTime;
        m_running = true;
    }
    // Waits until sampleTime is due; false when a stop request came first.
    bool WaitFor(LONGLONG sampleTime, const volatile LONG* pPlaying) const
    {
        for (;;) {
            if (!*pPlaying)
                return false;
            LARGE_INTEGER now;
            ::QueryPerformanceCounter(&now);
            const LONGLONG elapsed = (now.QuadPart - m_origin.QuadPart) * 10000 / (m_frequency.QuadPart / 1000);
            const LONGLONG early = sampleTime - m_originTime - elapsed;  // 100 ns units
            if (early <= 0)
                return true;
            const LONGLONG ms = early / 10000;
            ::Sleep(ms > 10 ? 10 : static_cast<DWORD>(ms));
        }
    }

private:
    LARGE_INTEGER m_frequency = {};
    LARGE_INTEGER m_origin = {};
    LONGLONG m_originTime = 0;
    bool m_running = false;
};

class ReaderPlayer {
public:
    ReaderPlayer(const MediaFoundationApi& mf, const PlaybackRequest& request) : m_mf(mf), m_request(request) {}
    PlayResult Play(IDirectDraw* pDirectDraw, LONG* pShown);

private:
    bool Open(IDirectDraw* pDirectDraw);
    // One pass from the start time; *pFailed when its very first read failed.
    LONG PlayPass(bool* pFailed);
    bool Playing() const { return *m_request.pPlaying != 0; }
    // The reader's own index of the first stream of that major type.
    bool FindStream(REFGUID majorType, DWORD* pIndex);

    const MediaFoundationApi& m_mf;
    const PlaybackRequest& m_request;
    ComPtr<IMFSourceReader> m_reader;
    CReaderFrames m_frames;
    CFramePresenter m_presenter;
    CWaveOut m_wave;
    DWORD m_videoIndex = 0;
    bool m_canSeek = false;
};

bool ReaderPlayer::FindStream(REFGUID majorType, DWORD* pIndex)
{
    for (DWORD i = 0;; ++i) {
        ComPtr<IMFMediaType> type;
        if (FAILED(m_reader->GetNativeMediaType(i, 0, type.Receive())))
            return false;  // no more streams
        GUID major = GUID_NULL;
        if (SUCCEEDED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) && major == majorType) {
            *pIndex = i;
            return true;
        }
    }
}

bool ReaderPlayer::Open(IDirectDraw* pDirectDraw)
{
    WCHAR widePath[MAX_PATH] = {};
    // A path that does not fit is not cut short into some other file's name.
    if (!::MultiByteToWideChar(CP_ACP, 0, m_request.clipPath, -1, widePath, MAX_PATH))
        return false;
    ComPtr<IMFAttributes> attributes;
    HRESULT hr = m_mf.MFCreateAttributes(attributes.Receive(), 1);
    if (SUCCEEDED(hr))  // RGB32 from a decoder that gives no YUV format
        hr = attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE);
    if (SUCCEEDED(hr))
        hr = m_mf.MFCreateSourceReaderFromURL(widePath, attributes.Get(), m_reader.Receive());
    // Only what is shown is read: the first video stream, and sound unless muted.
    if (SUCCEEDED(hr))
        hr = m_reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    if (SUCCEEDED(hr))
        hr = m_reader->SetStreamSelection(kVideo, TRUE);
    if (FAILED(hr) || !m_frames.SelectOutput(m_mf, m_reader.Get()) || !FindStream(MFMediaType_Video, &m_videoIndex))
        return false;
    if (!m_request.mute)
        OpenSound(m_mf, m_reader.Get(), &m_wave);  // no sound device: the picture plays alone
    m_canSeek = CanSeek(m_reader.Get());
    return SUCCEEDED(m_presenter.Create(pDirectDraw, m_request, m_frames.Width(), m_frames.Height(), 2));
}

LONG ReaderPlayer::PlayPass(bool* pFailed)
{
    *pFailed = false;
    if (m_canSeek) {
        PROPVARIANT position;
        ::ZeroMemory(&position, sizeof(position));
        position.vt = VT_I8;
        position.hVal.QuadPart = m_request.startTime;
        m_reader->SetCurrentPosition(GUID_NULL, position);
    }
    m_wave.Reset();
    PassClock clock;
    LONG shown = 0;
    bool firstRead = true;
    while (Playing()) {
        DWORD stream = 0, flags = 0;
        LONGLONG time = 0;
        ComPtr<IMFSample> sample;
        HRESULT hr = m_reader->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_ANY_STREAM), 0, &stream, &flags,
                                          &time, sample.Receive());
        if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
            *pFailed = firstRead && shown == 0;
            break;
        }
        firstRead = false;
        const bool video = stream == m_videoIndex;
        if (flags & MF_SOURCE_READERF_ENDOFSTREAM) {
            if (video)
                break;  // the end of the clip; the sound's end changes nothing
            continue;
        }
        if (!sample)
            continue;  // a gap in the stream
        LONGLONG duration = 0;
        if (FAILED(sample->GetSampleDuration(&duration)))
            duration = 0;
        // A seek lands on the key frame before the start: what ends before it is not shown.
        if (time + duration <= m_request.startTime && time < m_request.startTime)
            continue;

        if (!video) {
            ComPtr<IMFMediaBuffer> buffer;
            BYTE* data = nullptr;
            DWORD length = 0;
            if (SUCCEEDED(sample->ConvertToContiguousBuffer(buffer.Receive())) &&
                SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
                // Sound queued while the clock waits for its first frame fills every buffer
                // at most: then the clock starts with the sound.
                if (!m_wave.Write(data, length, m_request.pPlaying) && m_wave.Paused() && !clock.Running()) {
                    clock.Start(time);
                    m_wave.Resume();
                    m_wave.Write(data, length, m_request.pPlaying);
                }
                buffer->Unlock();
            }
            continue;
        }

        ++g_playbackCounters.framesDecoded;
        if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED)
            m_frames.ReadFormat(m_reader.Get());  // the copy follows a new frame size
        hr = m_frames.Draw(sample.Get(), &m_presenter, *m_request.pGeometry);
        if (FAILED(hr))
            break;
        if (!clock.Running()) {
            clock.Start(time);
            m_wave.Resume();
        } else if (!clock.WaitFor(time, m_request.pPlaying)) {
            break;
        }
        if (hr == S_OK) {
            hr = m_presenter.Present(*m_request.pGeometry);
            if (FAILED(hr))
                break;
            if (hr == S_OK)
                ++shown;
        }
        if (m_request.useEndTime && time >= m_request.endTime)
            break;
    }
    return shown;
}

PlayResult ReaderPlayer::Play(IDirectDraw* pDirectDraw, LONG* pShown)
{
    if (!Open(pDirectDraw))
        return PlayResult::CannotOpen;
    bool again = true, firstPass = true;
    while (again) {
        bool failed = false;
        LONG shown = PlayPass(&failed);
        m_wave.Reset();  // the pass is over: so is its sound
        if (firstPass && failed)
            return PlayResult::FirstFrameFailed;
        firstPass = false;
        *pShown += shown;
        again = Playing() && m_request.loop && m_canSeek;
        if (again && shown == 0)
            PauseAfterEmptyPass(m_request.pPlaying);
    }
    return PlayResult::Played;
}

}  // namespace

PlayResult PlayWithReader(const PlaybackRequest& request, IDirectDraw* pDirectDraw, LONG* pShown)
{
    *pShown = 0;
    const MediaFoundationApi* mf = GetMediaFoundation();
    if (!mf || FAILED(mf->MFStartup(kMediaFoundationVersion, MFSTARTUP_NOSOCKET)))
        return PlayResult::CannotOpen;
    // Sleep in steps of 1 ms rather than the system's usual 10-16: frames are due every 40 ms.
    ::timeBeginPeriod(1);
    PlayResult result;
    {
        ReaderPlayer player(*mf, request);
        result = player.Play(pDirectDraw, pShown);
    }
    ::timeEndPeriod(1);
    mf->MFShutdown();
    return result;
}
