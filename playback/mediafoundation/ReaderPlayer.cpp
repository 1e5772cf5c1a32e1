#include "playback/mediafoundation/ReaderPlayer.h"

#include <ddraw.h>

#include "support/Scoped.h"
#include "playback/PlatformCall.h"
#include "playback/present/FramePresenter.h"
#include "playback/mediafoundation/MediaFoundation.h"
#include "playback/sound/PlaybackClock.h"
#include "playback/mediafoundation/ReaderFrames.h"
#include "playback/mediafoundation/ReaderOpen.h"
#include "playback/PlaybackRequest.h"
#include "playback/sound/WaveOut.h"
#include "settings/SettingsDlg.h"

namespace {

const DWORD kVideo = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
const DWORD kAudio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

// The reader's current sound type as a waveOut format, described fully: more than two
// channels or more than 16 bits need WAVEFORMATEXTENSIBLE, which devices require there.
bool DescribeSound(IMFSourceReader* pReader, WAVEFORMATEXTENSIBLE* pFormat)
{
    ComPtr<IMFMediaType> type;
    UINT32 channels = 0, rate = 0, bits = 0;
    if (FAILED(pReader->GetCurrentMediaType(kAudio, type.Receive())) ||
        FAILED(type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels)) ||
        FAILED(type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate)) ||
        FAILED(type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)))
        return false;
    if (channels < 1 || channels > 8 || !rate || rate > 384000 || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return false;
    WAVEFORMATEXTENSIBLE f = {};
    f.Format.wFormatTag = WAVE_FORMAT_PCM;
    f.Format.nChannels = static_cast<WORD>(channels);
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = static_cast<WORD>(bits);
    f.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
    if (channels > 2 || bits > 16) {
        UINT32 valid = bits, mask = 0;
        type->GetUINT32(MF_MT_AUDIO_VALID_BITS_PER_SAMPLE, &valid);
        if (FAILED(type->GetUINT32(MF_MT_AUDIO_CHANNEL_MASK, &mask))) {
            // The usual layouts: mono, stereo, ..., 5.1 and 7.1 as the reader lays them out.
            static const DWORD kMasks[] = { 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F };
            mask = kMasks[channels - 1];
        }
        f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        f.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        f.Samples.wValidBitsPerSample = static_cast<WORD>(valid && valid <= bits ? valid : bits);
        f.dwChannelMask = mask;
        // KSDATAFORMAT_SUBTYPE_PCM
        f.SubFormat = GUID{ 0x00000001, 0x0000, 0x0010, { 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71 } };
    }
    *pFormat = f;
    return true;
}

bool SameSound(const WAVEFORMATEXTENSIBLE& a, const WAVEFORMATEXTENSIBLE& b)
{
    return a.Format.wFormatTag == b.Format.wFormatTag && a.Format.nChannels == b.Format.nChannels &&
           a.Format.nSamplesPerSec == b.Format.nSamplesPerSec && a.Format.wBitsPerSample == b.Format.wBitsPerSample;
}

