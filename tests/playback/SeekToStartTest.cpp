// Where a pass starts, against a small stream that answers GetInformation and Seek as
// it is told. Windows' streams describe themselves; Wine's do not (GetInformation fails
// there), so both roads are taken here.
#include <gtest/gtest.h>

#include <vector>

#include "playback/directshow/StreamPlayer.h"

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
#include "settings/SettingsDlg.h"

namespace {

const LONGLONG kFrame = 400000, kClip = 50000000, kKeyEvery = 20000000;

// A source whose Shutdown ends the stand-in reader's blocked read.
class StandInSource : public IMFMediaSource {
public:
    HANDLE shutDown = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~StandInSource() { ::CloseHandle(shutDown); }
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
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

class StandInReader : public IMFSourceReader {
public:
    bool failFirstRead = false;
    int blockAtRead = -1;  // this read waits for the source's Shutdown (a dead share)
    volatile LONG blocked = 0;
    StandInSource source;
    LONGLONG next = 0;
    int reads = 0;

    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetStreamSelection(DWORD, BOOL* pSelected) override { *pSelected = TRUE; return S_OK; }
    STDMETHODIMP SetStreamSelection(DWORD, BOOL) override { return S_OK; }
    STDMETHODIMP GetNativeMediaType(DWORD stream, DWORD, IMFMediaType** ppType) override
    {
        return stream == 0 || stream == static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM)
                   ? GetCurrentMediaType(stream, ppType) : MF_E_INVALIDSTREAMNUMBER;
    }
    STDMETHODIMP GetCurrentMediaType(DWORD, IMFMediaType** ppType) override
    {
        HRESULT hr = ::MFCreateMediaType(ppType);
        if (SUCCEEDED(hr)) {
            (*ppType)->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
            (*ppType)->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32);
            (*ppType)->SetUINT64(MF_MT_FRAME_SIZE, (64ull << 32) | 48);
            (*ppType)->SetUINT32(MF_MT_DEFAULT_STRIDE, 64 * 4);
        }
        return hr;
    }
    STDMETHODIMP SetCurrentMediaType(DWORD, DWORD*, IMFMediaType*) override { return S_OK; }
    STDMETHODIMP SetCurrentPosition(REFGUID, REFPROPVARIANT position) override
    {
        next = position.hVal.QuadPart / kKeyEvery * kKeyEvery;
        return S_OK;
    }
    STDMETHODIMP ReadSample(DWORD, DWORD, DWORD* pStream, DWORD* pFlags, LONGLONG* pTime, IMFSample** ppSample) override
    {
        *pStream = 0;
        *pFlags = 0;
        *ppSample = nullptr;
        if (reads++ == 0 && failFirstRead)
            return MF_E_INVALID_STREAM_DATA;  // opens, then cannot be read
        if (reads - 1 == blockAtRead) {
            blocked = 1;
            return ::WaitForSingleObject(source.shutDown, 30000) == WAIT_OBJECT_0 ? MF_E_SHUTDOWN : E_FAIL;
        }
        if (next >= kClip) {
            *pFlags = MF_SOURCE_READERF_ENDOFSTREAM;
            return S_OK;
        }
        IMFMediaBuffer* buffer = nullptr;
        HRESULT hr = ::MFCreateMemoryBuffer(64 * 48 * 4, &buffer);
        if (SUCCEEDED(hr)) {
            buffer->SetCurrentLength(64 * 48 * 4);
            hr = ::MFCreateSample(ppSample);
        }
        if (SUCCEEDED(hr)) {
            (*ppSample)->AddBuffer(buffer);
            (*ppSample)->SetSampleTime(next);
            (*ppSample)->SetSampleDuration(kFrame);
        }
        if (buffer)
            buffer->Release();
        *pTime = next;
        next += kFrame;
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
};

StandInReader* g_reader = nullptr;

HRESULT WINAPI OpenStandIn(LPCWSTR, IMFAttributes*, IMFSourceReader** ppReader)
{
    *ppReader = g_reader;
    return S_OK;
}

}  // namespace

TEST(StandInReader, FramesBeforeTheStartAreSkippedAndAFailedFirstReadIsNoPicture)
{
    HWND hWnd = ::CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 64, 48, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, hWnd);
    IDirectDraw* directDraw = nullptr;
    ASSERT_TRUE(SUCCEEDED(::DirectDrawCreate(nullptr, &directDraw, nullptr)));
    directDraw->SetCooperativeLevel(hWnd, DDSCL_NORMAL);
    // No source resolver: the reader is opened synchronously, through the stand-in.
    const MediaFoundationApi mf = { ::MFStartup, ::MFShutdown, ::MFCreateAttributes, ::MFCreateMediaType, OpenStandIn,
                                    nullptr, nullptr };
    CSettingsDlg geometry;
    geometry.m_nViewSizeOption = 1;
    const volatile LONG playing = 1;
    PlaybackRequest request = {};
    request.hWnd = hWnd;
    request.clipPath = "stand-in.mp4";
    request.startTime = 30000000;  // 3 s, between the key frames at 2 and 4 s
    request.endTime = 32000000;    // 3.2 s
    request.useEndTime = true;
    request.mute = true;
    request.pGeometry = &geometry;
    request.pPlaying = &playing;

    const struct {
        const char* what;
        bool failFirstRead;
        PlayResult result;
        LONG frames;  // reaching the screen
    } cases[] = {
        // 3.00, 3.04, ..., 3.20: not the 25 frames from the key frame at 2 s before them.
        { "a seek answered from the key frame before", false, PlayResult::Played, 6 },
        { "a first read that fails", true, PlayResult::FirstFrameFailed, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandInReader reader;
        reader.failFirstRead = c.failFirstRead;
        g_reader = &reader;
        const LONG decodedBefore = g_playbackCounters.framesDecoded;
        LONG shown = -1;
        EXPECT_EQ(c.result, PlayWithReaderApi(mf, request, directDraw, &shown));
        EXPECT_EQ(c.frames, shown);
        EXPECT_EQ(c.frames, g_playbackCounters.framesDecoded - decodedBefore);
    }
    directDraw->Release();
    ::DestroyWindow(hWnd);
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
}  // namespace

