#include "playback/mediafoundation/ReaderOpen.h"

#include <mferror.h>

#include "support/Scoped.h"
#include "playback/PlatformCall.h"

namespace {

const DWORD kStepMs = 10;

// Shuts down a media source that nobody is going to read: a source lives until it is
// shut down, whoever releases it.
void Discard(IUnknown* pObject)
{
    if (!pObject)
        return;
    ComPtr<IMFMediaSource> source;
    if (SUCCEEDED(pObject->QueryInterface(IID_IMFMediaSource, source.ReceiveVoid())))
        source->Shutdown();
    pObject->Release();
}

// Told by the resolver when the source is made. The request is ended inside Invoke: the
// result it is handed holds this callback and, on Windows, a lock on the platform, which
// MFShutdown waits for. Kept past Invoke, result and callback would hold each other for
// ever. What was made waits here for the playback thread; after a stop the thread has
// gone on, and a late Invoke shuts the source down itself. Lives on the heap for that.
class OpenCallback final : public IMFAsyncCallback {
public:
    explicit OpenCallback(IMFSourceResolver* pResolver)
        : m_done(::CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_pResolver(pResolver)
    {
        pResolver->AddRef();
    }
    bool Valid() const { return m_done.Get() != nullptr; }
    HANDLE Done() const { return m_done.Get(); }
    // After Done: what the request gave.
    HRESULT Result() const { return m_hr; }
    IUnknown* TakeObject()
    {
        IUnknown* p = m_pObject;
        m_pObject = nullptr;
        return p;
    }
    // The playback thread goes on without the request (a stop): Invoke, now or later,
    // disposes of what it makes.
    void Abandon()
    {
        if (::InterlockedCompareExchange(&m_state, kAbandoned, kWaiting) == kFinished)
            Discard(TakeObject());  // it came in meanwhile
    }

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
        // The first call only: the resolver is taken by it.
        IMFSourceResolver* pResolver = static_cast<IMFSourceResolver*>(
            ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pResolver), nullptr));
        if (!pResolver)
            return S_OK;
        MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
        IUnknown* pObject = nullptr;
        const HRESULT hr = pResolver->EndCreateObjectFromURL(pResult, &type, &pObject);
        pResolver->Release();
        m_hr = FAILED(hr) || pObject ? hr : E_POINTER;
        m_pObject = pObject;
        // Written before the state says so; the playback thread reads them only after.
        if (::InterlockedCompareExchange(&m_state, kFinished, kWaiting) == kAbandoned)
            Discard(TakeObject());
        else
            ::SetEvent(m_done.Get());
        return S_OK;
    }

private:
    enum : LONG { kWaiting, kFinished, kAbandoned };
    ~OpenCallback()
    {
        if (m_pResolver)  // never invoked: the request was not begun
            m_pResolver->Release();
        Discard(m_pObject);
    }
    volatile LONG m_refs = 1;
    volatile LONG m_state = kWaiting;
    ScopedHandle m_done;
    IMFSourceResolver* volatile m_pResolver;
    HRESULT m_hr = E_UNEXPECTED;
    IUnknown* m_pObject = nullptr;
};

// Drops the playback thread's reference to the callback when it goes.
struct CallbackRef {
    OpenCallback* p;
    ~CallbackRef() { p->Release(); }
};

}  // namespace

HRESULT OpenReader(const MediaFoundationApi& mf, LPCWSTR url, IMFAttributes* pAttributes,
                   const volatile LONG* pPlaying, IMFSourceReader** ppReader)
{
    *ppReader = nullptr;
    if (!mf.MFCreateSourceResolver || !mf.MFCreateSourceReaderFromMediaSource) {
        CPlatformCall inside;
        return mf.MFCreateSourceReaderFromURL(url, pAttributes, ppReader);
    }
    ComPtr<IMFSourceResolver> resolver;
    HRESULT hr = mf.MFCreateSourceResolver(resolver.Receive());
    if (FAILED(hr))
        return hr;
    CallbackRef callback = { new OpenCallback(resolver.Get()) };
    if (!callback.p->Valid())
        return E_OUTOFMEMORY;
    ComPtr<IUnknown> cancelCookie;
    hr = resolver->BeginCreateObjectFromURL(url, MF_RESOLUTION_MEDIASOURCE | MF_RESOLUTION_READ, nullptr,
                                            cancelCookie.Receive(), callback.p, nullptr);
    if (FAILED(hr))
        return hr;
    while (::WaitForSingleObject(callback.p->Done(), kStepMs) != WAIT_OBJECT_0) {
        if (!*pPlaying) {
            callback.p->Abandon();
            if (cancelCookie)
                resolver->CancelObjectCreation(cancelCookie.Get());
            return MF_E_OPERATION_CANCELLED;
        }
    }
    ComPtr<IUnknown> object(callback.p->TakeObject());
    ComPtr<IMFMediaSource> source;
    hr = callback.p->Result();
    if (SUCCEEDED(hr))
        hr = object->QueryInterface(IID_IMFMediaSource, source.ReceiveVoid());
    // The reader shuts the source down when it goes; until then a source of its own.
    CPlatformCall inside;
    if (SUCCEEDED(hr))
        hr = mf.MFCreateSourceReaderFromMediaSource(source.Get(), pAttributes, ppReader);
    if (FAILED(hr) && source)
        source->Shutdown();
    return hr;
}
