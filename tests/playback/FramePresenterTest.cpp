// The 4:3 correction of frame sizes, the blits to every monitor's view area, and the copy
// of decoded frames into surfaces of each display format.
#include <gtest/gtest.h>

#include <vector>

#include "playback/present/FrameCopy.h"
#include "playback/present/FramePresenter.h"
#include "playback/PlaybackRequest.h"
#include "common/TestSupport.h"
#include "StandIns.h"
#include "settings/SettingsDlg.h"

namespace {
struct Case {
    DWORD w, h, expectW, expectH;
};
}  // namespace

TEST(CorrectAspect, OnlyFramesJustOffFourThirdsAreCorrected)
{
    const Case cases[] = {
        { 352, 264, 352, 264 },   // exactly 4:3
        { 354, 266, 354, 266 },   // 1.331, width not a multiple of 4: 266 x 4/3 = 354.67
        { 360, 271, 360, 270 },   // 1.328, width a multiple of 4: 360 x 3/4
        { 362, 271, 361, 271 },   // 1.336, width not a multiple of 4: 271 x 4/3 = 361.33
        { 640, 480, 640, 480 },
        { 720, 480, 720, 480 },   // 1.5: outside the band
        { 1320, 1000, 1320, 1000 },  // 1.32 itself is outside (the band is open)
        { 1340, 1000, 1340, 1000 },
        { 0, 0, 0, 0 },           // an empty format must not divide by zero
        { 320, 0, 320, 0 },
    };
    for (const Case& c : cases) {
        DWORD w = c.w, h = c.h;
        CorrectAspect(&w, &h);
        EXPECT_EQ(c.expectW, w) << c.w << "x" << c.h;
        EXPECT_EQ(c.expectH, h) << c.w << "x" << c.h;
    }
}

TEST(DisplayRect, FramesAreWidenedByTheirPixelAspectRatio)
{
    const struct {
        DWORD w, h;
        UINT32 parX, parY;
        LONG displayW;
    } cases[] = {
        { 720, 576, 64, 45, 1024 },   // 16:9 PAL
        { 720, 576, 16, 15, 768 },    // 4:3 PAL
        { 1440, 1080, 4, 3, 1920 },   // HDV
        { 720, 480, 8, 9, 640 },      // 4:3 NTSC: narrower
        { 320, 240, 1, 1, 320 },
        { 320, 240, 0, 0, 320 },      // none named
        { 320, 240, 1, 0, 320 },
        { 320, 240, 100, 1, 320 },    // beyond any camera's: a broken header
        { 0, 0, 64, 45, 0 },
    };
    for (const auto& c : cases) {
        const RECT r = DisplayRect(c.w, c.h, c.parX, c.parY);
        EXPECT_EQ(c.displayW, r.right) << c.w << "x" << c.h << " " << c.parX << ":" << c.parY;
        EXPECT_EQ(static_cast<LONG>(c.h), r.bottom);
        EXPECT_EQ(0, r.left);
        EXPECT_EQ(0, r.top);
    }
}

