#include "playback/ClipSaverWnd.h"

#include <ddraw.h>

#include <cstring>
#include <vector>

#include "support/FileList.h"
#include "support/ScreenArea.h"
#include "support/Scoped.h"
#include "playback/mediafoundation/ReaderPlayer.h"
#include "playback/PlatformCall.h"
#include "playback/present/FramePresenter.h"
#include "playback/directshow/StreamPlayer.h"
#include "playback/Playlist.h"
#include "resources/resource.h"
#include "settings/SettingsDlg.h"
#include "support/PathUtil.h"

namespace {
// The display's power state: GUID_CONSOLE_DISPLAY_STATE (Windows 8 and later: 0 off, 1 on,
// 2 dimmed) and GUID_MONITOR_POWER_ON (Vista and 7: 0 off, 1 on).
const GUID kConsoleDisplayState = { 0x6fe69556, 0x704a, 0x47a0, { 0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47 } };
const GUID kMonitorPowerOn = { 0x02731015, 0x4510, 0x4526, { 0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea } };
// GUID_SESSION_DISPLAY_STATUS (Windows 8 and later, the same values): the display of this
// session, which in a remote session is not the console's.
const GUID kSessionDisplayStatus = { 0x2b84c20e, 0xad23, 0x4ddf, { 0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5 } };
const UINT kPowerSettingChange = 0x8013;  // PBT_POWERSETTINGCHANGE
const WPARAM kMonitorPower = 0xF170;      // SC_MONITORPOWER

// The start of POWERBROADCAST_SETTING, which older headers lack.
struct PowerSetting {
    GUID setting;
    DWORD dataLength;
    BYTE data[1];
};

const int kStopWaits = 200;
const DWORD kStopWaitMs = 10;
const int kFreeStopWaits = 5;
// At the close, a thread still inside a call of the system's after this many waits is let
// go (PlatformCall.h): a call that has run this long may run for seconds.
const int kLetGoWaits = 10;

// The engines in the order they are tried: DirectShow's multimedia stream, then Media
// Foundation's source reader for the clips DirectShow cannot open (MP4, MOV and MKV on
// Windows 7 and later have no DirectShow source).
typedef PlayResult (*PlayEngine)(const PlaybackRequest&, IDirectDraw*, LONG*);
const PlayEngine kEngines[] = { PlayWithStream, PlayWithReader };
const int kEngineCount = sizeof(kEngines) / sizeof(kEngines[0]);

// 100 ns units as a signed stream time; a time past its range stays the largest.
LONGLONG StreamTime(ULONGLONG t)
{
    const ULONGLONG largest = 0x7FFFFFFFFFFFFFFFull;
    return static_cast<LONGLONG>(t > largest ? largest : t);
}

const LONGLONG kSecond = 10000000;  // 100 ns units

// Tries the engines on one clip of a folder, from the one that last played a clip of
// its kind (extension): an engine that cannot open a kind would only widen the gap
// between clips.
class EngineChoice {
public:
    PlayResult Play(const PlaybackRequest& request, IDirectDraw* pDirectDraw, LONG* pShown)
    {
        int* pFirst = FirstFor(request.clipPath);
        PlayResult played = PlayResult::CannotOpen;
        for (int k = 0; k < kEngineCount; ++k) {
            const int i = (*pFirst + k) % kEngineCount;
            played = kEngines[i](request, pDirectDraw, pShown);
            if (played == PlayResult::Played) {
                *pFirst = i;
                break;
            }
            if (played == PlayResult::DisplayChanged || !*request.pPlaying)
                break;
        }
        return played;
    }

private:
    struct Kind {
        char extension[8];
        int engine;
    };
    int* FirstFor(const char* path)
    {
        const char* dot = strrchr(path, '.');
        char extension[8] = {};
        if (dot && strlen(dot) < sizeof(extension))
            memcpy(extension, dot, strlen(dot));
        for (Kind& k : m_kinds) {
            if (::lstrcmpiA(k.extension, extension) == 0)
                return &k.engine;
        }
        if (m_kinds.size() >= 32)
            return &m_other;
        Kind kind = {};
        memcpy(kind.extension, extension, sizeof(extension));
        m_kinds.push_back(kind);
        return &m_kinds.back().engine;
    }
    std::vector<Kind> m_kinds;
    int m_other = 0;
};

DWORD NewSeed()
{
    LARGE_INTEGER counter = {};
    ::QueryPerformanceCounter(&counter);
    return ::GetTickCount() ^ (::GetCurrentProcessId() << 16) ^ counter.LowPart;
}

// The resume point names a clip of this folder (or of one of its subfolders).
bool InFolder(const char* clip, const char* folder)
{
    const size_t n = strlen(folder);
    if (n == 0 || strlen(clip) <= n || ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, clip,
                                                        static_cast<int>(n), folder, static_cast<int>(n)) != CSTR_EQUAL)
        return false;
    return folder[n - 1] == '\\' || clip[n] == '\\';
}