namespace {
// A resolver whose opening never completes (a clip on an unreachable network share) until
// it is cancelled; like Windows', it may still call back after the cancel, and does not.
class StandInResolver : public IMFSourceResolver {
public:
    volatile LONG begun = 0, cancelled = 0;
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP BeginCreateObjectFromURL(LPCWSTR, DWORD, IPropertyStore*, IUnknown** ppCookie, IMFAsyncCallback*,
                                          IUnknown*) override
    {
        *ppCookie = this;  // the cancel cookie: only its address matters
        begun = 1;
        return S_OK;
    }
    STDMETHODIMP CancelObjectCreation(IUnknown* pCookie) override
    {
        cancelled = pCookie == this;
        return S_OK;
    }
#define UNUSED_METHOD(name, ...) STDMETHODIMP name(__VA_ARGS__) override { return E_NOTIMPL; }
    UNUSED_METHOD(CreateObjectFromURL, LPCWSTR, DWORD, IPropertyStore*, MF_OBJECT_TYPE*, IUnknown**)
    UNUSED_METHOD(CreateObjectFromByteStream, IMFByteStream*, LPCWSTR, DWORD, IPropertyStore*, MF_OBJECT_TYPE*,
                  IUnknown**)
    UNUSED_METHOD(EndCreateObjectFromURL, IMFAsyncResult*, MF_OBJECT_TYPE*, IUnknown**)
    UNUSED_METHOD(BeginCreateObjectFromByteStream, IMFByteStream*, LPCWSTR, DWORD, IPropertyStore*, IUnknown**,
                  IMFAsyncCallback*, IUnknown*)
    UNUSED_METHOD(EndCreateObjectFromByteStream, IMFAsyncResult*, MF_OBJECT_TYPE*, IUnknown**)
#undef UNUSED_METHOD
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
}  // namespace

// A read or an opening that blocks (a clip on an unreachable network share): the stop
// request shuts the source down or cancels the opening, and the playback thread ends at
// once rather than being terminated.
TEST(StandInReader, AStopEndsAReadOrAnOpeningThatBlocks)
{
    HWND hWnd = ::CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 64, 48, nullptr, nullptr,
                                  nullptr, nullptr);
    IDirectDraw* directDraw = nullptr;
    ASSERT_TRUE(SUCCEEDED(::DirectDrawCreate(nullptr, &directDraw, nullptr)));
    directDraw->SetCooperativeLevel(hWnd, DDSCL_NORMAL);
    CSettingsDlg geometry;
    for (bool inOpening : { false, true }) {
        SCOPED_TRACE(inOpening ? "the opening blocks" : "a read blocks");
        // The opening through the resolver where it blocks; the read case opens at once.
        const MediaFoundationApi mf = { ::MFStartup, ::MFShutdown, ::MFCreateAttributes, ::MFCreateMediaType,
                                        OpenStandIn, inOpening ? ResolverStandIn : nullptr,
                                        inOpening ? ReaderOnSourceStandIn : nullptr };
        volatile LONG playing = 1;
        PlaybackRequest request = {};
        request.hWnd = hWnd;
        request.clipPath = "stand-in.mp4";
        request.loop = true;
        request.mute = true;
        request.pGeometry = &geometry;
        request.pPlaying = &playing;
        StandInReader reader;
        reader.blockAtRead = inOpening ? -1 : 5;
        StandInResolver resolver;
        g_reader = &reader;
        g_resolver = &resolver;
        ReaderRun run = { &mf, &request, directDraw, PlayResult::Played };
        HANDLE thread = ::CreateThread(nullptr, 0, RunReader, &run, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        const volatile LONG& waiting = inOpening ? resolver.begun : reader.blocked;
        for (int i = 0; i < 500 && !waiting; ++i)
            ::Sleep(10);
        ASSERT_TRUE(waiting);
        if (inOpening)
            ::Sleep(100);  // still waiting: nothing but the stop ends it
        playing = 0;
        CancelPendingReads();
        // Well before the read's own 30 s: ended by the shutdown or the cancel, not a time-out.
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 10000));
        if (inOpening) {
            EXPECT_TRUE(resolver.cancelled);
            EXPECT_EQ(PlayResult::CannotOpen, run.result);  // and no text: the saver is closing
        } else {
            EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(reader.source.shutDown, 0));
            EXPECT_EQ(PlayResult::Played, run.result);  // a stop, not a clip that cannot play
        }
        ::CloseHandle(thread);
    }
    directDraw->Release();
    ::DestroyWindow(hWnd);
}
