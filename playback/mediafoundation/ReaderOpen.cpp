#include "playback/mediafoundation/ReaderOpen.h"

#include <mferror.h>

#include "support/Scoped.h"

namespace {

const DWORD kStepMs = 10;

// Told by the resolver when the source is made; keeps the result for the playback thread,
// which ends the request itself. Lives on the heap: after a cancel the resolver may still
// call it, after the thread has gone on.
class OpenCallback : public IMFAsyncCallback {
public:
    OpenCallback() : m_done(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    bool Valid() const { return m_done.Get() != nullptr; }
    HANDLE Done() const { return m_done.Get(); }
    IMFAsyncResult* Result() const { return m_result.Get(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid != IID_IUnknown && riid != IID_IMFAsyncCallback) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IMFAsyncCallback*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }
    STDMETHODIMP GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(IMFAsyncResult* pResult) override
    {
        if (pResult)
            pResult->AddRef();
        *m_result.Receive() = pResult;
        ::SetEvent(m_done.Get());  // the result is written before anyone looks at it
        return S_OK;
    }

private:
    ~OpenCallback() = default;
    volatile LONG m_refs = 1;
    ScopedHandle m_done;
    ComPtr<IMFAsyncResult> m_result;
};

// Drops the callback's reference when it goes.
struct CallbackRef {
    OpenCallback* p;
    ~CallbackRef() { p->Release(); }
};

}  // namespace

HRESULT OpenReader(const MediaFoundationApi& mf, LPCWSTR url, IMFAttributes* pAttributes,
                   const volatile LONG* pPlaying, IMFSourceReader** ppReader)
{
    *ppReader = nullptr;
    if (!mf.MFCreateSourceResolver || !mf.MFCreateSourceReaderFromMediaSource)
        return mf.MFCreateSourceReaderFromURL(url, pAttributes, ppReader);
    ComPtr<IMFSourceResolver> resolver;
    HRESULT hr = mf.MFCreateSourceResolver(resolver.Receive());
    if (FAILED(hr))
        return hr;
    CallbackRef callback = { new OpenCallback };
    if (!callback.p->Valid())
        return E_OUTOFMEMORY;
    ComPtr<IUnknown> cancelCookie;
    hr = resolver->BeginCreateObjectFromURL(url, MF_RESOLUTION_MEDIASOURCE | MF_RESOLUTION_READ, nullptr,
                                            cancelCookie.Receive(), callback.p, nullptr);
    if (FAILED(hr))
        return hr;
    while (::WaitForSingleObject(callback.p->Done(), kStepMs) != WAIT_OBJECT_0) {
        if (!*pPlaying) {
            // The resolver may still finish and call back; the callback outlives this.
            if (cancelCookie)
                resolver->CancelObjectCreation(cancelCookie.Get());
            return MF_E_OPERATION_CANCELLED;
        }
    }
    MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
    ComPtr<IUnknown> object;
    ComPtr<IMFMediaSource> source;
    hr = resolver->EndCreateObjectFromURL(callback.p->Result(), &type, object.Receive());
    if (SUCCEEDED(hr))
        hr = object->QueryInterface(IID_IMFMediaSource, source.ReceiveVoid());
    // The reader shuts the source down when it goes; until then a source of its own.
    if (SUCCEEDED(hr))
        hr = mf.MFCreateSourceReaderFromMediaSource(source.Get(), pAttributes, ppReader);
    if (FAILED(hr) && source)
        source->Shutdown();
    return hr;
}
