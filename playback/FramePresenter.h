// Puts decoded frames on the screen: an offscreen surface that an engine fills, blitted
// onto the clipped primary surface into the rectangle the view size option gives.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include "playback/ComPtr.h"

class CSettingsDlg;

class CFramePresenter {
public:
    CFramePresenter() = default;
    ~CFramePresenter();
    CFramePresenter(const CFramePresenter&) = delete;
    CFramePresenter& operator=(const CFramePresenter&) = delete;

    // A clipper on the window, the primary surface and an offscreen surface of the frame
    // size (after the 4:3 correction) in the display's own pixel format. engine (1 or 2)
    // is what the counters report for the frames shown.
    HRESULT Create(IDirectDraw* pDirectDraw, HWND hWnd, DWORD width, DWORD height, LONG engine);

    IDirectDrawSurface* Offscreen() const { return m_offscreen.Get(); }
    const RECT& SampleRect() const { return m_sampleRect; }

    // Stretches the whole offscreen surface into the placed rectangle of the saver
    // window's view area (taken anew for every frame, so a moved preview is followed).
    // S_OK: shown. S_FALSE: the surfaces were lost and are restored; this frame is not
    // shown. A failure ends the pass.
    HRESULT Present(const CSettingsDlg& geometry);

private:
    HWND m_hWnd = nullptr;
    LONG m_engine = 0;
    RECT m_sampleRect = {};
    ComPtr<IDirectDrawClipper> m_clipper;
    ComPtr<IDirectDrawSurface> m_primary;
    ComPtr<IDirectDrawSurface> m_offscreen;
};

// Frame sizes within 1.32 < width/height < 1.34 are made exactly 4:3.
void CorrectAspect(DWORD* pWidth, DWORD* pHeight);