PlaybackRequest MakeRequest(const CSettingsDlg& s, HWND hWnd, const volatile LONG* pPlaying,
                            const volatile LONG* pDisplayChanges, const volatile LONG* pDisplayOff,
                            volatile LONG* pMissingDecoder)
{
    ULONGLONG start = 0, end = 0;
    s.GetClipTimes(&start, &end);
    PlaybackRequest r;
    r.hWnd = hWnd;
    r.clipPath = s.m_strClipPath;
    r.startTime = s.m_bStartTime ? StreamTime(start) : 0;
    r.endTime = StreamTime(end);
    r.useEndTime = s.m_bEndTime != 0;
    r.loop = s.m_bLoop != 0;
    // A section that ends where it starts, or before, is one picture: shown once and held,
    // not replayed back to back with a click of sound each time.
    r.holdStill = r.useEndTime && r.endTime <= r.startTime;
    r.mute = s.m_bMute != 0;
    r.pGeometry = &s;
    r.pPlaying = pPlaying;
    r.pDisplayChanges = pDisplayChanges;
    r.pDisplayOff = pDisplayOff;
    r.pMissingDecoder = pMissingDecoder;
    return r;
}
// A pass's DirectDraw in normal cooperation with the saver window (none for the preview's
// child window), made inside the system; null where it cannot be made.
HRESULT MakeDirectDraw(HWND hWnd, ComPtr<IDirectDraw>* pDirectDraw)
{
    CPlatformCall inside;
    HRESULT hr = ::DirectDrawCreate(nullptr, pDirectDraw->Receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = (*pDirectDraw)->SetCooperativeLevel(CooperativeWindow(hWnd), DDSCL_NORMAL);
    if (FAILED(hr))
        pDirectDraw->Release();
    return hr;
}

// Lets go of DirectDraw and of COM, which may wait for what it still runs.
void EndDirectDrawAndCom(ComPtr<IDirectDraw>* pDirectDraw)
{
    CPlatformCall inside;
    pDirectDraw->Release();
    ::CoUninitialize();
}

// The system's own major version: GetVersionExA answers 6.2 to a program whose manifest
// names no later Windows, Windows 10 and 11 included.
DWORD WindowsMajorVersion()
{
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const RtlGetVersionFn getVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(::GetProcAddress(ntdll, "RtlGetVersion")) : nullptr;
    OSVERSIONINFOW wide = {};
    wide.dwOSVersionInfoSize = sizeof(wide);
    if (getVersion && getVersion(&wide) == 0)
        return wide.dwMajorVersion;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return ::GetVersionExA(&version) ? version.dwMajorVersion : 0;
}
}  // namespace

CSettingsDlg* CClipSaverWnd::Settings()
{
    CScreenSaverApp* pApp = GetScreenSaverApp();
    return pApp ? static_cast<CSettingsDlg*>(pApp->GetConfigDlg()) : nullptr;
}

BEGIN_MESSAGE_MAP(CClipSaverWnd, CScreenSaverWnd)
    ON_WM_DESTROY()
    ON_MESSAGE(WM_DISPLAYCHANGE, OnDisplayChange)
    ON_MESSAGE(WM_POWERBROADCAST, OnPowerBroadcast)
    ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
END_MESSAGE_MAP()

CClipSaverWnd::~CClipSaverWnd()
{
    if (m_hPlaybackThread)
        StopPlayback();
}

void CClipSaverWnd::Restart()
{
    WatchDisplayPower();
    StopPlayback();
    if (!StartPlayback())
        StopPlayback();
}