// The first audio stream as PCM on a sound device; false (and the stream left out)
// where there is none, or no device. Asked for first as 16-bit stereo (or mono), which
// every device plays (the reader resamples and downmixes from Windows 8 on); where the
// reader cannot, as the PCM it gives, fully described.
bool OpenSound(const MediaFoundationApi& mf, IMFSourceReader* pReader, CWaveOut* pWave, WAVEFORMATEXTENSIBLE* pFormat)
{
    ComPtr<IMFMediaType> native;
    UINT32 nativeChannels = 2, nativeRate = 0;
    HRESULT hr = pReader->SetStreamSelection(kAudio, TRUE);
    if (SUCCEEDED(hr) && SUCCEEDED(pReader->GetNativeMediaType(kAudio, 0, native.Receive()))) {
        native->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &nativeChannels);
        native->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &nativeRate);
    }
    bool set = false;
    for (int attempt = 0; attempt < 2 && SUCCEEDED(hr) && !set; ++attempt) {
        ComPtr<IMFMediaType> wanted;
        HRESULT step = mf.MFCreateMediaType(wanted.Receive());
        if (SUCCEEDED(step))
            step = wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
        if (SUCCEEDED(step))
            step = wanted->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
        if (SUCCEEDED(step) && attempt == 0) {
            const UINT32 channels = nativeChannels == 1 ? 1 : 2;
            step = wanted->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
            if (SUCCEEDED(step))
                step = wanted->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
            if (SUCCEEDED(step) && nativeRate) {
                wanted->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, nativeRate);
                wanted->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * 2);
                wanted->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, nativeRate * channels * 2);
            }
        }
        set = SUCCEEDED(step) && SUCCEEDED(pReader->SetCurrentMediaType(kAudio, nullptr, wanted.Get()));
    }
    const bool open = set && DescribeSound(pReader, pFormat) && pWave->Open(pFormat->Format);
    if (!open)
        pReader->SetStreamSelection(kAudio, FALSE);
    return open;
}

// The format of a video stream that opened but that no output type could be set for: a
// format this Windows has no decoder for, which the status text names.
LONG MissingDecoderFor(IMFSourceReader* pReader)
{
    ComPtr<IMFMediaType> native;
    GUID subtype = GUID_NULL;
    if (FAILED(pReader->GetNativeMediaType(kVideo, 0, native.Receive())) ||
        FAILED(native->GetGUID(MF_MT_SUBTYPE, &subtype)))
        return kNoDecoderMissing;
    // HEVC comes as 'HEVC' or, from MP4's sample description, 'hvc1' or 'hev1'.
    GUID hvc1 = MFVideoFormat_HEVC, hev1 = MFVideoFormat_HEVC;
    hvc1.Data1 = 0x31637668;  // 'hvc1'
    hev1.Data1 = 0x31766568;  // 'hev1'
    if (subtype == MFVideoFormat_HEVC || subtype == hvc1 || subtype == hev1)
        return kHevcMissing;
    if (subtype == MFVideoFormat_VP90)
        return kVp9Missing;
    if (subtype == MFVideoFormat_AV1)
        return kAv1Missing;
    return kNoDecoderMissing;
}

// 0 where the sample states none.
LONGLONG SampleDuration(IMFSample* pSample)
{
    LONGLONG duration = 0;
    return SUCCEEDED(pSample->GetSampleDuration(&duration)) ? duration : 0;
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

// The clip's length in 100 ns units; 0 when the source does not say.
LONGLONG Duration(IMFSourceReader* pReader)
{
    PROPVARIANT var;
    ::ZeroMemory(&var, sizeof(var));
    // A VT_UI8, which needs no clearing.
    if (FAILED(pReader->GetPresentationAttribute(MF_SOURCE_READER_MEDIASOURCE, MF_PD_DURATION, &var)) ||
        var.vt != VT_UI8)
        return 0;
    return static_cast<LONGLONG>(var.uhVal.QuadPart);
}

// How one pass ended.
struct PassOutcome {
    LONG frames = 0;      // frames that reached the presenter
    LONG shown = 0;       // of them, shown on some monitor
    bool broken = false;  // the reader failed: it may not be used again
    bool noDisplay = false;  // DirectDraw could not be made anew after a display change
};

// The media source being read, held (one reference) so that a stop request from the UI
// thread can shut it down while the playback thread waits in ReadSample. Taken by an
// interlocked exchange: whoever takes it releases it.
IMFMediaSource* volatile g_pReadSource = nullptr;

void PublishSource(IMFSourceReader* pReader)
{
    IMFMediaSource* pSource = nullptr;
    if (FAILED(pReader->GetServiceForStream(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), GUID_NULL,
                                            IID_IMFMediaSource, reinterpret_cast<void**>(&pSource))) ||
        !pSource)
        return;
    IMFMediaSource* pOld = static_cast<IMFMediaSource*>(
        ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_pReadSource), pSource));
    if (pOld)
        pOld->Release();
}

