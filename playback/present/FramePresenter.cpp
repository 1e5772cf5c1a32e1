#include "playback/present/FramePresenter.h"

#include <cstdlib>
#include <cstring>

#include "playback/PlaybackRequest.h"
#include "settings/SettingsDlg.h"

namespace {

const float kBandLow = 1.32f;
const float kBandHigh = 1.34f;
const float kFourThirds = 1.3333334f;
const float kThreeQuarters = 0.75f;

}  // namespace

void CorrectAspect(DWORD* pWidth, DWORD* pHeight)
{
    float width = static_cast<float>(*pWidth);
    float height = static_cast<float>(*pHeight);
    if (height <= 0.0f)
        return;
    float ratio = width / height;
    if (ratio > kBandLow && ratio < kBandHigh) {
        if (*pWidth % 4 != 0)
            *pWidth = static_cast<DWORD>(height * kFourThirds);
        else
            *pHeight = static_cast<DWORD>(width * kThreeQuarters);
    }
}

RECT DisplayRect(DWORD width, DWORD height, UINT32 parX, UINT32 parY)
{
    RECT r = { 0, 0, static_cast<LONG>(width), static_cast<LONG>(height) };
    // Within a 1:16 to 16:1 range: beyond it the value is a broken header, not a camera's.
    if (parX && parY && parX != parY && parX <= 16ull * parY && parY <= 16ull * parX) {
        const ULONGLONG wide = (static_cast<ULONGLONG>(width) * parX + parY / 2) / parY;
        if (wide > 0 && wide <= 65536)
            r.right = static_cast<LONG>(wide);
    }
    return r;
}

HWND CooperativeWindow(HWND hWnd)
{
    return hWnd && (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD) ? nullptr : hWnd;
}

CFramePresenter::~CFramePresenter()
{
    if (m_primary)
        m_primary->SetClipper(nullptr);
    std::free(m_kept);
}

HRESULT CFramePresenter::Create(IDirectDraw* pDirectDraw, const PlaybackRequest& request, DWORD width, DWORD height,
                                UINT32 parX, UINT32 parY, LONG engine)
{
    const HWND hWnd = request.hWnd;
    m_hWnd = hWnd;
    m_preview = (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD) != 0;
    m_engine = engine;
    m_pDisplayChanges = request.pDisplayChanges;
    m_displayChanges = m_pDisplayChanges ? *m_pDisplayChanges : 0;
    m_monitors = GetMonitors();
    pDirectDraw->AddRef();
    m_directDraw.Release();
    *m_directDraw.Receive() = pDirectDraw;
    HRESULT hr = CreatePrimary();
    if (SUCCEEDED(hr))
        hr = SetFrame(width, height, parX, parY);
    return hr;
}