namespace {

std::string Text(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

}  // namespace

TEST(BlitToAreas, EveryMonitorGetsThePictureAndAFailedOneIsSkipped)
{
    // A 320 x 240 clip, original size and full screen, on a 1024 x 768 primary monitor
    // with an 800 x 600 one on its right.
    const RECT sample = { 0, 0, 320, 240 };
    const RECT areas[] = { { 0, 0, 1024, 768 }, { 1024, 0, 1824, 600 } };
    CSettingsDlg geometry;
    const struct {
        int option;
        RECT placed[2];
    } placements[] = {
        { 1, { { 352, 264, 672, 504 }, { 1264, 180, 1584, 420 } } },
        { 2, { { 0, 0, 1024, 768 }, { 1024, 0, 1824, 600 } } },
    };
    for (const auto& p : placements) {
        SCOPED_TRACE(p.option);
        geometry.m_nViewSizeOption = p.option;
        const struct {
            const char* what;
            int monitor;      // whose blit is answered with refusal
            HRESULT refusal;
            HRESULT result;
            int restores;
        } cases[] = {
            { "both blits work", 1, DD_OK, S_OK, 0 },
            { "a monitor it cannot reach", 1, DDERR_INVALIDRECT, S_OK, 0 },
            { "the first monitor it cannot reach", 0, DDERR_INVALIDRECT, S_OK, 0 },
            { "surfaces lost there", 1, DDERR_SURFACELOST, S_OK, 1 },
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            StandInSurface primary, frame;
            primary.refused = p.placed[c.monitor];
            primary.refusal = c.refusal;
            EXPECT_EQ(c.result, BlitToAreas(&primary, &frame, sample, geometry, areas, 2));
            ASSERT_EQ(2u, primary.blits.size());
            for (int i = 0; i < 2; ++i)
                EXPECT_EQ(Text(p.placed[i]), Text(primary.blits[i]));
            EXPECT_EQ(c.restores, primary.restores);
            EXPECT_EQ(c.restores, frame.restores);
        }
    }
    // One monitor, as before: a failed blit ends the pass, a lost surface skips the frame.
    geometry.m_nViewSizeOption = 2;
    StandInSurface primary, frame;
    primary.refused = areas[0];
    primary.refusal = DDERR_INVALIDRECT;
    EXPECT_EQ(DDERR_INVALIDRECT, BlitToAreas(&primary, &frame, sample, geometry, areas, 1));
    primary.refusal = DDERR_SURFACELOST;
    EXPECT_EQ(S_FALSE, BlitToAreas(&primary, &frame, sample, geometry, areas, 1));
    EXPECT_EQ(S_FALSE, BlitToAreas(&primary, &frame, sample, geometry, areas, 0));  // off every screen
    // Surfaces made before a display mode change can never be restored: the caller makes
    // DirectDraw and the surfaces anew, rather than failing every later frame.
    primary.restoreResult = DDERR_WRONGMODE;
    EXPECT_EQ(DDERR_WRONGMODE, BlitToAreas(&primary, &frame, sample, geometry, areas, 1));
}

// A display change between two frames: the next frame goes onto the monitors there are
// then (here the only monitor moves from the screen's left half to its right half). And a
// frame is placed by its display size.
TEST(FramePresenter, MonitorsThatChangeBetweenTwoFramesAreTakenUpAtTheNextAndFramesHaveTheirDisplaySize)
{
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "LumaspirePresenterTest";
    ::RegisterClassA(&wc);
    HWND hWnd = ::CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, w, h, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hWnd);
    ::UpdateWindow(hWnd);
    PumpFor(300);
    auto colourAt = [](int x, int y) {
        PumpFor(200);  // Wine puts the window's surface on the screen when it pumps
        HDC hdc = ::GetDC(nullptr);
        COLORREF c = ::GetPixel(hdc, x, y);
        ::ReleaseDC(nullptr, hdc);
        return c & 0xFFFFFF;
    };

    StandInMonitors monitors({ { 0, 0, w / 2, h } });
    ASSERT_TRUE(monitors.Active());
    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DD_OK, ::DirectDrawCreate(nullptr, &dd, nullptr));
    ASSERT_EQ(DD_OK, dd->SetCooperativeLevel(hWnd, DDSCL_NORMAL));
    CSettingsDlg geometry;
    geometry.m_nViewSizeOption = 2;  // full screen: the whole monitor
    volatile LONG playing = 1, displayChanges = 0;
    const PlaybackRequest request = { hWnd, "", 0, 0, false, false, true, false,
                                      &geometry, &playing, &displayChanges, nullptr, nullptr };
    {
        CFramePresenter presenter;
        ASSERT_EQ(DD_OK, presenter.Create(dd, request, 64, 48, 0, 0, 1));
        DDBLTFX fill = {};
        fill.dwSize = sizeof(fill);
        fill.dwFillColor = 0xFFFFFFFF;  // white in any format
        ASSERT_EQ(DD_OK, presenter.Offscreen()->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill));

        ASSERT_EQ(S_OK, presenter.Present(geometry));
        EXPECT_EQ(0xFFFFFFu, colourAt(w / 4, h / 2)) << "the first frame on the monitor at the left";
        EXPECT_EQ(0u, colourAt(3 * w / 4, h / 2)) << "and nothing beside it";

        monitors.Set({ { w / 2, 0, w, h } });
        ::InterlockedIncrement(const_cast<LONG*>(&displayChanges));
        ASSERT_EQ(S_OK, presenter.Present(geometry));
        EXPECT_EQ(0xFFFFFFu, colourAt(3 * w / 4, h / 2)) << "the next frame on the monitor at the right";
    }
    {
        // A 16:9 PAL frame (pixels 64:45) that the engine draws at its final size: at
        // original size the surface is its display size, not the frame's 720 x 576.
        monitors.Set({ { 0, 0, w, h } });
        ::InterlockedIncrement(const_cast<LONG*>(&displayChanges));
        geometry.m_nViewSizeOption = 1;
        CFramePresenter presenter;
        ASSERT_EQ(DD_OK, presenter.Create(dd, request, 720, 576, 64, 45, 2));
        IDirectDrawSurface* surface = nullptr;
        ASSERT_EQ(S_OK, presenter.FinalSizeSurface(geometry, &surface));
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof(desc);
        ASSERT_EQ(DD_OK, surface->GetSurfaceDesc(&desc));
        EXPECT_EQ(1024u, desc.dwWidth);  // on the 1024 x 768 test screen
        EXPECT_EQ(576u, desc.dwHeight);
    }
    dd->Release();
    ::DestroyWindow(hWnd);
}

