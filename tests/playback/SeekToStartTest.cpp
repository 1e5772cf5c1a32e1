// Where a pass starts, against a small stream that answers GetInformation and Seek as
// it is told. Windows' streams describe themselves; Wine's do not (GetInformation fails
// there), so both roads are taken here.
#include <gtest/gtest.h>

#include <vector>

#include "playback/StreamPlayer.h"

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
