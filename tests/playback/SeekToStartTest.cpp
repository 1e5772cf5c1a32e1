// Where a pass starts, against a small stream that answers GetInformation and Seek as
// it is told. Windows' streams describe themselves; Wine's do not (GetInformation fails
// there), so both roads are taken here.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "playback/directshow/StreamPlayer.h"
#include "common/TestSupport.h"

namespace {

class FakeStream : public IMultiMediaStream {
public:
    HRESULT infoResult = S_OK;
    DWORD flags = 0;
    HRESULT seekResult = S_OK;
    std::vector<STREAM_TIME> seeks;

    // IUnknown: lives on the test's stack.
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP GetInformation(DWORD* pdwFlags, STREAM_TYPE* pStreamType) override
    {
        if (SUCCEEDED(infoResult)) {
            *pdwFlags = flags;
            if (pStreamType)
                *pStreamType = STREAMTYPE_READ;
        }
        return infoResult;
    }
    STDMETHODIMP Seek(STREAM_TIME seekTime) override
    {
        seeks.push_back(seekTime);
        return seekResult;
    }
    STDMETHODIMP GetMediaStream(REFMSPID, IMediaStream**) override { return E_NOTIMPL; }
    STDMETHODIMP EnumMediaStreams(LONG, IMediaStream**) override { return E_NOTIMPL; }
    STDMETHODIMP GetState(STREAM_STATE*) override { return E_NOTIMPL; }
    STDMETHODIMP SetState(STREAM_STATE) override { return E_NOTIMPL; }
    STDMETHODIMP GetTime(STREAM_TIME*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDuration(STREAM_TIME*) override { return E_NOTIMPL; }
    STDMETHODIMP GetEndOfStreamEventHandle(HANDLE*) override { return E_NOTIMPL; }
};

}  // namespace

TEST(SeekToStart, SeeksWhenTheStreamSaysItCanOrWhenItCannotSayAndASeekWorks)
{
    const STREAM_TIME start = 90 * 10000000LL;  // 0:01:30.0
    struct Case {
        const char* what;
        HRESULT infoResult;
        DWORD flags;
        HRESULT seekResult;
        bool seekable;
        size_t seeks;
    };
    const Case cases[] = {
        { "says it can seek", S_OK, MMSSF_HASCLOCK | MMSSF_SUPPORTSEEK, S_OK, true, 1 },
        { "says it can seek, the seek fails", S_OK, MMSSF_SUPPORTSEEK, E_FAIL, true, 1 },
        { "says it cannot seek", S_OK, MMSSF_HASCLOCK, S_OK, false, 0 },
        { "cannot say, seeks", E_NOTIMPL, 0, S_OK, true, 1 },
        { "cannot say, cannot seek", E_NOTIMPL, 0, E_NOTIMPL, false, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeStream stream;
        stream.infoResult = c.infoResult;
        stream.flags = c.flags;
        stream.seekResult = c.seekResult;
        EXPECT_EQ(c.seekable, SeekToStart(&stream, start));
        ASSERT_EQ(c.seeks, stream.seeks.size());
        if (c.seeks) {
            EXPECT_EQ(start, stream.seeks[0]);
        }
    }
}

// The second engine against a stand-in source reader behind its table of Media Foundation
// functions: 64 x 48 frames every 40 ms for 5 s, key frames at 0, 2 and 4 s. A seek lands
// on the key frame before the position, as Windows' reader does (Wine's lands exactly).
#include "playback/mediafoundation/MediaFoundation.h"

#include <mferror.h>

#include "playback/mediafoundation/ReaderPlayer.h"
#include "playback/PlatformCall.h"
#include "settings/SettingsDlg.h"
#include "support/Scoped.h"
#include "StandIns.h"

namespace {

const LONGLONG kFrame = 400000, kClip = 50000000, kKeyEvery = 20000000;

// A source whose Shutdown ends the stand-in reader's blocked read.
class StandInSource : public IMFMediaSource {
public:
    HANDLE shutDown = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~StandInSource() { ::CloseHandle(shutDown); }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = riid == IID_IUnknown || riid == IID_IMFMediaSource ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Shutdown() override { ::SetEvent(shutDown); return S_OK; }
#define UNUSED_METHOD(name, ...) STDMETHODIMP name(__VA_ARGS__) override { return E_NOTIMPL; }
    UNUSED_METHOD(GetEvent, DWORD, IMFMediaEvent**)
    UNUSED_METHOD(BeginGetEvent, IMFAsyncCallback*, IUnknown*)
    UNUSED_METHOD(EndGetEvent, IMFAsyncResult*, IMFMediaEvent**)
    UNUSED_METHOD(QueueEvent, MediaEventType, REFGUID, HRESULT, const PROPVARIANT*)
    UNUSED_METHOD(GetCharacteristics, DWORD*)
    UNUSED_METHOD(CreatePresentationDescriptor, IMFPresentationDescriptor**)
    UNUSED_METHOD(Start, IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*)
    UNUSED_METHOD(Stop)
    UNUSED_METHOD(Pause)
#undef UNUSED_METHOD
};

const DWORD kVideoIndex = 0, kSoundIndex = 1;
const LONGLONG kSoundBlock = 200000;  // 20 ms of 48 kHz 16-bit stereo: 3840 bytes

// Video frames whose first pixel is their number (or NV12 frames, turned and shaped as the
// types say); with sound, a stream of silence in 20 ms samples beside them, handed out by
// time (or, for the first few reads, first).
class StandInReader : public IMFSourceReader {
public:
    bool failFirstRead = false;
    bool nv12 = false;
    UINT32 width = 64, height = 48;
    UINT32 rotation = 0;      // the file's type says so (Windows 8 on); the decoder's says nothing
    UINT64 pixelAspect = 0;   // the decoder's type says so
    // From this frame on the decoder gives frames of another height, and the reader says so
    // with the first of them, as Windows' does.
    int changeAtFrame = -1;
    UINT32 changedHeight = 0;
    // The file's video format; with noDecoder no output type can be set for it, as on a
    // Windows without the decoder.
    GUID nativeSubtype = MFVideoFormat_RGB32;
    bool noDecoder = false;
    int blockAtRead = -1;  // this read waits for the source's Shutdown (a dead share)
    DWORD decodeMs = 0;    // each frame takes so long to come (a slow machine)
    DWORD firstFrameMs = 0;  // and the first one so much longer
    bool withSound = false;
    int soundFirst = 0;    // sound samples the first reads of any stream give
    HANDLE decoderGate = nullptr;  // the first output type waits for it (a decoder made slowly)
    volatile LONG inDecoder = 0, leftDecoder = 0;
    volatile LONG blocked = 0;
    StandInSource source;
    LONGLONG next = 0, nextSound = 0;
    volatile LONG reads = 0;
    int soundReads = 0, frameReads = 0;

    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetStreamSelection(DWORD, BOOL* pSelected) override { *pSelected = TRUE; return S_OK; }
    STDMETHODIMP SetStreamSelection(DWORD, BOOL) override { return S_OK; }
    STDMETHODIMP GetNativeMediaType(DWORD stream, DWORD, IMFMediaType** ppType) override
    {
        HRESULT hr = GetCurrentMediaType(stream, ppType);
        GUID major = GUID_NULL;
        if (SUCCEEDED(hr) && SUCCEEDED((*ppType)->GetGUID(MF_MT_MAJOR_TYPE, &major)) && major == MFMediaType_Video)
            (*ppType)->SetGUID(MF_MT_SUBTYPE, nativeSubtype);
        if (SUCCEEDED(hr) && major == MFMediaType_Video && rotation)
            (*ppType)->SetUINT32(MF_MT_VIDEO_ROTATION, rotation);
        return hr;
    }
    STDMETHODIMP GetCurrentMediaType(DWORD stream, IMFMediaType** ppType) override
    {
        const bool video = stream == kVideoIndex || stream == static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
        const bool sound = withSound && (stream == kSoundIndex ||
                                         stream == static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM));
        if (!video && !sound)
            return MF_E_INVALIDSTREAMNUMBER;
        HRESULT hr = ::MFCreateMediaType(ppType);
        if (SUCCEEDED(hr) && video) {
            (*ppType)->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
            (*ppType)->SetGUID(MF_MT_SUBTYPE, nv12 ? MFVideoFormat_NV12 : MFVideoFormat_RGB32);
            (*ppType)->SetUINT64(MF_MT_FRAME_SIZE, (UINT64(width) << 32) | FrameHeight());
            (*ppType)->SetUINT32(MF_MT_DEFAULT_STRIDE, nv12 ? width : width * 4);
            if (pixelAspect)
                (*ppType)->SetUINT64(MF_MT_PIXEL_ASPECT_RATIO, pixelAspect);
        } else if (SUCCEEDED(hr)) {
            (*ppType)->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
            (*ppType)->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
            (*ppType)->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
            (*ppType)->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, 48000);
            (*ppType)->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
        }
        return hr;
    }
    STDMETHODIMP SetCurrentMediaType(DWORD, DWORD*, IMFMediaType*) override
    {
        if (decoderGate && !::InterlockedExchange(&inDecoder, 1)) {
            ::WaitForSingleObject(decoderGate, 30000);
            leftDecoder = 1;
        }
        return noDecoder ? MF_E_TOPO_CODEC_NOT_FOUND : S_OK;
    }
    STDMETHODIMP SetCurrentPosition(REFGUID, REFPROPVARIANT position) override
    {
        next = nextSound = position.hVal.QuadPart / kKeyEvery * kKeyEvery;
        return S_OK;
    }
    STDMETHODIMP ReadSample(DWORD stream, DWORD, DWORD* pStream, DWORD* pFlags, LONGLONG* pTime,
                            IMFSample** ppSample) override
    {
        *pStream = kVideoIndex;
        *pFlags = 0;
        *ppSample = nullptr;
        if (reads++ == 0 && failFirstRead)
            return MF_E_INVALID_STREAM_DATA;  // opens, then cannot be read
        if (reads - 1 == blockAtRead) {
            blocked = 1;
            return ::WaitForSingleObject(source.shutDown, 30000) == WAIT_OBJECT_0 ? MF_E_SHUTDOWN : E_FAIL;
        }
        const bool any = stream == static_cast<DWORD>(MF_SOURCE_READER_ANY_STREAM);
        const bool sound = withSound && (stream == static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM) ||
                                         (any && (soundReads < soundFirst || nextSound < next)));
        LONGLONG& time = sound ? nextSound : next;
        if (sound)
            *pStream = kSoundIndex;
        if (time >= kClip) {
            *pFlags = MF_SOURCE_READERF_ENDOFSTREAM;
            return S_OK;
        }
        if (sound)
            ++soundReads;
        else
            ::Sleep(decodeMs + (frameReads++ == 0 ? firstFrameMs : 0));
        if (!sound && frameReads - 1 == changeAtFrame)
            *pFlags |= MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED;
        const DWORD bytes = sound ? 3840 : nv12 ? width * FrameHeight() * 3 / 2 : width * FrameHeight() * 4;
        IMFMediaBuffer* buffer = nullptr;
        HRESULT hr = ::MFCreateMemoryBuffer(bytes, &buffer);
        BYTE* data = nullptr;
        if (SUCCEEDED(hr) && SUCCEEDED(buffer->Lock(&data, nullptr, nullptr))) {
            memset(data, 0, bytes);
            if (!sound && !nv12)
                *reinterpret_cast<DWORD*>(data) = static_cast<DWORD>(time / kFrame);
            buffer->Unlock();
        }
        if (SUCCEEDED(hr)) {
            buffer->SetCurrentLength(bytes);
            hr = ::MFCreateSample(ppSample);
        }
        if (SUCCEEDED(hr)) {
            (*ppSample)->AddBuffer(buffer);
            (*ppSample)->SetSampleTime(time);
            (*ppSample)->SetSampleDuration(sound ? kSoundBlock : kFrame);
        }
        if (buffer)
            buffer->Release();
        *pTime = time;
        time += sound ? kSoundBlock : kFrame;
        return hr;
    }
    STDMETHODIMP Flush(DWORD) override { return S_OK; }
    STDMETHODIMP GetServiceForStream(DWORD stream, REFGUID, REFIID, LPVOID* ppv) override
    {
        if (stream != static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE))
            return E_NOTIMPL;
        *ppv = &source;
        return S_OK;
    }
    STDMETHODIMP GetPresentationAttribute(DWORD, REFGUID, PROPVARIANT* pValue) override
    {
        pValue->vt = VT_UI4;
        pValue->ulVal = MFMEDIASOURCE_CAN_SEEK;
        return S_OK;
    }

