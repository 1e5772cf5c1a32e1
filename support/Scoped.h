// Small owners of what the system hands out, each given back by its destructor on every
// path: kernel handles, loaded modules, window device contexts, registry keys and COM
// interface pointers. None can be copied.
#pragma once

#include <windows.h>

// One handle of a kind that Closer gives back: Closer::Holds(h) tells whether h is a
// handle at all, Closer::Close(h) gives it back. A kind this header has no closer for
// brings its own (the download engine's internet handles).
template <class H, class Closer>
class ScopedOwner {
public:
    explicit ScopedOwner(H h = nullptr) : m_h(h) {}
    ~ScopedOwner() { Reset(); }
    ScopedOwner(const ScopedOwner&) = delete;
    ScopedOwner& operator=(const ScopedOwner&) = delete;

    H Get() const { return m_h; }
    explicit operator bool() const { return Closer::Holds(m_h); }
    // Gives back what is held, then holds h.
    void Reset(H h = nullptr)
    {
        if (Closer::Holds(m_h))
            Closer::Close(m_h);
        m_h = h;
    }
    // Hands what is held to the caller, who then gives it back.
    H Detach()
    {
        H h = m_h;
        m_h = nullptr;
        return h;
    }

private:
    H m_h;
};

// A kernel handle. Null and INVALID_HANDLE_VALUE both mean none (CreateFile fails with
// the second, most other calls with the first).
struct KernelHandleCloser {
    static bool Holds(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
using ScopedHandle = ScopedOwner<HANDLE, KernelHandleCloser>;

// A module from LoadLibrary.
struct ModuleCloser {
    static bool Holds(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
};
using ScopedModule = ScopedOwner<HMODULE, ModuleCloser>;

// A window's device context from GetDC, given back to that window.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(::GetDC(hWnd)) {}
    ~ScopedGetDC()
    {
        if (m_hDC)
            ::ReleaseDC(m_hWnd, m_hDC);
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;

    HDC Get() const { return m_hDC; }
    explicit operator bool() const { return m_hDC != nullptr; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// One open registry key, with the name and the calls of the registry class that users of
// the application framework know (Open, Create, QueryValue, SetValue, m_hKey).
class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Both open into a temporary handle first: a failure leaves the key held so far
    // untouched. On success the old key is closed before the new one is taken over, and
    // a failed close fails the whole call (the new handle is closed again, nothing held).
    LONG Open(HKEY hKeyParent, const char* pszKeyName, REGSAM samDesired = KEY_ALL_ACCESS);
    // Non-volatile, no class string, default security.
    LONG Create(HKEY hKeyParent, const char* pszKeyName, REGSAM samDesired = KEY_ALL_ACCESS);
    // 0 when nothing is held; otherwise the result of closing. The handle is forgotten
    // either way.
    LONG Close();

    void Attach(HKEY hKey);

    LONG QueryValue(const char* pszName, void* pData, DWORD* pcbData) const;
    LONG SetValue(const char* pszName, DWORD dwType, const void* pData, DWORD cbData);

    HKEY m_hKey = nullptr;

private:
    LONG TakeOver(HKEY hKeyNew);
};

// A COM interface pointer holding one reference.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : m_p(p) {}  // takes over the reference
    ~ComPtr() { Release(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For out-parameters: drops the old object first, so nothing leaks.
    T** Receive()
    {
        Release();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Release()
    {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p = nullptr;
};
