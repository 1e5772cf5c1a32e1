#include "playback/ClipSaverWnd.h"

#include <ddraw.h>

#include "app/ClipSaverApp.h"
#include "support/ScreenArea.h"
#include "playback/ComPtr.h"
#include "playback/StreamPlayer.h"
#include "resources/resource.h"
#include "settings/SettingsDlg.h"
#include "support/PathUtil.h"

namespace {
const int kStopWaits = 10;
const DWORD kStopWaitMs = 200;
}  // namespace

BEGIN_MESSAGE_MAP(CClipSaverWnd, CScreenSaverWnd)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CClipSaverWnd::~CClipSaverWnd()
{
    if (m_hPlaybackThread)
        StopPlayback();
}

void CClipSaverWnd::Restart()
{
    StopPlayback();
    if (!StartPlayback())
        StopPlayback();
}

bool CClipSaverWnd::StartPlayback()
{
    CClipSaverApp* pApp = GetClipSaverApp();
    if (!pApp || !pApp->GetSettings())
        return false;
    m_bStatusShown = 0;
    m_hPlaybackThread = ::CreateThread(nullptr, 0, PlaybackThreadProc, nullptr, 0, nullptr);
    return m_hPlaybackThread != nullptr;
}

void CClipSaverWnd::StopPlayback()
{
    CClipSaverApp* pApp = GetClipSaverApp();
    if (pApp)
        pApp->m_bPlaying = 0;
    if (m_hPlaybackThread) {
        bool ended = false;
        for (int i = 0; i < kStopWaits && !ended; ++i) {
            ended = ::WaitForSingleObject(m_hPlaybackThread, kStopWaitMs) == WAIT_OBJECT_0;
            // A thread that had not started yet sets the flag when it does.
            if (!ended && pApp)
                pApp->m_bPlaying = 0;
        }
        if (!ended)
            ::TerminateThread(m_hPlaybackThread, 0);
        ::CloseHandle(m_hPlaybackThread);
        m_hPlaybackThread = nullptr;
    }
    ::InvalidateRect(nullptr, nullptr, FALSE);
}

void CClipSaverWnd::OnDestroy()
{
    CWnd::OnDestroy();
    StopPlayback();
}

DWORD WINAPI CClipSaverWnd::PlaybackThreadProc(LPVOID)
{
    DWORD result = 0;
    CClipSaverApp* pApp = GetClipSaverApp();
    CSettingsDlg* pSettings = pApp ? pApp->GetSettings() : nullptr;
    if (pSettings) {
        pApp->m_bPlaying = 1;
        HWND hWnd = pApp->m_pMainWnd ? pApp->m_pMainWnd->m_hWnd : nullptr;
        for (;;) {
            result = 0;
            ::CoInitialize(nullptr);
            ComPtr<IDirectDraw> directDraw;
            HRESULT hr = ::DirectDrawCreate(nullptr, directDraw.Receive(), nullptr);
            if (SUCCEEDED(hr))
                hr = directDraw->SetCooperativeLevel(hWnd, DDSCL_NORMAL);
            if (SUCCEEDED(hr)) {
                ComPtr<IAMMultiMediaStream> stream(OpenClipStream(pSettings->m_strClipPath, directDraw.Get()));
                if (!stream) {
                    directDraw.Release();
                    ::CoUninitialize();
                    break;  // result 0: the status text says why
                }
                if (PlayStream(stream.Get(), directDraw.Get()) == 0 && pSettings->m_bLoop)
                    PauseAfterEmptyPass(&pApp->m_bPlaying);  // nothing to show: do not reopen at once
            } else if (pSettings->m_bLoop) {
                PauseAfterEmptyPass(&pApp->m_bPlaying);  // DirectDraw failed: retry, but not at full load
            }
            directDraw.Release();
            ::CoUninitialize();
            result = 1;
            if (!pApp->m_bPlaying || !pSettings->m_bLoop)
                break;
        }
        pApp->m_bPlaying = 0;
    }
    if (result == 0 && pApp && pApp->GetSaverWnd())
        static_cast<CClipSaverWnd*>(pApp->GetSaverWnd())->DrawStatusText();
    return result;
}

UINT CClipSaverWnd::ChooseStatusText(const char* clipPath, CString* pText)
{
    CString format;
    UINT id;
    if (!clipPath || !*clipPath)
        id = IDS_NO_CLIP;
    else if (!FileExists(clipPath))
        id = IDS_CLIP_MISSING;
    else
        id = IDS_CLIP_UNPLAYABLE;
    format.LoadString(id);
    if (id == IDS_NO_CLIP)
        pText->Format(format);
    else
        pText->Format(format, clipPath);
    return id;
}

void CClipSaverWnd::PaintStatusText(HDC hdc)
{
    const CString& text = m_strStatusText;
    RECT window = PrimaryPartOfClient(m_hWnd);  // the full-screen window spans every monitor
    ::SetTextColor(hdc, RGB(255, 255, 255));
    ::SetBkMode(hdc, TRANSPARENT);

    RECT rc = {};
    ::DrawTextA(hdc, text, -1, &rc, DT_CALCRECT);
    int w = rc.right - rc.left;
    int h = rc.bottom - rc.top;
    int windowWidth = window.right - window.left;
    int windowHeight = window.bottom - window.top;
    bool fits = w <= windowWidth && h <= windowHeight;
    rc.left = w <= windowWidth ? window.left + (windowWidth - w) / 2 : window.left;
    rc.right = rc.left + w;
    rc.top = h <= windowHeight ? window.top + (windowHeight - h) / 2 : window.top;
    rc.bottom = rc.top + h;
    ::DrawTextA(hdc, text, -1, &rc, fits ? DT_CENTER : 0);
}

void CClipSaverWnd::DrawStatusText()
{
    CClipSaverApp* pApp = GetClipSaverApp();
    CSettingsDlg* pSettings = pApp ? pApp->GetSettings() : nullptr;
    if (!pSettings || !m_hWnd)
        return;
    // The only file check of the text: here, on the playback thread.
    ChooseStatusText(pSettings->m_strClipPath, &m_strStatusText);
    // The text is complete before the flag says so, and the flag is up before the
    // drawing, so a repaint at any moment from here on draws it too.
    ::InterlockedExchange(&m_bStatusShown, 1);

    HDC hdc = ::GetDC(m_hWnd);
    if (!hdc)
        return;
    PaintStatusText(hdc);
    ::ReleaseDC(m_hWnd, hdc);
    // Some systems (Wine) put another thread's drawing on the screen only when the
    // window's own thread next handles a message.
    ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

void CClipSaverWnd::OnDraw(CDC* pDC)
{
    if (m_bStatusShown)
        PaintStatusText(pDC->m_hDC);
}