void WithdrawSource()
{
    IMFMediaSource* pSource = static_cast<IMFMediaSource*>(
        ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_pReadSource), nullptr));
    if (pSource)
        pSource->Release();
}

class ReaderPlayer {
public:
    ReaderPlayer(const MediaFoundationApi& mf, const PlaybackRequest& request) : m_mf(mf), m_request(request) {}
    ~ReaderPlayer()
    {
        WithdrawSource();
        // The source, its decoders and the sound device end here, inside the system.
        CPlatformCall inside;
        m_reader.Release();
        m_wave.Close();
    }
    PlayResult Play(IDirectDraw* pDirectDraw, LONG* pShown);
    bool SoundOpen() const { return m_wave.IsOpen(); }

private:
    bool Open(IDirectDraw* pDirectDraw);
    PassOutcome PlayPass();
    bool Playing() const { return *m_request.pPlaying != 0; }
    // The reader's own index of the first stream of that major type.
    bool FindStream(REFGUID majorType, DWORD* pIndex);
    // The reader's next sample of that stream (waits for it to be decoded, or read from a
    // slow share).
    HRESULT Read(DWORD stream, DWORD* pStream, DWORD* pFlags, LONGLONG* pTime, IMFSample** ppSample)
    {
        CPlatformCall inside;
        return m_reader->ReadSample(stream, 0, pStream, pFlags, pTime, ppSample);
    }
    // A new type on a stream: a new surface for a new frame shape, a new device format
    // for a new sound format.
    void FollowTypeChange(bool video);
    void QueueSound(IMFSample* pSample, LONGLONG time, CPlaybackClock* pClock);
    // Reads sound alone until what is queued reaches kSoundLead past the frame about to
    // be shown; false when the reader failed.
    bool TopUpSound(LONGLONG frameTime, CPlaybackClock* pClock);
    // A seek lands on the key frame before the start: what ends before it is not shown
    // or heard.
    bool BeforeStart(LONGLONG time, LONGLONG duration) const
    {
        return time + duration <= m_request.startTime && time < m_request.startTime;
    }

    const MediaFoundationApi& m_mf;
    const PlaybackRequest& m_request;
    ComPtr<IMFSourceReader> m_reader;
    CReaderFrames m_frames;
    CFramePresenter m_presenter;
    CWaveOut m_wave;
    WAVEFORMATEXTENSIBLE m_sound = {};
    DWORD m_videoIndex = 0;
    bool m_canSeek = false;
    bool m_soundEnded = false;  // in this pass
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
        hr = OpenReader(m_mf, widePath, attributes.Get(), m_request.pPlaying, m_reader.Receive());
    // Only what is shown is read: the first video stream, and sound unless muted.
    if (SUCCEEDED(hr))
        hr = m_reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    if (SUCCEEDED(hr))
        hr = m_reader->SetStreamSelection(kVideo, TRUE);
    if (FAILED(hr))
        return false;
    // What the platform's types leave out (rotation, pixel shape, colours, fields) the
    // file's own headers may say.
    ClipHeaders headers;
    ReadClipHeadersFromFile(m_request.clipPath, &headers);
    m_frames.UseClipHeaders(headers);
    // A stop is looked at between the steps, each of which may take a while (a decoder
    // made, a sound device opened).
    bool selected;
    {
        CPlatformCall inside;
        selected = m_frames.SelectOutput(m_mf, m_reader.Get());
    }
    if (!selected) {
        const LONG missing = MissingDecoderFor(m_reader.Get());
        if (missing && m_request.pMissingDecoder)
            *m_request.pMissingDecoder = missing;
        return false;
    }
    if (!Playing() || !FindStream(MFMediaType_Video, &m_videoIndex))
        return false;
    PublishSource(m_reader.Get());
    if (!m_request.mute) {
        CPlatformCall inside;
        OpenSound(m_mf, m_reader.Get(), &m_wave, &m_sound);  // no sound device: the picture plays alone
    }
    if (!Playing())
        return false;
    m_canSeek = CanSeek(m_reader.Get());
    return SUCCEEDED(m_presenter.Create(pDirectDraw, m_request, m_frames.Width(), m_frames.Height(),
                                        m_frames.ParX(), m_frames.ParY(), 2));
}

