#include "playback/FramePresenter.h"

#include "playback/PlaybackRequest.h"
#include "settings/SettingsDlg.h"

PlaybackCounters g_playbackCounters = { 0, 0, 0 };

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

CFramePresenter::~CFramePresenter()
{
    if (m_primary)
        m_primary->SetClipper(nullptr);
}

HRESULT CFramePresenter::Create(IDirectDraw* pDirectDraw, const PlaybackRequest& request, DWORD width, DWORD height,
                                LONG engine)
{
    const HWND hWnd = request.hWnd;
    m_pDirectDraw = pDirectDraw;
    m_hWnd = hWnd;
    m_preview = (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD) != 0;
    m_engine = engine;
    m_pDisplayChanges = request.pDisplayChanges;
    m_displayChanges = m_pDisplayChanges ? *m_pDisplayChanges : 0;
    m_monitors = GetMonitors();
    CorrectAspect(&width, &height);
    m_sampleRect = RECT{ 0, 0, static_cast<LONG>(width), static_cast<LONG>(height) };

    HRESULT hr = pDirectDraw->CreateClipper(0, m_clipper.Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = m_clipper->SetHWnd(0, hWnd);

    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (SUCCEEDED(hr))
        hr = pDirectDraw->CreateSurface(&desc, m_primary.Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = m_primary->SetClipper(m_clipper.Get());  // every blit stays inside the saver window

    if (SUCCEEDED(hr))
        hr = CreateOffscreen(width, height);
    return hr;
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
    HRESULT hr = m_pDirectDraw->CreateSurface(&desc, m_offscreen.Receive(), nullptr);
    if (SUCCEEDED(hr))
        m_offscreenSize = SIZE{ static_cast<LONG>(width), static_cast<LONG>(height) };
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
        pPrimary->Restore();
        pFrame->Restore();
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
    RECT placed = m_sampleRect;
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
    HRESULT hr = BlitToAreas(m_primary.Get(), m_offscreen.Get(), m_sampleRect, geometry, areas, count);
    if (hr == S_OK) {
        ++g_playbackCounters.framesShown;
        g_playbackCounters.engine = m_engine;
    }
    return hr;
}
