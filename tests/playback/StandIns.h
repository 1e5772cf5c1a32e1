// A sound device (waveOut) that plays, refuses or keeps the blocks it is given, and
// DirectDraw as Windows answers where Wine never does: surfaces that are lost and come
// back empty from Restore, a display mode that changes under them, a DirectDraw or a
// surface that cannot be made for a while. For the playback tables of more than one file.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>
#include <mmsystem.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "common/TestSupport.h"

// A surface of 32-bit pixels in memory, or (no size) a primary surface that records where
// each blit went and the first pixel it showed. COM references are not counted: whoever
// made it owns it.
class StandInSurface : public IDirectDrawSurface {
public:
    StandInSurface(DWORD width = 0, DWORD height = 0) : width(width), height(height), pixels(width * height) {}
    DWORD width, height;
    std::vector<DWORD> pixels;
    std::vector<RECT> blits;
    std::vector<DWORD> shown;  // the source's first pixel, for each blit that worked
    RECT refused = {};         // a blit to this rectangle answers refusal
    HRESULT refusal = S_OK;
    HRESULT restoreResult = DD_OK;
    HRESULT answer = DD_OK;  // every blit's answer while not DD_OK (DDERR_WRONGMODE: the mode changed)
    bool lost = false;
    int restores = 0;
    // Called after every blit with their count so far: the test's turn to change things.
    std::function<void(int)> afterBlit;

    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Blt(LPRECT dest, LPDIRECTDRAWSURFACE source, LPRECT, DWORD, LPDDBLTFX) override
    {
        StandInSurface* from = static_cast<StandInSurface*>(source);
        blits.push_back(dest ? *dest : RECT{});
        HRESULT hr = answer;
        if (hr == DD_OK && (lost || (from && from->lost)))
            hr = DDERR_SURFACELOST;
        if (hr == DD_OK && dest && ::EqualRect(dest, &refused))
            hr = refusal;
        if (hr == DD_OK)
            shown.push_back(from && !from->pixels.empty() ? from->pixels[0] : 0);
        if (afterBlit)
            afterBlit(static_cast<int>(blits.size()));
        return hr;
    }
    // Windows' Restore gives the memory back, not what was in it.
    STDMETHODIMP Restore() override
    {
        ++restores;
        if (FAILED(restoreResult))
            return restoreResult;
        lost = false;
        std::fill(pixels.begin(), pixels.end(), 0x00123456);
        return DD_OK;
    }
    STDMETHODIMP IsLost() override { return lost ? DDERR_SURFACELOST : DD_OK; }
    STDMETHODIMP SetClipper(LPDIRECTDRAWCLIPPER) override { return DD_OK; }
    STDMETHODIMP GetSurfaceDesc(LPDDSURFACEDESC desc) override
    {
        *desc = DDSURFACEDESC();
        desc->dwSize = sizeof(*desc);
        desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
        desc->dwWidth = width;
        desc->dwHeight = height;
        desc->lPitch = static_cast<LONG>(width * 4);
        desc->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        desc->ddpfPixelFormat.dwFlags = DDPF_RGB;
        desc->ddpfPixelFormat.dwRGBBitCount = 32;
        desc->ddpfPixelFormat.dwRBitMask = 0xFF0000;
        desc->ddpfPixelFormat.dwGBitMask = 0xFF00;
        desc->ddpfPixelFormat.dwBBitMask = 0xFF;
        return DD_OK;
    }
    STDMETHODIMP Lock(LPRECT, LPDDSURFACEDESC desc, DWORD, HANDLE) override
    {
        if (lost)
            return DDERR_SURFACELOST;
        if (pixels.empty())
            return DDERR_GENERIC;
        GetSurfaceDesc(desc);
        desc->lpSurface = pixels.data();
        return DD_OK;
    }
    STDMETHODIMP Unlock(LPVOID) override { return DD_OK; }
#define UNUSED_METHOD(name, ...) STDMETHODIMP name(__VA_ARGS__) override { return E_NOTIMPL; }
    UNUSED_METHOD(AddAttachedSurface, LPDIRECTDRAWSURFACE)
    UNUSED_METHOD(AddOverlayDirtyRect, LPRECT)
    UNUSED_METHOD(BltBatch, LPDDBLTBATCH, DWORD, DWORD)
    UNUSED_METHOD(BltFast, DWORD, DWORD, LPDIRECTDRAWSURFACE, LPRECT, DWORD)
    UNUSED_METHOD(DeleteAttachedSurface, DWORD, LPDIRECTDRAWSURFACE)
    UNUSED_METHOD(EnumAttachedSurfaces, LPVOID, LPDDENUMSURFACESCALLBACK)
    UNUSED_METHOD(EnumOverlayZOrders, DWORD, LPVOID, LPDDENUMSURFACESCALLBACK)
    UNUSED_METHOD(Flip, LPDIRECTDRAWSURFACE, DWORD)
    UNUSED_METHOD(GetAttachedSurface, LPDDSCAPS, LPDIRECTDRAWSURFACE*)
    UNUSED_METHOD(GetBltStatus, DWORD)
    UNUSED_METHOD(GetCaps, LPDDSCAPS)
    UNUSED_METHOD(GetClipper, LPDIRECTDRAWCLIPPER*)
    UNUSED_METHOD(GetColorKey, DWORD, LPDDCOLORKEY)
    UNUSED_METHOD(GetDC, HDC*)
    UNUSED_METHOD(GetFlipStatus, DWORD)
    UNUSED_METHOD(GetOverlayPosition, LPLONG, LPLONG)
    UNUSED_METHOD(GetPalette, LPDIRECTDRAWPALETTE*)
    UNUSED_METHOD(GetPixelFormat, LPDDPIXELFORMAT)
    UNUSED_METHOD(Initialize, LPDIRECTDRAW, LPDDSURFACEDESC)
    UNUSED_METHOD(ReleaseDC, HDC)
    UNUSED_METHOD(SetColorKey, DWORD, LPDDCOLORKEY)
    UNUSED_METHOD(SetOverlayPosition, LONG, LONG)
    UNUSED_METHOD(SetPalette, LPDIRECTDRAWPALETTE)
    UNUSED_METHOD(UpdateOverlay, LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDOVERLAYFX)
    UNUSED_METHOD(UpdateOverlayDisplay, DWORD)
    UNUSED_METHOD(UpdateOverlayZOrder, DWORD, LPDIRECTDRAWSURFACE)
#undef UNUSED_METHOD
};