void ReaderPlayer::FollowTypeChange(bool video)
{
    if (video) {
        // The frames follow a new stride, aperture or layout in any case; the surface only
        // a new shape.
        const DWORD width = m_frames.Width(), height = m_frames.Height();
        const UINT32 parX = m_frames.ParX(), parY = m_frames.ParY();
        if (!m_frames.ReadFormat(m_reader.Get()))
            return;
        const CReaderFrames& f = m_frames;
        if (f.Width() != width || f.Height() != height || f.ParX() * parY != parX * f.ParY())
            m_presenter.Resize(f.Width(), f.Height(), f.ParX(), f.ParY());
        return;
    }
    WAVEFORMATEXTENSIBLE next;
    if (!m_wave.IsOpen() || !DescribeSound(m_reader.Get(), &next) || SameSound(next, m_sound))
        return;
    m_sound = next;
    if (!m_wave.Reopen(m_sound.Format))
        m_reader->SetStreamSelection(kAudio, FALSE);  // a format the device refuses: on without sound
}

void ReaderPlayer::QueueSound(IMFSample* pSample, LONGLONG time, CPlaybackClock* pClock)
{
    ComPtr<IMFMediaBuffer> buffer;
    BYTE* data = nullptr;
    DWORD length = 0;
    if (!m_wave.IsOpen() || FAILED(pSample->ConvertToContiguousBuffer(buffer.Receive())) ||
        FAILED(buffer->Lock(&data, nullptr, &length)))
        return;
    // Sound that comes first starts the clock; the device starts with it.
    if (!pClock->Running()) {
        pClock->Start(time);
        m_wave.Start(time);
    }
    if (m_wave.RanDry())
        ++g_playbackCounters.soundStarved;
    m_wave.Write(data, length, time, m_request.pPlaying);
    buffer->Unlock();
}

// Read in the file's order, a clip's sound arrives with its picture or after it (an AVI's
// sound samples follow the frame they belong with): the device, fed only that far, runs dry
// before every frame and stutters. So the sound is read ahead by itself; the reader keeps
// the picture's samples meanwhile.
const LONGLONG kSoundLead = 5000000;  // 500 ms

// However late the frames come, one is shown at least this often: where decoding is slower
// than the clip (1080p60 or 4K in software on an older processor), the picture still moves.
const DWORD kLongestStillMs = 250;

bool ReaderPlayer::TopUpSound(LONGLONG frameTime, CPlaybackClock* pClock)
{
    // Never a wait for the device here, as the frame is due: three blocks kept spare for
    // the silence that a gap in the sound may need.
    while (m_wave.IsOpen() && !m_soundEnded && m_wave.QueuedEnd() < frameTime + kSoundLead && m_wave.CanQueue(3) &&
           Playing()) {
        DWORD stream = 0, flags = 0;
        LONGLONG time = 0;
        ComPtr<IMFSample> sample;
        if (FAILED(Read(kAudio, &stream, &flags, &time, sample.Receive())) || (flags & MF_SOURCE_READERF_ERROR))
            return false;
        if (flags & MF_SOURCE_READERF_ENDOFSTREAM) {
            m_soundEnded = true;
            break;
        }
        if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED)
            FollowTypeChange(false);
        if (sample && !BeforeStart(time, SampleDuration(sample.Get())))
            QueueSound(sample.Get(), time, pClock);
    }
    return true;
}