// A held still as Windows treats its surfaces: lost (a consent prompt, a locked
// workstation) and given back empty by Restore, or left behind by a display mode change
// whose Rebuild fails at first (a desktop switch). The picture comes back each time,
// nothing reaches a released object, and the new DirectDraw gets its cooperative level
// for the saver's window (none for the preview's child window).
TEST(FramePresenter, AHeldStillComesBackAfterALostSurfaceOrAModeChangeWhoseRebuildFailsFirst)
{
    HWND hWnd = ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr, nullptr,
                                  nullptr);
    ASSERT_NE(nullptr, hWnd);
    HWND hChild = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 160, 120, hWnd, nullptr, nullptr,
                                    nullptr);
    ASSERT_NE(nullptr, hChild);
    CSettingsDlg geometry;
    geometry.m_nViewSizeOption = 2;
    enum Event { kLost, kWrongMode };
    const struct {
        const char* what;
        HWND window;
        Event event;
        int failCreates;   // DirectDrawCreate fails so often first
        int failSurfaces;  // the first new DirectDraw's CreateSurface, so often
        int creates;       // DirectDraw objects asked for in all
    } cases[] = {
        { "surfaces lost, restored empty", hWnd, kLost, 0, 0, 0 },
        { "a mode change, DirectDraw not made at once", hWnd, kWrongMode, 1, 0, 2 },
        { "a mode change, the primary surface not made at once", hWnd, kWrongMode, 0, 1, 2 },
        { "a mode change in the preview", hChild, kWrongMode, 0, 0, 1 },
    };
    const DWORD white = 0xFFFFFF;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandInDirectDrawCreate creation;
        ASSERT_TRUE(creation.Active());
        creation.failCreates = c.failCreates;
        volatile LONG playing = 1;
        int blits = 0;
        StandInDirectDraw first;
        // Every primary surface, the first and those made anew: the event after the first
        // blit (the frame's surface is lost with the primary), the stop after the fifth.
        auto watch = [&](StandInSurface* primary) {
            primary->afterBlit = [&, primary](int) {
                if (++blits == 1) {
                    if (c.event == kLost)
                        primary->lost = first.offscreen->lost = true;
                    else
                        primary->answer = DDERR_WRONGMODE;
                }
                if (blits >= 5)
                    playing = 0;
            };
        };
        first.madePrimary = watch;
        int made = 0;
        creation.setUp = [&](StandInDirectDraw* dd) {
            dd->failSurfaces = made++ == 0 ? c.failSurfaces : 0;
            dd->madePrimary = watch;
        };
        const PlaybackRequest request = { c.window, "", 0, 0, false, false, true, true, &geometry, &playing, nullptr,
                                          nullptr, nullptr };
        CFramePresenter presenter;
        ASSERT_EQ(DD_OK, presenter.Create(&first, request, 64, 48, 0, 0, 1));
        std::fill(first.offscreen->pixels.begin(), first.offscreen->pixels.end(), white);
        presenter.Hold(geometry, &playing);
        EXPECT_EQ(c.creates, creation.creates);
        StandInDirectDraw& last = creation.made.empty() ? first : *creation.made.back();
        ASSERT_NE(nullptr, last.primary);
        ASSERT_FALSE(last.primary->shown.empty()) << "nothing shown on the last primary surface";
        EXPECT_EQ(white, last.primary->shown.back()) << "the held picture did not come back";
        if (c.creates > 0) {
            EXPECT_EQ(std::vector<HWND>{ c.window == hChild ? nullptr : hWnd }, last.cooperativeWindows);
        }
    }
    ::DestroyWindow(hWnd);
}