// A DirectDraw object that makes stand-in surfaces (and keeps them), and records the
// window its cooperative level was set for. The clipper is a real one of its own.
class StandInDirectDraw : public IDirectDraw {
public:
    int failSurfaces = 0;  // so many CreateSurface calls fail first (a secure desktop)
    std::vector<std::unique_ptr<StandInSurface>> surfaces;
    std::vector<HWND> cooperativeWindows;
    StandInSurface* primary = nullptr;  // the last primary surface made
    StandInSurface* offscreen = nullptr;  // the last offscreen one
    std::function<void(StandInSurface*)> madePrimary;  // the test's say on a new primary

    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateClipper(DWORD, LPDIRECTDRAWCLIPPER* clipper, IUnknown*) override
    {
        return ::DirectDrawCreateClipper(0, clipper, nullptr);
    }
    STDMETHODIMP CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface, IUnknown*) override
    {
        *surface = nullptr;
        if (failSurfaces > 0) {
            --failSurfaces;
            return DDERR_GENERIC;
        }
        const bool isPrimary = (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0;
        surfaces.emplace_back(isPrimary ? new StandInSurface() : new StandInSurface(desc->dwWidth, desc->dwHeight));
        StandInSurface* made = surfaces.back().get();
        (isPrimary ? primary : offscreen) = made;
        if (isPrimary && madePrimary)
            madePrimary(made);
        *surface = made;
        return DD_OK;
    }
    STDMETHODIMP SetCooperativeLevel(HWND hWnd, DWORD flags) override
    {
        cooperativeWindows.push_back(flags == DDSCL_NORMAL ? hWnd : reinterpret_cast<HWND>(-1));
        return DD_OK;
    }
#define UNUSED_METHOD(name, ...) STDMETHODIMP name(__VA_ARGS__) override { return E_NOTIMPL; }
    UNUSED_METHOD(Compact)
    UNUSED_METHOD(CreatePalette, DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE*, IUnknown*)
    UNUSED_METHOD(DuplicateSurface, LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE*)
    UNUSED_METHOD(EnumDisplayModes, DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMMODESCALLBACK)
    UNUSED_METHOD(EnumSurfaces, DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK)
    UNUSED_METHOD(FlipToGDISurface)
    UNUSED_METHOD(GetCaps, LPDDCAPS, LPDDCAPS)
    UNUSED_METHOD(GetDisplayMode, LPDDSURFACEDESC)
    UNUSED_METHOD(GetFourCCCodes, LPDWORD, LPDWORD)
    UNUSED_METHOD(GetGDISurface, LPDIRECTDRAWSURFACE*)
    UNUSED_METHOD(GetMonitorFrequency, LPDWORD)
    UNUSED_METHOD(GetScanLine, LPDWORD)
    UNUSED_METHOD(GetVerticalBlankStatus, BOOL*)
    UNUSED_METHOD(Initialize, GUID*)
    UNUSED_METHOD(RestoreDisplayMode)
    UNUSED_METHOD(SetDisplayMode, DWORD, DWORD, DWORD)
    UNUSED_METHOD(WaitForVerticalBlank, DWORD, HANDLE)
#undef UNUSED_METHOD
};

// While one lives, the program's DirectDrawCreate (a display mode change's Rebuild) makes
// stand-in DirectDraw objects, the first failCreates times failing as Windows does during
// a desktop switch.
class StandInDirectDrawCreate {
public:
    int failCreates = 0;
    int creates = 0;
    std::vector<std::unique_ptr<StandInDirectDraw>> made;
    std::function<void(StandInDirectDraw*)> setUp;  // the test's say on each new one