PassOutcome ReaderPlayer::PlayPass()
{
    m_soundEnded = false;
    PassOutcome outcome;
    if (m_canSeek) {
        PROPVARIANT position;
        ::ZeroMemory(&position, sizeof(position));
        position.vt = VT_I8;
        position.hVal.QuadPart = m_request.startTime;
        CPlatformCall inside;  // waits for the source to get there
        m_reader->SetCurrentPosition(GUID_NULL, position);
    }
    m_wave.Reset();
    CPlaybackClock clock;
    DWORD lastShown = ::GetTickCount(), lastArrived = lastShown;
    while (Playing()) {
        if (DisplayIsOff(m_request)) {
            // Nothing read, decoded or heard while the display is off; then on from here.
            clock.Pause();
            m_wave.Pause();
            WaitWhileDisplayOff(m_request);
            clock.Resume();
            if (clock.Running())
                m_wave.Resume();
            continue;
        }
        DWORD stream = 0, flags = 0;
        LONGLONG time = 0;
        ComPtr<IMFSample> sample;
        HRESULT hr = Read(static_cast<DWORD>(MF_SOURCE_READER_ANY_STREAM), &stream, &flags, &time, sample.Receive());
        if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
            outcome.broken = true;  // a reader that reported an error may not be read again
            break;
        }
        const bool video = stream == m_videoIndex;
        if (flags & MF_SOURCE_READERF_ENDOFSTREAM) {
            if (video)
                break;  // the end of the clip; the sound's end changes nothing
            m_soundEnded = true;
            continue;
        }
        if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED)
            FollowTypeChange(video);
        if (!sample)
            continue;  // a gap in the stream
        const LONGLONG duration = SampleDuration(sample.Get());
        if (BeforeStart(time, duration))
            continue;

        if (!video) {
            QueueSound(sample.Get(), time, &clock);
            continue;
        }

        ++g_playbackCounters.framesDecoded;
        const DWORD arrived = ::GetTickCount();
        const DWORD took = arrived - lastArrived;  // to decode this frame (and its sound)
        lastArrived = arrived;
        if (!clock.Running()) {
            clock.Start(time);
            m_wave.Start(time);
        }
        LONGLONG now = clock.Now();
        if (m_wave.Position(&now))
            clock.Follow(now);  // what is heard is the clock
        // More than a frame late (a stall, a busy machine): dropped and counted, not rushed
        // out after the sound. Never the pass's first, so something is always shown; nor
        // one after which the next would come too long after the last one shown.
        const LONGLONG frameTime = duration > 0 ? duration : 400000;
        const bool stillTooLong = arrived - lastShown + took >= kLongestStillMs;
        if (outcome.frames > 0 && now - time > frameTime && !stillTooLong) {
            ++g_playbackCounters.framesDropped;
            if (m_request.useEndTime && time >= m_request.endTime)
                break;
            continue;
        }
        hr = m_frames.Draw(sample.Get(), &m_presenter, *m_request.pGeometry);
        if (hr == DDERR_WRONGMODE) {
            // The display mode changed: DirectDraw and the surfaces anew, this frame again.
            if (FAILED(m_presenter.Rebuild())) {
                outcome.noDisplay = true;
                break;
            }
            hr = m_frames.Draw(sample.Get(), &m_presenter, *m_request.pGeometry);
        }
        if (FAILED(hr))
            break;
        if (!TopUpSound(time, &clock)) {
            outcome.broken = true;
            break;
        }
        if (!clock.WaitFor(time, m_request.pPlaying))
            break;
        if (hr == S_OK) {
            hr = m_presenter.Present(*m_request.pGeometry);
            if (hr == DDERR_WRONGMODE) {
                if (FAILED(m_presenter.Rebuild())) {
                    outcome.noDisplay = true;
                    break;
                }
                hr = S_FALSE;  // the next frame goes to the new surfaces
            }
            if (FAILED(hr))
                break;
            if (hr == S_OK)
                ++outcome.shown;
            if (m_request.pProgress)
                m_request.pProgress->position = time;
        }
        ++outcome.frames;
        lastShown = ::GetTickCount();
        if (m_request.useEndTime && time >= m_request.endTime)
            break;
    }
    return outcome;
}