private:
    UINT32 FrameHeight() const { return changeAtFrame >= 0 && frameReads > changeAtFrame ? changedHeight : height; }
};

StandInReader* g_reader = nullptr;

HRESULT WINAPI OpenStandIn(LPCWSTR, IMFAttributes*, IMFSourceReader** ppReader)
{
    *ppReader = g_reader;
    return S_OK;
}

// No source resolver: the reader is opened synchronously, through the stand-in.
const MediaFoundationApi kOpensStandIn = { ::MFStartup, ::MFShutdown, ::MFCreateAttributes, ::MFCreateMediaType,
                                           OpenStandIn, nullptr, nullptr };

// What a run of the stand-in reader plays into: a small top-level window (with Windows'
// own DirectDraw on it, where a case asks for one) and a request for a muted clip there.
struct ReaderStage {
    ReaderStage()
        : hWnd(::CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 64, 48, nullptr, nullptr,
                                 nullptr, nullptr))
    {
        request.hWnd = hWnd;
        request.clipPath = "stand-in.mp4";
        request.mute = true;
        request.pGeometry = &geometry;
        request.pPlaying = &playing;
    }
    ~ReaderStage()
    {
        if (directDraw)
            directDraw->Release();
        ::DestroyWindow(hWnd);
    }
    ReaderStage(const ReaderStage&) = delete;
    ReaderStage& operator=(const ReaderStage&) = delete;
    bool MakeDirectDraw()
    {
        if (!hWnd || FAILED(::DirectDrawCreate(nullptr, &directDraw, nullptr)))
            return false;
        directDraw->SetCooperativeLevel(hWnd, DDSCL_NORMAL);
        return true;
    }

    HWND hWnd;
    IDirectDraw* directDraw = nullptr;
    CSettingsDlg geometry;
    volatile LONG playing = 1;
    PlaybackRequest request = {};
};

}  // namespace

