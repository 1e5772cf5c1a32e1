// Puts decoded frames on the screen: an offscreen surface that an engine fills, blitted
// onto the clipped primary surface into the rectangle the view size option gives.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include "support/ScreenArea.h"
#include "support/Scoped.h"

class CSettingsDlg;
struct PlaybackRequest;

class CFramePresenter {
public:
    CFramePresenter() = default;
    ~CFramePresenter();
    CFramePresenter(const CFramePresenter&) = delete;
    CFramePresenter& operator=(const CFramePresenter&) = delete;

    // A clipper on the request's window, the primary surface and an offscreen surface of
    // the frame size (after the 4:3 correction) in the display's own pixel format; the
    // picture is placed by its display size, the frame widened by its pixel aspect ratio
    // (parX:parY, 0 when unknown). engine (1 or 2) is what the counters report for the
    // frames shown.
    HRESULT Create(IDirectDraw* pDirectDraw, const PlaybackRequest& request, DWORD width, DWORD height, UINT32 parX,
                   UINT32 parY, LONG engine);
    // A new offscreen surface for a frame size that changed mid-stream.
    HRESULT Resize(DWORD width, DWORD height, UINT32 parX, UINT32 parY);
    // After a display mode change (DDERR_WRONGMODE): DirectDraw and every surface anew.
    // Where that fails (Windows during a desktop switch, a secure desktop, a remote session
    // change or a driver reset) nothing is held, and Present and FinalSizeSurface answer
    // DDERR_WRONGMODE until a Rebuild succeeds.
    HRESULT Rebuild();

    IDirectDrawSurface* Offscreen() const { return m_offscreen.Get(); }
    const RECT& SampleRect() const { return m_sampleRect; }

    // For an engine that draws each frame at its final size: the offscreen surface, made
    // anew whenever the first view area's placed rectangle takes another size, so that
    // its blit is 1:1 (other monitors of another size stretch it). Looks the view areas
    // up for this frame's Present. S_FALSE: no view area on any screen.
    HRESULT FinalSizeSurface(const CSettingsDlg& geometry, IDirectDrawSurface** ppSurface);

    // Stretches the whole offscreen surface into the placed rectangle of each of the saver
    // window's view areas, one per monitor (taken anew for every frame, so a moved preview
    // is followed). S_OK: shown. S_FALSE: not shown (the surfaces were lost and are
    // restored, or the window is off the screen). DDERR_WRONGMODE: the display mode changed
    // (Rebuild). Any other failure ends the pass.
    HRESULT Present(const CSettingsDlg& geometry);
    // Shows the frame it holds again every few hundred milliseconds until *pPlaying is
    // cleared: a still picture that a repaint of the window cannot wipe out, and that
    // comes back after its surface was lost or the display mode changed.
    void Hold(const CSettingsDlg& geometry, const volatile LONG* pPlaying);

private:
    // The offscreen surface's pixels, copied into memory and back: a restored surface has
    // lost them (Restore reloads nothing), and so has one made anew.
    void KeepFrame();
    void PutBackFrame();
    void ReleaseSurfaces();
    int LookUpAreas(RECT* areas);
    // Takes the frame's shape and makes the offscreen surface at its size.
    HRESULT SetFrame(DWORD width, DWORD height, UINT32 parX, UINT32 parY);
    HRESULT CreateOffscreen(DWORD width, DWORD height);
    HRESULT CreatePrimary();

    HWND m_hWnd = nullptr;
    bool m_preview = false;
    LONG m_engine = 0;
    const volatile LONG* m_pDisplayChanges = nullptr;
    LONG m_displayChanges = 0;
    MonitorList m_monitors = {};
    RECT m_sampleRect = {};
    RECT m_displayRect = {};
    DWORD m_frameWidth = 0, m_frameHeight = 0;  // as the engine gave them
    UINT32 m_parX = 0, m_parY = 0;
    ComPtr<IDirectDraw> m_directDraw;
    SIZE m_offscreenSize = {};  // the offscreen surface's, or the last one's (Rebuild)
    // The view areas FinalSizeSurface looked up for the frame Present shows next.
    RECT m_areas[kMaxMonitors] = {};
    int m_areaCount = 0;
    bool m_areasTaken = false;
    ComPtr<IDirectDrawClipper> m_clipper;
    ComPtr<IDirectDrawSurface> m_primary;
    ComPtr<IDirectDrawSurface> m_offscreen;
    // Set by Present when it restored lost surfaces.
    bool m_restored = false;
    // The frame KeepFrame copied: rows of m_keptRowBytes in the offscreen surface's format.
    BYTE* m_kept = nullptr;
    DWORD m_keptRowBytes = 0, m_keptRows = 0;
    DDPIXELFORMAT m_keptFormat = {};
};

// The window DirectDraw's SetCooperativeLevel is given for it: the window itself where it
// is a top-level one, none (NULL, with DDSCL_NORMAL) for a child such as the preview.
HWND CooperativeWindow(HWND hWnd);

// One blit of the frame into each area's placed rectangle. A monitor whose blit fails is
// skipped for this frame; lost surfaces are restored after the others had their blit.
// S_OK when some area showed the frame, S_FALSE when none did but nothing failed for good
// (lost surfaces, no area), DDERR_WRONGMODE when the surfaces belong to an old display
// mode, else the error of the failed blits. sampleRect is the frame's display size.
// *pRestored (when given) says whether the frame's surface was restored, its pixels lost.
HRESULT BlitToAreas(IDirectDrawSurface* pPrimary, IDirectDrawSurface* pFrame, const RECT& sampleRect,
                    const CSettingsDlg& geometry, const RECT* areas, int count, bool* pRestored = nullptr);

// Frame sizes within 1.32 < width/height < 1.34 are made exactly 4:3.
void CorrectAspect(DWORD* pWidth, DWORD* pHeight);

// The size a frame is shown at: its width times the pixel aspect ratio parX:parY (none
// or a nonsensical one: square pixels).
RECT DisplayRect(DWORD width, DWORD height, UINT32 parX, UINT32 parY);