HRESULT CFramePresenter::CreatePrimary()
{
    if (m_primary)
        m_primary->SetClipper(nullptr);
    m_primary.Release();
    HRESULT hr = m_directDraw->CreateClipper(0, m_clipper.Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = m_clipper->SetHWnd(0, m_hWnd);

    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (SUCCEEDED(hr))
        hr = m_directDraw->CreateSurface(&desc, m_primary.Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = m_primary->SetClipper(m_clipper.Get());  // every blit stays inside the saver window
    return hr;
}

HRESULT CFramePresenter::SetFrame(DWORD width, DWORD height, UINT32 parX, UINT32 parY)
{
    m_frameWidth = width;
    m_frameHeight = height;
    m_parX = parX;
    m_parY = parY;
    CorrectAspect(&width, &height);
    m_sampleRect = RECT{ 0, 0, static_cast<LONG>(width), static_cast<LONG>(height) };
    m_displayRect = DisplayRect(width, height, parX, parY);
    return CreateOffscreen(width, height);
}

HRESULT CFramePresenter::CreateOffscreen(DWORD width, DWORD height)
{
    // No pixel format asked for: the display's own, which the engines fill.
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    HRESULT hr = m_directDraw->CreateSurface(&desc, m_offscreen.Receive(), nullptr);
    if (SUCCEEDED(hr))
        m_offscreenSize = SIZE{ static_cast<LONG>(width), static_cast<LONG>(height) };
    return hr;
}

HRESULT CFramePresenter::Resize(DWORD width, DWORD height, UINT32 parX, UINT32 parY)
{
    return m_directDraw ? SetFrame(width, height, parX, parY) : E_UNEXPECTED;
}

void CFramePresenter::ReleaseSurfaces()
{
    // The surfaces go first: they belong to the DirectDraw object.
    m_offscreen.Release();
    if (m_primary)
        m_primary->SetClipper(nullptr);
    m_primary.Release();
    m_clipper.Release();
    m_directDraw.Release();
}

HRESULT CFramePresenter::Rebuild()
{
    ReleaseSurfaces();
    m_areasTaken = false;
    HRESULT hr = ::DirectDrawCreate(nullptr, m_directDraw.Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = m_directDraw->SetCooperativeLevel(CooperativeWindow(m_hWnd), DDSCL_NORMAL);
    if (SUCCEEDED(hr))
        hr = CreatePrimary();
    // The offscreen surface at the size it had (an engine's final size, or the frame's).
    if (SUCCEEDED(hr))
        hr = m_offscreenSize.cx > 0 ? CreateOffscreen(m_offscreenSize.cx, m_offscreenSize.cy)
                                    : SetFrame(m_frameWidth, m_frameHeight, m_parX, m_parY);
    if (FAILED(hr))
        ReleaseSurfaces();  // no half-made set: every later call sees there is none
    m_monitors = GetMonitors();
    return hr;
}

HRESULT BlitToAreas(IDirectDrawSurface* pPrimary, IDirectDrawSurface* pFrame, const RECT& sampleRect,
                    const CSettingsDlg& geometry, const RECT* areas, int count, bool* pRestored)
{
    if (pRestored)
        *pRestored = false;
    bool shown = false, lost = false;
    HRESULT failure = S_OK;
    for (int i = 0; i < count; ++i) {
        RECT placed = sampleRect;
        geometry.CalcViewRect(areas[i], &placed);
        HRESULT hr = pPrimary->Blt(&placed, pFrame, nullptr, DDBLT_WAIT, nullptr);
        if (hr == DDERR_SURFACELOST)
            lost = true;
        else if (FAILED(hr))
            failure = hr;  // a monitor it cannot reach: the others still get the frame
        else
            shown = true;
    }
    if (lost) {
        // Surfaces made in another display mode can never be restored: made anew instead.
        if (pPrimary->Restore() == DDERR_WRONGMODE)
            return DDERR_WRONGMODE;
        const HRESULT restored = pFrame->Restore();
        if (restored == DDERR_WRONGMODE)
            return DDERR_WRONGMODE;
        if (pRestored)
            *pRestored = SUCCEEDED(restored);
    }
    if (shown)
        return S_OK;
    return lost || SUCCEEDED(failure) ? S_FALSE : failure;
}

int CFramePresenter::LookUpAreas(RECT* areas)
{
    if (m_pDisplayChanges && *m_pDisplayChanges != m_displayChanges) {
        m_displayChanges = *m_pDisplayChanges;
        m_monitors = GetMonitors();  // a monitor added, removed or moved
    }
    ScreenMetrics metrics = {};
    metrics.cxPrimary = ::GetSystemMetrics(SM_CXSCREEN);
    metrics.cyPrimary = ::GetSystemMetrics(SM_CYSCREEN);
    return ViewAreas(ClientOnScreen(m_hWnd), !m_preview, metrics, m_monitors, areas, kMaxMonitors);
}

HRESULT CFramePresenter::FinalSizeSurface(const CSettingsDlg& geometry, IDirectDrawSurface** ppSurface)
{
    if (!m_directDraw)
        return DDERR_WRONGMODE;  // a Rebuild that failed
    m_areaCount = LookUpAreas(m_areas);
    m_areasTaken = true;
    if (m_areaCount == 0)
        return S_FALSE;
    RECT placed = m_displayRect;
    geometry.CalcViewRect(m_areas[0], &placed);
    const LONG width = placed.right - placed.left, height = placed.bottom - placed.top;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return S_FALSE;
    if (!m_offscreen || width != m_offscreenSize.cx || height != m_offscreenSize.cy) {
        const HRESULT hr = CreateOffscreen(width, height);
        if (FAILED(hr))
            return hr;
    }
    *ppSurface = m_offscreen.Get();
    return S_OK;
}

HRESULT CFramePresenter::Present(const CSettingsDlg& geometry)
{
    m_restored = false;
    if (!m_primary || !m_offscreen) {
        m_areasTaken = false;
        return DDERR_WRONGMODE;  // a Rebuild that failed
    }
    RECT looked[kMaxMonitors];
    const RECT* areas = m_areas;
    int count = m_areaCount;
    if (!m_areasTaken) {
        count = LookUpAreas(looked);
        areas = looked;
    }
    m_areasTaken = false;
    HRESULT hr = BlitToAreas(m_primary.Get(), m_offscreen.Get(), m_displayRect, geometry, areas, count, &m_restored);
    if (hr == S_OK) {
        ++g_playbackCounters.framesShown;
        g_playbackCounters.engine = m_engine;
    }
    return hr;
}

void CFramePresenter::Hold(const CSettingsDlg& geometry, const volatile LONG* pPlaying)
{
    KeepFrame();
    const DWORD step = 10, every = 250;
    for (DWORD waited = 0; *pPlaying; waited += step) {
        if (waited >= every) {
            waited = 0;
            const HRESULT hr = Present(geometry);
            // New surfaces, or restored ones, hold no picture: the kept one goes back in.
            // A Rebuild that fails is tried again at the next turn.
            if ((hr == DDERR_WRONGMODE && SUCCEEDED(Rebuild())) || m_restored) {
                PutBackFrame();
                Present(geometry);
            }
        }
        ::Sleep(step);
    }
}

void CFramePresenter::KeepFrame()
{
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    if (!m_offscreen || FAILED(m_offscreen->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr)))
        return;
    const DWORD rowBytes = desc.dwWidth * (desc.ddpfPixelFormat.dwRGBBitCount / 8);
    const ULONGLONG bytes = static_cast<ULONGLONG>(rowBytes) * desc.dwHeight;
    BYTE* kept = bytes && bytes < 0x10000000 ? static_cast<BYTE*>(std::realloc(m_kept, static_cast<size_t>(bytes)))
                                             : nullptr;
    if (kept) {
        m_kept = kept;
        m_keptRowBytes = rowBytes;
        m_keptRows = desc.dwHeight;
        m_keptFormat = desc.ddpfPixelFormat;
        const BYTE* row = static_cast<const BYTE*>(desc.lpSurface);
        for (DWORD y = 0; y < desc.dwHeight; ++y, row += desc.lPitch)
            std::memcpy(m_kept + y * rowBytes, row, rowBytes);
    }
    m_offscreen->Unlock(nullptr);
}

void CFramePresenter::PutBackFrame()
{
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    if (!m_kept || !m_offscreen || FAILED(m_offscreen->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr)))
        return;
    // Only into a surface of the same size and format (a mode of another depth: black).
    if (desc.dwHeight == m_keptRows && desc.dwWidth * (desc.ddpfPixelFormat.dwRGBBitCount / 8) == m_keptRowBytes &&
        std::memcmp(&desc.ddpfPixelFormat, &m_keptFormat, sizeof(m_keptFormat)) == 0) {
        BYTE* row = static_cast<BYTE*>(desc.lpSurface);
        for (DWORD y = 0; y < m_keptRows; ++y, row += desc.lPitch)
            std::memcpy(row, m_kept + y * m_keptRowBytes, m_keptRowBytes);
    }
    m_offscreen->Unlock(nullptr);
}