TEST(StandInReader, FramesBeforeTheStartAreSkippedAFailedFirstReadIsNoPictureAndANewFrameSizeIsFollowed)
{
    ReaderStage stage;
    stage.geometry.m_nViewSizeOption = 1;
    PlaybackRequest request = stage.request;
    request.startTime = 30000000;  // 3 s, between the key frames at 2 and 4 s
    request.endTime = 32000000;    // 3.2 s
    request.useEndTime = true;

    const struct {
        const char* what;
        bool failFirstRead;
        bool turnedAndResized;
        PlayResult result;
        LONG frames;       // reaching the screen
        SIZE first, last;  // the first and the last picture's size on the screen
    } cases[] = {
        // 3.00, 3.04, ..., 3.20: not the 25 frames from the key frame at 2 s before them.
        { "a seek answered from the key frame before", false, false, PlayResult::Played, 6, { 64, 48 }, { 64, 48 } },
        { "a first read that fails", true, false, PlayResult::FirstFrameFailed, 0, {}, {} },
        // Stored 40 x 24 with pixels 3:2, turned a quarter: 24 x 40 upright, shown 16 x 40. From
        // 3.04 s the decoder's frames are 40 x 32: 32 x 40 upright, shown 21 x 40.
        { "a new frame size, turned and with wide pixels", false, true, PlayResult::Played, 6, { 16, 40 },
          { 21, 40 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandInReader reader;
        reader.failFirstRead = c.failFirstRead;
        if (c.turnedAndResized) {
            reader.nv12 = true;
            reader.nativeSubtype = MFVideoFormat_NV12;
            reader.width = 40;
            reader.height = 24;
            reader.rotation = 90;
            reader.pixelAspect = (3ull << 32) | 2;
            reader.changeAtFrame = 26;  // 3.04 s
            reader.changedHeight = 32;
        }
        g_reader = &reader;
        StandInDirectDraw directDraw;
        const LONG decodedBefore = g_playbackCounters.framesDecoded;
        const LONG droppedBefore = g_playbackCounters.framesDropped;
        LONG shown = -1;
        EXPECT_EQ(c.result, PlayWithReaderApi(kOpensStandIn, request, &directDraw, &shown));
        // Shown, or dropped where a loaded machine made one late.
        EXPECT_EQ(c.frames, shown + g_playbackCounters.framesDropped - droppedBefore);
        EXPECT_EQ(c.frames, g_playbackCounters.framesDecoded - decodedBefore);
        // The pass's first frame is never dropped, nor the last one long after the change.
        const std::vector<RECT> none;
        const std::vector<RECT>& blits = directDraw.primary ? directDraw.primary->blits : none;
        ASSERT_EQ(c.frames == 0, blits.empty());
        if (!blits.empty()) {
            EXPECT_EQ(c.first.cx, blits.front().right - blits.front().left);
            EXPECT_EQ(c.first.cy, blits.front().bottom - blits.front().top);
            EXPECT_EQ(c.last.cx, blits.back().right - blits.back().left);
            EXPECT_EQ(c.last.cy, blits.back().bottom - blits.back().top);
        }
    }
}

// A clip whose video this Windows has no decoder for: the engine says which format, for
// the status text that names it and where Windows gets it (the text itself is a new one in
// the saver's string table; the three it had stay as they were).
TEST(StandInReader, AMissingDecoderIsNamed)
{
    ReaderStage stage;
    volatile LONG missing = -1;
    PlaybackRequest request = stage.request;
    request.pMissingDecoder = &missing;
    GUID hvc1 = MFVideoFormat_HEVC;
    hvc1.Data1 = 0x31637668;
    const struct {
        const char* what;
        GUID subtype;
        LONG missing;
    } rows[] = {
        { "HEVC", MFVideoFormat_HEVC, kHevcMissing }, { "HEVC from MP4 (hvc1)", hvc1, kHevcMissing },
        { "VP9", MFVideoFormat_VP90, kVp9Missing },   { "AV1", MFVideoFormat_AV1, kAv1Missing },
        { "H.264 without a decoder: the general text", MFVideoFormat_H264, kNoDecoderMissing },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        StandInReader reader;
        reader.nativeSubtype = row.subtype;
        reader.noDecoder = true;
        g_reader = &reader;
        missing = kNoDecoderMissing;
        LONG shown = -1;
        EXPECT_EQ(PlayResult::CannotOpen, PlayWithReaderApi(kOpensStandIn, request, nullptr, &shown));
        EXPECT_EQ(row.missing, missing);
    }

    HMODULE saver = ::LoadLibraryExA(SaverPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, saver);
    const struct {
        UINT id;
        const char* text;
    } strings[] = {
        { 10005, "尚未指定剪辑。\n请先予以指定！" },
        { 10006, "剪辑不存在：\n\n%s\n\n可能此文件已被删除或移动，\n请在屏保配置对话框中修正！" },
        { 10007, "无法播放剪辑：\n\n%s\n\n可能此文件已损坏，或者您未安装用于播放它的解码器！" },
        { 10100, "无法播放剪辑：\n\n%s\n\n此剪辑的视频为 %s 格式，本机 Windows 没有它的解码器。\n%s" },
        { 10101, "请从 Microsoft Store 安装“%s 视频扩展”，然后重试！" },
    };
    for (const auto& s : strings) {
        char text[512] = {};
        EXPECT_LT(0, ::LoadStringA(saver, s.id, text, sizeof(text))) << s.id;
        EXPECT_STREQ(s.text, text) << s.id;
    }
    ::FreeLibrary(saver);
}

// Where decoding is slower than the clip (here a third of its rate), every frame is late:
// still one is shown at least every 250 ms, and what is dropped is counted.
TEST(StandInReader, ASlowMachineStillShowsAFrameFourTimesASecond)
{
    ReaderStage stage;
    ASSERT_TRUE(stage.MakeDirectDraw());
    PlaybackRequest request = stage.request;
    request.endTime = 12000000;  // 1.2 s of clip: 3.6 s to decode
    request.useEndTime = true;
    StandInReader reader;
    reader.decodeMs = 3 * kFrame / 10000;
    g_reader = &reader;
    const PlaybackCounters before = g_playbackCounters;
    const DWORD began = ::GetTickCount();
    LONG shown = 0;
    EXPECT_EQ(PlayResult::Played, PlayWithReaderApi(kOpensStandIn, request, stage.directDraw, &shown));
    const LONG took = static_cast<LONG>(::GetTickCount() - began);
    // Four a second, but for the last quarter second, which may end before its frame.
    EXPECT_GE(shown * 1000, 4 * (took - 250)) << shown << " frames shown in " << took << " ms";
    const LONG decoded = g_playbackCounters.framesDecoded - before.framesDecoded;
    const LONG dropped = g_playbackCounters.framesDropped - before.framesDropped;
    EXPECT_EQ(31, decoded);  // 0 to 1.2 s
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(decoded, shown + dropped);
}

// With sound, the sound starts the clock. The pass's first frame is shown however late it
// comes after it; and before a frame is shown the sound is read half a second past it, so
// the device never runs dry waiting for the file's next picture.
TEST(StandInReader, TheFirstFrameIsShownHoweverLateAndSoundIsReadHalfASecondAhead)
{
    ReaderStage stage;
    PlaybackRequest request = stage.request;
    request.endTime = 2000000;
    request.useEndTime = true;
    request.mute = false;
    const struct {
        const char* what;
        Device device;
        int soundFirst;
        DWORD firstFrameMs;
    } cases[] = {
        { "sound first, then a frame 80 ms late", Device::Plays, 5, 80 },
        { "sound read ahead of the first frame", Device::NeverPlays, 0, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandInDevice device(c.device);
        g_positionAnswer = MMSYSERR_NOTSUPPORTED;  // the clock runs on the processor's counter
        StandInReader reader;
        reader.withSound = true;
        reader.soundFirst = c.soundFirst;
        reader.firstFrameMs = c.firstFrameMs;
        g_reader = &reader;
        StandInDirectDraw directDraw;
        LONGLONG soundAtFirstPicture = -1;
        directDraw.madePrimary = [&](StandInSurface* primary) {
            primary->afterBlit = [&](int blits) {
                if (blits == 1)
                    soundAtFirstPicture = reader.nextSound;
            };
        };
        LONG shown = 0;
        EXPECT_EQ(PlayResult::Played, PlayWithReaderApi(kOpensStandIn, request, &directDraw, &shown));
        ASSERT_NE(nullptr, directDraw.primary);
        ASSERT_FALSE(directDraw.primary->shown.empty());
        EXPECT_EQ(0u, directDraw.primary->shown[0]) << "not the pass's first frame";
        EXPECT_GE(soundAtFirstPicture, 5000000) << "sound read only so far ahead of the first picture";
    }
}

// A display mode change whose new DirectDraw cannot be made at once (a desktop switch, a
// secure desktop): the pass ends for the playback thread to make everything anew, and a
// held still keeps trying until its picture is back; nothing reaches a released object.
TEST(StandInReader, AModeChangeWhoseRebuildFailsEndsThePassOrHoldsOn)
{
    ReaderStage stage;
    const struct {
        const char* what;
        bool holdStill;
        int changeAfter;  // blits before the mode changes
        PlayResult result;
    } cases[] = {
        { "while it plays", false, 3, PlayResult::DisplayChanged },
        { "under a held still", true, 1, PlayResult::Played },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        stage.playing = 1;
        PlaybackRequest request = stage.request;
        request.startTime = 30000000;
        request.endTime = c.holdStill ? 30000000 : 50000000;
        request.useEndTime = true;
        request.holdStill = c.holdStill;
        request.loop = true;
        StandInReader reader;
        g_reader = &reader;
        StandInDirectDrawCreate creation;
        ASSERT_TRUE(creation.Active());
        creation.failCreates = 1;
        StandInDirectDraw first;
        first.madePrimary = [&](StandInSurface* primary) {
            primary->afterBlit = [&, primary](int blits) {
                if (blits == c.changeAfter)
                    primary->answer = DDERR_WRONGMODE;
            };
        };
        // The held still, back on the new DirectDraw's primary surface: the stop.
        creation.setUp = [&](StandInDirectDraw* dd) {
            dd->madePrimary = [&](StandInSurface* primary) {
                primary->afterBlit = [&](int) { stage.playing = 0; };
            };
        };
        LONG shown = 0;
        EXPECT_EQ(c.result, PlayWithReaderApi(kOpensStandIn, request, &first, &shown));
        EXPECT_EQ(c.changeAfter, shown);
        if (c.holdStill) {
            ASSERT_EQ(1u, creation.made.size());
            ASSERT_EQ(1u, creation.made[0]->primary->shown.size());
            EXPECT_EQ(first.primary->shown[0], creation.made[0]->primary->shown[0]) << "not the held picture";
        }
    }
}

namespace {
struct ReaderRun {
    const MediaFoundationApi* mf;
    const PlaybackRequest* request;
    IDirectDraw* directDraw;
    PlayResult result;
};
DWORD WINAPI RunReader(LPVOID p)
{
    ReaderRun* run = static_cast<ReaderRun*>(p);
    LONG shown = 0;
    run->result = PlayWithReaderApi(*run->mf, *run->request, run->directDraw, &shown);
    return 0;
}

// The platform as Windows keeps it: an asynchronous result locks it from its making to its
// last release, and MFShutdown waits while anything holds a lock, for a few seconds.
volatile LONG g_platformLocks = 0;
HRESULT WINAPI WindowsLikeShutdown()
{
    for (int waited = 0; waited < 3000 && g_platformLocks > 0; waited += 10)
        ::Sleep(10);
    return S_OK;
}

class StandInResult : public IMFAsyncResult {
public:
    explicit StandInResult(IMFAsyncCallback* pCallback) : m_callback(pCallback)
    {
        pCallback->AddRef();
        ::InterlockedIncrement(&g_platformLocks);
    }
    IMFAsyncCallback* Callback() const { return m_callback; }
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) {
            m_callback->Release();
            ::InterlockedDecrement(&g_platformLocks);
            delete this;
        }
        return static_cast<ULONG>(refs);
    }
    STDMETHODIMP GetState(IUnknown** ppState) override { *ppState = nullptr; return E_POINTER; }
    STDMETHODIMP GetStatus() override { return m_status; }
    STDMETHODIMP SetStatus(HRESULT status) override { m_status = status; return S_OK; }
    STDMETHODIMP GetObject(IUnknown** ppObject) override { *ppObject = nullptr; return E_POINTER; }
    STDMETHODIMP_(IUnknown*) GetStateNoAddRef() override { return nullptr; }

private:
    virtual ~StandInResult() = default;
    volatile LONG m_refs = 1;
    IMFAsyncCallback* m_callback;
    HRESULT m_status = S_OK;
};

// A resolver that makes the reader's source at once, fails, or (a clip on an unreachable
// network share) never completes until it is cancelled. Like Windows' it calls back from
// a thread of its own, and may call back after a cancel: then with the source made anyway.
enum class Opening { Completes, Fails, NeverCompletes };
class StandInResolver : public IMFSourceResolver {
public:
    Opening opening = Opening::Completes;
    IMFMediaSource* source = nullptr;
    volatile LONG begun = 0, cancelled = 0;
    HANDLE invoker = nullptr;
    StandInResult* pending = nullptr;

    ~StandInResolver() { Join(); }
    void Join()
    {
        if (invoker) {
            ::WaitForSingleObject(invoker, 10000);
            ::CloseHandle(invoker);
            invoker = nullptr;
        }
    }
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP BeginCreateObjectFromURL(LPCWSTR, DWORD, IPropertyStore*, IUnknown** ppCookie,
                                          IMFAsyncCallback* pCallback, IUnknown*) override
    {
        *ppCookie = this;  // the cancel cookie: only its address matters
        pending = new StandInResult(pCallback);
        begun = 1;
        if (opening != Opening::NeverCompletes)
            CallBack(0);
        return S_OK;
    }
    STDMETHODIMP EndCreateObjectFromURL(IMFAsyncResult* pResult, MF_OBJECT_TYPE* pType, IUnknown** ppObject) override
    {
        *ppObject = nullptr;
        if (FAILED(pResult->GetStatus()))
            return pResult->GetStatus();
        *pType = MF_OBJECT_MEDIASOURCE;
        *ppObject = source;
        return S_OK;
    }
    STDMETHODIMP CancelObjectCreation(IUnknown* pCookie) override
    {
        cancelled = pCookie == this;
        if (pending && !invoker)
            CallBack(50);
        return S_OK;
    }
#define UNUSED_METHOD(name, ...) STDMETHODIMP name(__VA_ARGS__) override { return E_NOTIMPL; }
    UNUSED_METHOD(CreateObjectFromURL, LPCWSTR, DWORD, IPropertyStore*, MF_OBJECT_TYPE*, IUnknown**)
    UNUSED_METHOD(CreateObjectFromByteStream, IMFByteStream*, LPCWSTR, DWORD, IPropertyStore*, MF_OBJECT_TYPE*,
                  IUnknown**)
    UNUSED_METHOD(BeginCreateObjectFromByteStream, IMFByteStream*, LPCWSTR, DWORD, IPropertyStore*, IUnknown**,
                  IMFAsyncCallback*, IUnknown*)
    UNUSED_METHOD(EndCreateObjectFromByteStream, IMFAsyncResult*, MF_OBJECT_TYPE*, IUnknown**)
#undef UNUSED_METHOD

private:
    // Invokes the callback after delayMs on a thread of its own, then lets go of the result.
    void CallBack(DWORD delayMs)
    {
        m_delayMs = delayMs;
        if (opening == Opening::Fails)
            pending->SetStatus(MF_E_UNSUPPORTED_BYTESTREAM_TYPE);
        invoker = ::CreateThread(nullptr, 0, Invoker, this, 0, nullptr);
    }
    static DWORD WINAPI Invoker(LPVOID p)
    {
        StandInResolver* self = static_cast<StandInResolver*>(p);
        ::Sleep(self->m_delayMs);
        StandInResult* result = self->pending;
        self->pending = nullptr;
        result->Callback()->Invoke(result);
        result->Release();
        return 0;
    }
    DWORD m_delayMs = 0;
};
StandInResolver* g_resolver = nullptr;
HRESULT WINAPI ResolverStandIn(IMFSourceResolver** ppResolver)
{
    *ppResolver = g_resolver;
    return S_OK;
}
HRESULT WINAPI ReaderOnSourceStandIn(IMFMediaSource*, IMFAttributes*, IMFSourceReader** ppReader)
{
    *ppReader = g_reader;
    return S_OK;
}

LONGLONG MillisecondsNow()
{
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000 / frequency.QuadPart;
}
}  // namespace

// The close as Windows runs it: opened through the resolver, with the platform's locks
// and an MFShutdown that waits for them. A stop while the clip plays, while a read blocks
// (a clip on an unreachable network share: the stop shuts its source down) or while the
// opening waits (the stop cancels it, and the late answer is let go) ends the playback
// thread at once, not after a wait for the platform; and nothing is left holding it. A
// decoder whose making nothing cancels is not waited out at the close: the thread is let
// go, and when the call returns it stops there, touching nothing of the saver's.
TEST(StandInReader, AStopEndsPlaybackAReadOrAnOpeningAtOnceAndNothingHoldsThePlatform)
{
    ReaderStage stage;
    ASSERT_TRUE(stage.MakeDirectDraw());
    const MediaFoundationApi mf = { ::MFStartup, WindowsLikeShutdown, ::MFCreateAttributes, ::MFCreateMediaType,
                                    OpenStandIn, ResolverStandIn, ReaderOnSourceStandIn };
    const struct {
        const char* what;
        Opening opening;
        int blockAtRead;
        bool stop;  // else the run ends by itself
        PlayResult result;
        bool slowDecoder = false;  // a stop while the decoder is made; the thread is let go
    } cases[] = {
        { "a stop while it plays", Opening::Completes, -1, true, PlayResult::Played },
        { "a stop while a read blocks", Opening::Completes, 5, true, PlayResult::Played },
        { "a stop while the opening waits", Opening::NeverCompletes, -1, true, PlayResult::CannotOpen },
        { "an opening that fails", Opening::Fails, -1, false, PlayResult::CannotOpen },
        { "a stop while a decoder is made, let go", Opening::Completes, -1, true, PlayResult::CannotOpen, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        stage.playing = 1;
        volatile LONG missing = -1;
        PlaybackRequest request = stage.request;
        request.loop = true;
        request.pMissingDecoder = &missing;
        StandInReader reader;
        reader.blockAtRead = c.blockAtRead;
        ScopedHandle gate(c.slowDecoder ? ::CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr);
        reader.decoderGate = gate.Get();
        if (c.slowDecoder) {
            reader.nativeSubtype = MFVideoFormat_HEVC;  // where the thread went on, it would name it
            reader.noDecoder = true;
        }
        StandInResolver resolver;
        resolver.opening = c.opening;
        resolver.source = &reader.source;
        g_reader = &reader;
        g_resolver = &resolver;
        ReaderRun run = { &mf, &request, stage.directDraw, PlayResult::Played };
        HANDLE thread = ::CreateThread(nullptr, 0, RunReader, &run, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        if (c.slowDecoder) {
            for (int i = 0; i < 500 && !reader.inDecoder; ++i)
                ::Sleep(10);
            ASSERT_TRUE(reader.inDecoder);
            stage.playing = 0;
            CancelPendingReads();
            EXPECT_TRUE(LetGoOfPlaybackThread()) << "not inside a call of the system's";
            ::SetEvent(gate.Get());
            for (int i = 0; i < 500 && !reader.leftDecoder; ++i)
                ::Sleep(10);
            EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(thread, 1000)) << "the thread went on after it was let go";
            EXPECT_EQ(-1, missing) << "the thread went on after it was let go";
            ::TerminateThread(thread, 0);  // the process would have ended meanwhile
            ResetPlatformCalls();
            ::CloseHandle(thread);
            continue;
        }
        if (c.stop) {
            auto waiting = [&] {
                return c.opening == Opening::NeverCompletes ? resolver.begun != 0
                       : c.blockAtRead >= 0                 ? reader.blocked != 0
                                                            : reader.reads >= 5;
            };
            for (int i = 0; i < 500 && !waiting(); ++i)
                ::Sleep(10);
            ASSERT_TRUE(waiting());
            if (c.opening == Opening::NeverCompletes)
                ::Sleep(100);  // still waiting: nothing but the stop ends it
            const LONGLONG stopped = MillisecondsNow();
            stage.playing = 0;
            CancelPendingReads();
            EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 10000));
            const LONGLONG took = MillisecondsNow() - stopped;
            EXPECT_LT(took, 100) << "the playback thread took " << took << " ms to end";
        } else {
            EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 10000));
        }
        EXPECT_EQ(c.result, run.result);
        resolver.Join();  // a late answer has come in
        EXPECT_EQ(c.opening == Opening::NeverCompletes, resolver.cancelled != 0);
        // The source a stop ended, or the one the late answer brought, is shut down.
        EXPECT_EQ(c.stop, ::WaitForSingleObject(reader.source.shutDown, 0) == WAIT_OBJECT_0);
        EXPECT_EQ(0, g_platformLocks) << "a result is still alive: MFShutdown would wait for it";
        g_platformLocks = 0;
        ::CloseHandle(thread);
    }
}
