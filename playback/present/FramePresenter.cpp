#include "playback/present/FramePresenter.h"

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

CFramePresenter::~CFramePresenter()
{
    if (m_primary)
        m_primary->SetClipper(nullptr);
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
    m_offscreenSize = SIZE{ 0, 0 };
    HRESULT hr = m_directDraw->CreateSurface(&desc, m_offscreen.Receive(), nullptr);
    if (SUCCEEDED(hr))
        m_offscreenSize = SIZE{ static_cast<LONG>(width), static_cast<LONG>(height) };
    return hr;
}

HRESULT CFramePresenter::Resize(DWORD width, DWORD height, UINT32 parX, UINT32 parY)
{
    return m_directDraw ? SetFrame(width, height, parX, parY) : E_UNEXPECTED;
}

HRESULT CFramePresenter::Rebuild()
{
    // The old surfaces go first: they belong to the old mode's DirectDraw.
    m_offscreen.Release();
    if (m_primary)
        m_primary->SetClipper(nullptr);
    m_primary.Release();
    m_clipper.Release();
    m_directDraw.Release();
    HRESULT hr = ::DirectDrawCreate(nullptr, m_directDraw.Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = m_directDraw->SetCooperativeLevel(m_hWnd, DDSCL_NORMAL);
    if (SUCCEEDED(hr))
        hr = CreatePrimary();
    if (SUCCEEDED(hr))
        hr = SetFrame(m_frameWidth, m_frameHeight, m_parX, m_parY);
    m_monitors = GetMonitors();
    return hr;
}

HRESULT BlitToAreas(IDirectDrawSurface* pPrimary, IDirectDrawSurface* pFrame, const RECT& sampleRect,
                    const CSettingsDlg& geometry, const RECT* areas, int count)
{
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
        if (pPrimary->Restore() == DDERR_WRONGMODE || pFrame->Restore() == DDERR_WRONGMODE)
            return DDERR_WRONGMODE;
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
    RECT looked[kMaxMonitors];
    const RECT* areas = m_areas;
    int count = m_areaCount;
    if (!m_areasTaken) {
        count = LookUpAreas(looked);
        areas = looked;
    }
    m_areasTaken = false;
    HRESULT hr = BlitToAreas(m_primary.Get(), m_offscreen.Get(), m_displayRect, geometry, areas, count);
    if (hr == S_OK) {
        ++g_playbackCounters.framesShown;
        g_playbackCounters.engine = m_engine;
    }
    return hr;
}

void CFramePresenter::Hold(const CSettingsDlg& geometry, const volatile LONG* pPlaying)
{
    const DWORD step = 10, every = 250;
    for (DWORD waited = 0; *pPlaying; waited += step) {
        if (waited >= every) {
            waited = 0;
            if (Present(geometry) == DDERR_WRONGMODE)
                Rebuild();  // the frame is lost with the old surfaces: black, not a fault
        }
        ::Sleep(step);
    }
}