bool CClipSaverWnd::StartPlayback()
{
    if (!Settings())
        return false;
    m_bStatusShown = 0;
    m_nStatusId = 0;
    m_bThreadEnded = false;
    m_resume = ResumeState();
    m_progress = PlaybackProgress();
    ResetPlatformCalls();
    // Everything the close needs of the loader is looked up before any thread of ours can
    // hold its lock (Vista and later cancel an opening on the thread itself).
    PrepareCloseDeadline(m_hWnd && !(::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD) ? m_hWnd : nullptr);
    if (!m_pfnCancelIo)
        m_pfnCancelIo = reinterpret_cast<CancelIoFn>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CancelSynchronousIo"));
    // Raised here, not by the thread: a stop request that comes before the thread runs
    // would otherwise be undone by it.
    *m_pPlaying = 1;
    m_hPlaybackThread = ::CreateThread(nullptr, 0, PlaybackThreadProc, this, 0, nullptr);
    return m_hPlaybackThread != nullptr;
}

void CClipSaverWnd::StopPlayback(bool closing)
{
    *m_pPlaying = 0;
    if (m_hPlaybackThread) {
        // A read waiting on a slow disk or share returns at once instead of at its time-out.
        CancelPendingReads();
        // So does a file that the first engine opens on the thread itself, once the thread
        // has not ended by itself within 50 ms; asked again at every step, as it may be
        // inside the next one.
        bool ended = false, letGo = false;
        for (int i = 0; i < kStopWaits && !ended && !letGo; ++i) {
            if (m_pfnCancelIo && i >= kFreeStopWaits)
                m_pfnCancelIo(m_hPlaybackThread);
            ended = ::WaitForSingleObject(m_hPlaybackThread, kStopWaitMs) == WAIT_OBJECT_0;
            // The process ends next: a call of the system's that nothing cancels is not
            // waited out. The thread stops for good when it returns, and has written all it
            // will (the resume point included).
            letGo = !ended && closing && i + 1 >= kLetGoWaits && LetGoOfPlaybackThread();
        }
        m_bThreadEnded = ended || letGo;
        // A thread stuck anywhere else would keep the saver open for ever: after two
        // seconds it is ended, whatever it holds.
        if (!m_bThreadEnded)
            ::TerminateThread(m_hPlaybackThread, 0);
        ::CloseHandle(m_hPlaybackThread);
        m_hPlaybackThread = nullptr;
    }
    // The whole desktop, not just this window: the thread drew on the primary surface,
    // which may reach beyond the window's own repaints.
    ::InvalidateRect(nullptr, nullptr, FALSE);
}

void CClipSaverWnd::OnDestroy()
{
    // The stop takes at most 2 s; the resume point is written within the third.
    BeginCloseDeadline(3000);
    CWnd::OnDestroy();
    StopPlayback(true);
    SaveResumePoint();
    if (m_hPowerNotify && m_pfnUnregisterPower)
        m_pfnUnregisterPower(m_hPowerNotify);
    m_hPowerNotify = nullptr;
}

void CClipSaverWnd::WatchDisplayPower()
{
    if (m_hPowerNotify || !m_hWnd)
        return;
    typedef HANDLE(WINAPI * Register)(HANDLE, LPCGUID, DWORD);
    Register registerNotification = reinterpret_cast<Register>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "RegisterPowerSettingNotification"));
    m_pfnUnregisterPower = reinterpret_cast<UnregisterPowerFn>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "UnregisterPowerSettingNotification"));
    if (!registerNotification || !m_pfnUnregisterPower)
        return;  // before Vista: SC_MONITORPOWER says it
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ::GetVersionExA(&version);
    const bool eightOrLater = version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
    const GUID* setting = !eightOrLater                             ? &kMonitorPowerOn
                          : ::GetSystemMetrics(SM_REMOTESESSION) ? &kSessionDisplayStatus
                                                                 : &kConsoleDisplayState;
    m_hPowerNotify = registerNotification(m_hWnd, setting, DEVICE_NOTIFY_WINDOW_HANDLE);
}

LRESULT CClipSaverWnd::OnPowerBroadcast(WPARAM wParam, LPARAM lParam)
{
    const PowerSetting* p = reinterpret_cast<const PowerSetting*>(lParam);
    if (wParam != kPowerSettingChange || !p)
        return Default();  // a suspend, a resume: what the saver does there
    if ((p->setting == kConsoleDisplayState || p->setting == kSessionDisplayStatus || p->setting == kMonitorPowerOn) &&
        p->dataLength >= sizeof(DWORD)) {
        DWORD state;
        ::CopyMemory(&state, p->data, sizeof(state));
        ::InterlockedExchange(&m_bDisplayOff, state == 0 ? 1 : 0);  // dimmed still shows
    }
    return TRUE;
}

