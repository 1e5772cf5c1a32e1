// Small owners of what the system hands out, each given back by its destructor on every
// path: kernel handles, loaded modules, window device contexts, registry keys and COM
// interface pointers. None can be copied.
#pragma once

#include <windows.h>

// A kernel handle. Null and INVALID_HANDLE_VALUE both mean none (CreateFile fails with
// the second, most other calls with the first).
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h) : m_h(h) {}
    ~ScopedHandle()
    {
        if (*this)
            ::CloseHandle(m_h);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h && m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// A module from LoadLibrary.
class ScopedModule {
public:
    explicit ScopedModule(HMODULE h) : m_h(h) {}
    ~ScopedModule()
    {
        if (m_h)
            ::FreeLibrary(m_h);
    }
    ScopedModule(const ScopedModule&) = delete;
    ScopedModule& operator=(const ScopedModule&) = delete;

    HMODULE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HMODULE m_h;
};

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