    StandInDirectDrawCreate()
    {
        s_current = this;
        m_previous = ReplaceImport(::GetModuleHandleA(nullptr), "ddraw.dll", "DirectDrawCreate",
                                   reinterpret_cast<void*>(Create));
    }
    ~StandInDirectDrawCreate()
    {
        if (m_previous)
            ReplaceImport(::GetModuleHandleA(nullptr), "ddraw.dll", "DirectDrawCreate", m_previous);
        s_current = nullptr;
    }
    bool Active() const { return m_previous != nullptr; }

private:
    static HRESULT WINAPI Create(GUID*, LPDIRECTDRAW* ppDirectDraw, IUnknown*)
    {
        StandInDirectDrawCreate* self = s_current;
        *ppDirectDraw = nullptr;
        ++self->creates;
        if (self->failCreates > 0) {
            --self->failCreates;
            return DDERR_GENERIC;
        }
        self->made.emplace_back(new StandInDirectDraw);
        if (self->setUp)
            self->setUp(self->made.back().get());
        *ppDirectDraw = self->made.back().get();
        return DD_OK;
    }
    static StandInDirectDrawCreate* s_current;
    void* m_previous;
};
inline StandInDirectDrawCreate* StandInDirectDrawCreate::s_current = nullptr;

// The sound device, for the program's code linked into this test program.
// What the stand-in device does with the blocks it is given.
enum class Device { Plays, Refuses, NeverPlays };
inline Device g_device = Device::Plays;
inline std::vector<WAVEHDR*> g_queued;
inline int g_writes = 0;

inline MMRESULT WINAPI FakeOpen(LPHWAVEOUT phwo, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD)
{
    *phwo = reinterpret_cast<HWAVEOUT>(0x5150);
    return MMSYSERR_NOERROR;
}
inline MMRESULT WINAPI FakePrepare(HWAVEOUT, LPWAVEHDR h, UINT)
{
    h->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
inline MMRESULT WINAPI FakeUnprepare(HWAVEOUT, LPWAVEHDR h, UINT)
{
    if (h->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    h->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
inline MMRESULT WINAPI FakeWrite(HWAVEOUT, LPWAVEHDR h, UINT)
{
    ++g_writes;
    if (g_device == Device::Refuses)
        return MMSYSERR_NODRIVER;
    if (g_device == Device::Plays) {
        h->dwFlags |= WHDR_DONE;  // played at once
        return MMSYSERR_NOERROR;
    }
    h->dwFlags |= WHDR_INQUEUE;
    g_queued.push_back(h);
    return MMSYSERR_NOERROR;
}
// Like Windows: a reset gives back every block the device holds.
inline MMRESULT WINAPI FakeReset(HWAVEOUT)
{
    for (WAVEHDR* h : g_queued)
        h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    g_queued.clear();
    return MMSYSERR_NOERROR;
}
inline MMRESULT WINAPI FakeNothing(HWAVEOUT) { return MMSYSERR_NOERROR; }
// What the device says it has played, in bytes.
inline DWORD g_position = 0;
inline MMRESULT g_positionAnswer = MMSYSERR_NOERROR;  // else what waveOutGetPosition answers
inline MMRESULT WINAPI FakePosition(HWAVEOUT, LPMMTIME time, UINT)
{
    if (g_positionAnswer != MMSYSERR_NOERROR)
        return g_positionAnswer;
    time->wType = TIME_BYTES;
    time->u.cb = g_position;
    return MMSYSERR_NOERROR;
}

class StandInDevice {
public:
    explicit StandInDevice(Device d)
    {
        g_device = d;
        g_queued.clear();
        g_writes = 0;
        g_position = 0;
        g_positionAnswer = MMSYSERR_NOERROR;
        Replace("waveOutOpen", reinterpret_cast<void*>(FakeOpen));
        Replace("waveOutGetPosition", reinterpret_cast<void*>(FakePosition));
        Replace("waveOutPrepareHeader", reinterpret_cast<void*>(FakePrepare));
        Replace("waveOutUnprepareHeader", reinterpret_cast<void*>(FakeUnprepare));
        Replace("waveOutWrite", reinterpret_cast<void*>(FakeWrite));
        Replace("waveOutReset", reinterpret_cast<void*>(FakeReset));
        for (const char* f : { "waveOutPause", "waveOutRestart", "waveOutClose" })
            Replace(f, reinterpret_cast<void*>(FakeNothing));
    }
    ~StandInDevice()
    {
        for (const auto& r : m_replaced)
            ReplaceImport(::GetModuleHandleA(nullptr), "winmm.dll", r.first, r.second);
    }

private:
    void Replace(const char* function, void* fake)
    {
        void* previous = ReplaceImport(::GetModuleHandleA(nullptr), "winmm.dll", function, fake);
        ASSERT_NE(nullptr, previous) << function;
        m_replaced.push_back({ function, previous });
    }
    std::vector<std::pair<const char*, void*>> m_replaced;
};