LRESULT CClipSaverWnd::OnSysCommand(WPARAM wParam, LPARAM lParam)
{
    // Off is 2; low power (1) still shows a picture; -1 is on again.
    if ((wParam & 0xFFF0) == kMonitorPower)
        ::InterlockedExchange(&m_bDisplayOff, lParam == 2 ? 1 : 0);
    return Default();
}

LRESULT CClipSaverWnd::OnDisplayChange(WPARAM, LPARAM)
{
    if (!(::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD)) {
        const RECT r = FullScreenRect(GetScreenMetrics());
        ::SetWindowPos(m_hWnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InterlockedIncrement(&m_nDisplayChanges);
    return 0;
}

DWORD WINAPI CClipSaverWnd::PlaybackThreadProc(LPVOID pParam)
{
    CClipSaverWnd* pWnd = static_cast<CClipSaverWnd*>(pParam);
    DWORD result = 0;
    // The settings are read here, once: nobody writes them while a clip plays.
    const CSettingsDlg* pSettings = Settings();
    pWnd->m_nMissingDecoder = kNoDecoderMissing;
    if (pSettings && IsDirectory(pSettings->m_strClipPath)) {
        result = pWnd->PlayFolder(*pSettings, MakeRequest(*pSettings, pWnd->m_hWnd, pWnd->m_pPlaying,
                                                          &pWnd->m_nDisplayChanges, &pWnd->m_bDisplayOff,
                                                          &pWnd->m_nMissingDecoder));
        *pWnd->m_pPlaying = 0;
    } else if (pSettings) {
        PlaybackRequest request = MakeRequest(*pSettings, pWnd->m_hWnd, pWnd->m_pPlaying, &pWnd->m_nDisplayChanges,
                                              &pWnd->m_bDisplayOff, &pWnd->m_nMissingDecoder);
        request.pProgress = &pWnd->m_progress;
        // Carrying on where the saver stopped: the first pass from there, once. Until it
        // shows a frame, that is still the place to carry on from.
        PlaybackRequest resumed = request;
        bool resuming = pWnd->ResumeOneClip(*pSettings, &resumed);
        if (resuming)
            pWnd->m_progress.position = resumed.startTime;
        int engine = -1;  // none yet: the first one that shows the clip keeps it
        for (;;) {
            const PlaybackRequest& pass = resuming ? resumed : request;
            resuming = false;
            result = 0;
            ::CoInitialize(nullptr);
            ComPtr<IDirectDraw> directDraw;
            if (SUCCEEDED(MakeDirectDraw(request.hWnd, &directDraw))) {
                LONG shown = 0;
                PlayResult played = PlayResult::CannotOpen;
                // The next engine only while no stop came.
                for (int i = engine < 0 ? 0 : engine; i < kEngineCount && *request.pPlaying; ++i) {
                    played = kEngines[i](pass, directDraw.Get(), &shown);
                    if (played == PlayResult::Played)
                        engine = i;
                    if (engine >= 0 || played == PlayResult::Played || played == PlayResult::DisplayChanged)
                        break;
                }
                // Nothing could open the clip, or its first pass showed nothing (also when it
                // is opened anew after a pass that failed): the status text says why.
                if ((played == PlayResult::CannotOpen || played == PlayResult::FirstFrameFailed) &&
                    *request.pPlaying) {
                    EndDirectDrawAndCom(&directDraw);
                    break;  // result 0
                }
                if (played == PlayResult::DisplayChanged) {
                    // DirectDraw, the stream and its surfaces anew in the new mode, looping or not.
                    EndDirectDrawAndCom(&directDraw);
                    result = 1;
                    if (!*request.pPlaying)
                        break;
                    if (shown == 0)
                        PauseAfterEmptyPass(request.pPlaying);  // a display that takes no surfaces yet
                    continue;
                }
                if (shown == 0 && request.loop)
                    PauseAfterEmptyPass(request.pPlaying);  // nothing to show: do not reopen at once
            } else if (request.loop) {
                PauseAfterEmptyPass(request.pPlaying);  // DirectDraw failed: retry, but not at full load
            }
            EndDirectDrawAndCom(&directDraw);
            result = 1;
            if (!*request.pPlaying || !request.loop)
                break;
        }
        *pWnd->m_pPlaying = 0;
    }
    if (result == 0)
        pWnd->DrawStatusText();
    return result;
}

bool CClipSaverWnd::ResumeOneClip(const CSettingsDlg& settings, PlaybackRequest* pRequest)
{
    m_resume.known = true;
    m_resume.clip = pRequest->clipPath;
    m_resume.nextClip = pRequest->clipPath;
    m_resume.endTime = pRequest->useEndTime ? pRequest->endTime : 0;
    ResumePoint point;
    if (!settings.m_bResume || pRequest->holdStill || !settings.LoadResumePoint(&point) ||
        ::lstrcmpiA(point.clip, pRequest->clipPath) != 0)
        return false;  // another clip was chosen since: from its start
    // Only inside the section: before its start, or past its end, it starts afresh.
    if (point.position <= pRequest->startTime || (pRequest->useEndTime && point.position >= pRequest->endTime))
        return false;
    pRequest->startTime = point.position;
    pRequest->loop = false;  // the passes after this one start at the start time again
    return true;
}

DWORD CClipSaverWnd::PlayFolder(const CSettingsDlg& settings, PlaybackRequest request)
{
    const CString folder(request.clipPath);
    CPlaylist list;
    list.Load(folder, m_pPlaying);
    if (!*m_pPlaying)
        return 1;
    if (list.Count() == 0) {
        m_nStatusId = IDS_CLIP_MISSING;  // as for a clip that is not there
        return 0;
    }
    ResumePoint point;
    const bool resume = settings.m_bResume && settings.LoadResumePoint(&point) && InFolder(point.clip, folder);
    list.Begin(settings.m_bShuffle != 0, NewSeed(), resume ? point.clip.GetString() : nullptr, point.order);
    LONGLONG startAt = resume && ::lstrcmpiA(list.Clip(list.Current()), point.clip) == 0 ? point.position : 0;

    // A folder's clips play whole, one after another: the start and end times, and looping
    // within a clip, belong to one chosen clip.
    const bool loop = request.loop;
    request.useEndTime = false;
    request.holdStill = false;
    request.loop = false;
    request.pProgress = &m_progress;
    m_resume.known = true;

    // One DirectDraw for the whole folder: the last frame of a clip stays on the screen
    // until the next clip's first frame replaces it.
    ::CoInitialize(nullptr);
    ComPtr<IDirectDraw> directDraw;
    EngineChoice engines;
    DWORD result = 1;
    bool everPlayed = false;
    size_t failedInRow = 0;
    while (*m_pPlaying) {
        if (!directDraw && FAILED(MakeDirectDraw(request.hWnd, &directDraw))) {
            PauseAfterEmptyPass(m_pPlaying);  // retried, but not at full load
            continue;
        }
        const char* clip = list.Clip(list.Current());
        m_resume.clip = clip;
        m_resume.order = list.ShuffledOrder();
        size_t next = 0;
        list.PeekNext(&next, &m_resume.nextOrder);
        m_resume.nextClip = list.Clip(next);
        m_progress.position = startAt;
        m_progress.duration = 0;
        request.clipPath = clip;
        request.startTime = startAt;
        startAt = 0;

        LONG shown = 0;
        const PlayResult played = engines.Play(request, directDraw.Get(), &shown);
        if (played == PlayResult::DisplayChanged) {
            directDraw.Release();  // DirectDraw anew in the new mode, and on from where it was
            startAt = m_progress.position;
            continue;
        }
        if (!*m_pPlaying)
            break;
        // A clip that did not play (broken, no engine for it, gone since the listing) is
        // passed over without a word; only when every clip in a row failed is there a text.
        if (played == PlayResult::Played && shown > 0) {
            everPlayed = true;
            failedInRow = 0;
        } else if (++failedInRow >= list.Count()) {
            m_nStatusId = IDS_CLIP_UNPLAYABLE;
            result = 0;
            break;
        }
        if (list.Advance())
            continue;
        if (!loop) {
            if (!everPlayed) {
                m_nStatusId = IDS_CLIP_UNPLAYABLE;
                result = 0;
            }
            break;  // the last picture stays
        }
        list.NextRound();
    }
    EndDirectDrawAndCom(&directDraw);
    return result;
}

void CClipSaverWnd::SaveResumePoint()
{
    const CSettingsDlg* pSettings = Settings();
    // The preview never writes: every opening of Display Properties would move it.
    if (!pSettings || !pSettings->m_bResume || !m_bThreadEnded || !m_resume.known || !m_hWnd ||
        (::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD))
        return;
    LONGLONG end = m_progress.duration;
    if (m_resume.endTime > 0 && (end <= 0 || m_resume.endTime < end))
        end = m_resume.endTime;
    ResumePoint point;
    if (end > 0 && m_progress.position >= end - kSecond) {
        // Within a second of the end: the next clip (for one clip: its start) next time.
        point.clip = m_resume.nextClip;
        point.order = m_resume.nextOrder;
    } else {
        point.clip = m_resume.clip;
        point.position = m_progress.position;
        point.order = m_resume.order;
    }
    pSettings->SaveResumePoint(point);  // a key that cannot be written: nothing said
}

UINT CClipSaverWnd::ChooseStatusText(const char* clipPath, LONG missingDecoder, CString* pText, UINT id)
{
    CString format;
    if (id == 0) {
        if (!clipPath || !*clipPath)
            id = IDS_NO_CLIP;
        else if (!FileExists(clipPath))
            id = IDS_CLIP_MISSING;
        else if (missingDecoder >= kHevcMissing && missingDecoder <= kAv1Missing)
            id = IDS_DECODER_MISSING;
        else
            id = IDS_CLIP_UNPLAYABLE;
    }
    format.LoadString(id);
    if (id == IDS_NO_CLIP) {
        pText->Format(format);
    } else if (id == IDS_DECODER_MISSING) {
        // The store has each as "<format> Video Extensions"; Windows 7 has no HEVC at all.
        static const char* const kFormats[] = { "HEVC", "VP9", "AV1" };
        CString where;
        where.LoadString(WindowsMajorVersion() < 10 ? IDS_DECODER_NONE_HERE : IDS_DECODER_FROM_STORE);
        CString place;
        place.Format(where, kFormats[missingDecoder - kHevcMissing]);
        pText->Format(format, clipPath, kFormats[missingDecoder - kHevcMissing], static_cast<const char*>(place));
    } else {
        pText->Format(format, clipPath);
    }
    return id;
}

void CClipSaverWnd::PaintStatusText(HDC hdc)
{
    const CString& text = m_strStatusText;
    ::SetTextColor(hdc, RGB(255, 255, 255));
    ::SetBkMode(hdc, TRANSPARENT);
    RECT measured = {};
    ::DrawTextA(hdc, text, -1, &measured, DT_CALCRECT);
    const int w = measured.right - measured.left;
    const int h = measured.bottom - measured.top;

    // On every monitor the window covers, centred in each (a preview: its own window);
    // a window on no screen at all still gets it across its whole client area.
    const RECT client = ClientOnScreen(m_hWnd);
    RECT areas[kMaxMonitors];
    int count = ViewAreas(m_hWnd, GetMonitors(), areas, kMaxMonitors);
    if (count == 0) {
        areas[0] = client;
        count = 1;
    }
    for (int i = 0; i < count; ++i) {
        RECT window = areas[i];
        ::OffsetRect(&window, -client.left, -client.top);
        int windowWidth = window.right - window.left;
        int windowHeight = window.bottom - window.top;
        bool fits = w <= windowWidth && h <= windowHeight;
        RECT rc;
        rc.left = w <= windowWidth ? window.left + (windowWidth - w) / 2 : window.left;
        rc.right = rc.left + w;
        rc.top = h <= windowHeight ? window.top + (windowHeight - h) / 2 : window.top;
        rc.bottom = rc.top + h;
        ::DrawTextA(hdc, text, -1, &rc, fits ? DT_CENTER : 0);
    }
}

void CClipSaverWnd::DrawStatusText()
{
    CSettingsDlg* pSettings = Settings();
    if (!pSettings || !m_hWnd)
        return;
    // The only file check of the text: here, on the playback thread.
    ChooseStatusText(pSettings->m_strClipPath, m_nMissingDecoder, &m_strStatusText, m_nStatusId);
    // The text is complete before the flag says so, and the flag is up before the
    // drawing, so a repaint at any moment from here on draws it too.
    ::InterlockedExchange(&m_bStatusShown, 1);

    {
        ScopedGetDC dc(m_hWnd);
        if (!dc)
            return;
        PaintStatusText(dc.Get());
    }
    // Some systems (Wine) put another thread's drawing on the screen only when the
    // window's own thread next handles a message.
    ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

void CClipSaverWnd::OnDraw(CDC* pDC)
{
    if (m_bStatusShown)
        PaintStatusText(pDC->m_hDC);
}