// A frame, or a placed picture, whose height changes and width does not gets a surface of
// its new height.
TEST(FramePresenter, ANewFrameHeightGetsASurfaceOfThatHeight)
{
    HWND hWnd = ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr, nullptr,
                                  nullptr);
    CSettingsDlg geometry;
    geometry.m_nViewSizeOption = 1;  // original size: the surface is the frame's size
    volatile LONG playing = 1;
    const PlaybackRequest request = { hWnd, "", 0, 0, false, false, true, false, &geometry, &playing, nullptr, nullptr,
                                      nullptr };
    StandInDirectDraw directDraw;
    CFramePresenter presenter;
    ASSERT_EQ(DD_OK, presenter.Create(&directDraw, request, 64, 48, 0, 0, 2));
    IDirectDrawSurface* surface = nullptr;
    ASSERT_EQ(S_OK, presenter.FinalSizeSurface(geometry, &surface));
    EXPECT_EQ(48u, static_cast<StandInSurface*>(surface)->height);
    ASSERT_EQ(DD_OK, presenter.Resize(64, 96, 0, 0));
    EXPECT_EQ(96u, static_cast<StandInSurface*>(presenter.Offscreen())->height);
    ASSERT_EQ(S_OK, presenter.FinalSizeSurface(geometry, &surface));
    EXPECT_EQ(96u, static_cast<StandInSurface*>(surface)->height);
    EXPECT_EQ(64u, static_cast<StandInSurface*>(surface)->width);
    // A custom size of the same width and another height: a new surface.
    geometry.m_nViewSizeOption = 0;
    geometry.m_nCustomWidth = 200;
    geometry.m_nCustomHeight = 100;
    ASSERT_EQ(S_OK, presenter.FinalSizeSurface(geometry, &surface));
    EXPECT_EQ(100u, static_cast<StandInSurface*>(surface)->height);
    geometry.m_nCustomHeight = 150;
    ASSERT_EQ(S_OK, presenter.FinalSizeSurface(geometry, &surface));
    EXPECT_EQ(200u, static_cast<StandInSurface*>(surface)->width);
    EXPECT_EQ(150u, static_cast<StandInSurface*>(surface)->height);
    ::DestroyWindow(hWnd);
}

TEST(CopyFrameToSurface, EveryDisplayFormatGetsTheSameColours)
{
    // Two pixels a row, two rows: red, green / blue, white, as blue-green-red-x bytes; the
    // same frame bottom-up is its second row first, with a negative pitch.
    const BYTE frame[] = { 0, 0, 255, 0, 0, 255, 0, 0, /**/ 255, 0, 0, 0, 255, 255, 255, 0 };
    const FrameImage topDown = { frame, 8, 2, 2 }, bottomUp = { frame + 8, -8, 2, 2 };
    const struct {
        const FrameImage& image;
        DWORD bits, r, g, b, width;  // surface rows are 8 bytes apart, 2 high
        std::vector<BYTE> expected;  // empty: the format is refused
    } cases[] = {
        { topDown, 32, 0xFF0000, 0xFF00, 0xFF, 2, { 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0 } },
        { topDown, 32, 0xFF, 0xFF00, 0xFF0000, 2, { 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 255, 255, 255, 0 } },
        { topDown, 24, 0xFF0000, 0xFF00, 0xFF, 2, { 0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0 } },
        { topDown, 16, 0xF800, 0x07E0, 0x1F, 2, { 0x00, 0xF8, 0xE0, 0x07, 0, 0, 0, 0, 0x1F, 0x00, 0xFF, 0xFF, 0, 0, 0, 0 } },
        { topDown, 16, 0x7C00, 0x03E0, 0x1F, 2, { 0x00, 0x7C, 0xE0, 0x03, 0, 0, 0, 0, 0x1F, 0x00, 0xFF, 0x7F, 0, 0, 0, 0 } },
        // Bottom-up into a surface narrower than the frame: blue over red, nothing beyond.
        { bottomUp, 32, 0xFF0000, 0xFF00, 0xFF, 1, { 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0 } },
        { topDown, 8, 0, 0, 0, 2, {} },  // 256 colours
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        std::vector<BYTE> pixels(16, 0);
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof(desc);
        desc.dwWidth = c.width;
        desc.dwHeight = 2;
        desc.lPitch = 8;
        desc.lpSurface = pixels.data();
        desc.ddpfPixelFormat.dwFlags = DDPF_RGB | (c.bits == 8 ? DDPF_PALETTEINDEXED8 : 0);
        desc.ddpfPixelFormat.dwRGBBitCount = c.bits;
        desc.ddpfPixelFormat.dwRBitMask = c.r;
        desc.ddpfPixelFormat.dwGBitMask = c.g;
        desc.ddpfPixelFormat.dwBBitMask = c.b;
        EXPECT_EQ(!c.expected.empty(), CopyFrameToSurface(c.image, desc));
        if (!c.expected.empty()) {
            EXPECT_EQ(c.expected, pixels);
        }
    }
}
