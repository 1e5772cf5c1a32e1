#include "playback/FramePresenter.h"

#include "playback/PlaybackRequest.h"
#include "settings/SettingsDlg.h"

PlaybackCounters g_playbackCounters = { 0, 0, 0 };

namespace {

const float kBandLow = 1.32f;
const float kBandHigh = 1.34f;
const float kFourThirds = 1.3333334f;
const float kThreeQuarters = 0.75f;

// The saver window's client area on the screen, clipped to the screen.
RECT ViewArea(HWND hWnd)
{
    RECT client;
    ::GetClientRect(hWnd, &client);
    ::ClientToScreen(hWnd, reinterpret_cast<POINT*>(&client.left));
    ::ClientToScreen(hWnd, reinterpret_cast<POINT*>(&client.right));
    RECT screen = { 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN) };
    RECT area;
    if (!::IntersectRect(&area, &client, &screen))
        area = RECT{ client.left, client.top, client.left, client.top };
    return area;
}

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

HRESULT CFramePresenter::Create(IDirectDraw* pDirectDraw, HWND hWnd, DWORD width, DWORD height, LONG engine)
{
    m_hWnd = hWnd;
    m_engine = engine;
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

    if (SUCCEEDED(hr)) {
        // No pixel format asked for: the display's own, which the engines fill.
        desc = DDSURFACEDESC();
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
        desc.dwWidth = width;
        desc.dwHeight = height;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        hr = pDirectDraw->CreateSurface(&desc, m_offscreen.Receive(), nullptr);
    }
    return hr;
}

HRESULT CFramePresenter::Present(const CSettingsDlg& geometry)
{
    RECT area = ViewArea(m_hWnd);
    RECT placed = m_sampleRect;
    geometry.CalcViewRect(area, &placed);
    HRESULT hr = m_primary->Blt(&placed, m_offscreen.Get(), nullptr, DDBLT_WAIT, nullptr);
    if (hr == DDERR_SURFACELOST) {
        m_primary->Restore();
        m_offscreen->Restore();
        return S_FALSE;
    }
    if (FAILED(hr))
        return hr;
    ++g_playbackCounters.framesShown;
    g_playbackCounters.engine = m_engine;
    return S_OK;
}