PlayResult ReaderPlayer::Play(IDirectDraw* pDirectDraw, LONG* pShown)
{
    if (!Open(pDirectDraw))
        return PlayResult::CannotOpen;
    if (m_request.pProgress)
        m_request.pProgress->duration = Duration(m_reader.Get());
    for (bool firstPass = true;; firstPass = false) {
        const PassOutcome pass = PlayPass();
        m_wave.Reset();  // the pass is over: so is its sound
        *pShown += pass.shown;
        // Nothing to draw with until the display is back: the thread makes everything anew.
        if (pass.noDisplay)
            return PlayResult::DisplayChanged;
        // A pass that put nothing on the screen is no picture: the first one says so, a
        // later one ends this reader, and the thread opens the clip anew.
        if (pass.frames == 0 && Playing())
            return firstPass ? PlayResult::FirstFrameFailed : PlayResult::Played;
        if (m_request.holdStill) {
            m_presenter.Hold(*m_request.pGeometry, m_request.pPlaying);
            break;
        }
        // After an error the reader may not be read again: the clip is opened anew.
        if (pass.broken || !Playing() || !m_request.loop || !m_canSeek)
            break;
    }
    return PlayResult::Played;
}

// Media Foundation is started once for the process and never shut down: MFShutdown waits,
// for seconds on Windows, while anything still holds the platform (a cancelled opening on
// an unreachable share, a read that a stop request ended, work the source still has
// queued), and a stop request must end the playback thread at once. The process ends soon
// after the saver anyway. Playback thread only.
bool g_started = false;

}  // namespace

PlayResult PlayWithReaderApi(const MediaFoundationApi& mf, const PlaybackRequest& request, IDirectDraw* pDirectDraw,
                             LONG* pShown)
{
    *pShown = 0;
    if (!g_started) {
        CPlatformCall inside;
        g_started = SUCCEEDED(mf.MFStartup(kMediaFoundationVersion, MFSTARTUP_NOSOCKET));
    }
    if (!g_started)
        return PlayResult::CannotOpen;
    // Sleep in steps of 1 ms rather than the system's usual 10-16: frames are due every 40 ms.
    ::timeBeginPeriod(1);
    PlayResult result;
    bool withSound;
    {
        ReaderPlayer player(mf, request);
        result = player.Play(pDirectDraw, pShown);
        withSound = player.SoundOpen();
    }
    // The picture plays whatever becomes of the sound: a clip whose sound stops the reader
    // (a format no decoder of this Windows takes) is tried again without it.
    if (result == PlayResult::FirstFrameFailed && withSound && *request.pPlaying) {
        PlaybackRequest muted = request;
        muted.mute = true;
        ReaderPlayer player(mf, muted);
        result = player.Play(pDirectDraw, pShown);
    }
    ::timeEndPeriod(1);
    return result;
}

void CancelPendingReads()
{
    IMFMediaSource* pSource = static_cast<IMFMediaSource*>(
        ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_pReadSource), nullptr));
    if (pSource) {
        pSource->Shutdown();  // a pending ReadSample returns MF_E_SHUTDOWN
        pSource->Release();
    }
}

PlayResult PlayWithReader(const PlaybackRequest& request, IDirectDraw* pDirectDraw, LONG* pShown)
{
    *pShown = 0;
    const MediaFoundationApi* mf = GetMediaFoundation();
    if (!mf)
        return PlayResult::CannotOpen;
    return PlayWithReaderApi(*mf, request, pDirectDraw, pShown);
}
