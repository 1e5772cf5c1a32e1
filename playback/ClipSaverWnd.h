// The saver window object: plays the chosen clip on a playback thread of its own and,
// when the clip cannot be opened, shows why in white text.
#pragma once

#include <vector>

#include "host/ScreenSaverApp.h"
#include "playback/PlaybackRequest.h"

class CSettingsDlg;

class CClipSaverWnd : public CScreenSaverWnd {
public:
    // pPlaying: the application's playing flag, which the playback thread sets while it
    // plays and the UI thread clears to stop it.
    explicit CClipSaverWnd(volatile LONG* pPlaying) : m_pPlaying(pPlaying) {}
    ~CClipSaverWnd() override;

    void Restart() override;
    bool StartPlayback();
    // closing: the process ends next, so a thread inside a call of the system's that runs
    // on is let go instead of waited for (PlatformCall.h).
    void StopPlayback(bool closing = false);
    // The thread's parameter is the window object.
    static DWORD WINAPI PlaybackThreadProc(LPVOID pParam);
    // Chooses the status text for the current clip path, keeps it for repaints and
    // draws it (playback thread).
    void DrawStatusText();

    // Status text ids drawn when the clip cannot be opened; id, where given, is the one
    // already chosen (a folder's), formatted with the path.
    static UINT ChooseStatusText(const char* clipPath, LONG missingDecoder, CString* pText, UINT id = 0);

protected:
    void OnDestroy();
    // A monitor added, removed or moved: the window covers them all again and playback
    // takes the new monitors up from its next frame.
    LRESULT OnDisplayChange(WPARAM, LPARAM);
    // The display going off and on again (the system's power setting, or SC_MONITORPOWER
    // on systems before Vista): playback holds while it is off.
    LRESULT OnPowerBroadcast(WPARAM, LPARAM);
    LRESULT OnSysCommand(WPARAM, LPARAM);
    // Repaints the kept status text, so the window's own painting never wipes it out.
    // Never looks at the file system: a clip on an unreachable share would otherwise
    // block every repaint, and with it all input, for the network's time-out.
    void OnDraw(CDC* pDC) override;

    DECLARE_MESSAGE_MAP()

private:
    void PaintStatusText(HDC hdc);
    // Asks for the display's power notifications once the window exists (Vista and later;
    // looked up at run time).
    void WatchDisplayPower();
    // The settings record (held by the configuration dialog object in every mode), or null.
    static CSettingsDlg* Settings();
    // Playback thread: every clip of a folder in turn (Playlist.h). 1 when it ended after
    // playing or for a stop request, 0 when nothing of the folder played (m_nStatusId says
    // which text).
    DWORD PlayFolder(const CSettingsDlg& settings, PlaybackRequest request);
    // Playback thread, one clip: notes the clip for the resume point and, where the saver
    // stopped inside its section last time, makes *pRequest one pass from there.
    bool ResumeOneClip(const CSettingsDlg& settings, PlaybackRequest* pRequest);
    // As the full-screen window closes, with "Resume" on: where playback stopped.
    void SaveResumePoint();

    // What the playback thread showed last, for carrying on there next time: written by
    // that thread only (never inside a call of the system's), read by the UI thread only
    // once the thread has ended by itself or was let go.
    struct ResumeState {
        bool known = false;
        CString clip;
        std::vector<WORD> order;      // the shuffled round's order, if any
        CString nextClip;             // the clip after it, and the order of its round
        std::vector<WORD> nextOrder;
        LONGLONG endTime = 0;         // one clip's end time, if on; 0 none
    };
    ResumeState m_resume;
    // The frame last shown and the clip's length, kept by the engine as it plays.
    PlaybackProgress m_progress = {};
    bool m_bThreadEnded = false;
    // The status text a folder's playback chose; 0: chosen from the clip path. Written by
    // the playback thread before it draws the text.
    UINT m_nStatusId = 0;

    volatile LONG* const m_pPlaying;
    // Counted up by the UI thread at each WM_DISPLAYCHANGE, read by the playback thread
    // before every frame: a plain 32-bit counter.
    volatile LONG m_nDisplayChanges = 0;
    // Set by the UI thread while the display is off, read by the playback thread: a
    // plain 32-bit flag.
    volatile LONG m_bDisplayOff = 0;
    // Written by the playback thread (a MissingDecoder), read by it for the status text.
    volatile LONG m_nMissingDecoder = 0;
    HANDLE m_hPlaybackThread = nullptr;
    HANDLE m_hPowerNotify = nullptr;
    // Looked up while no thread of ours runs (the close takes nothing of the loader's).
    typedef BOOL(WINAPI* CancelIoFn)(HANDLE);
    typedef BOOL(WINAPI* UnregisterPowerFn)(HANDLE);
    CancelIoFn m_pfnCancelIo = nullptr;
    UnregisterPowerFn m_pfnUnregisterPower = nullptr;
    // The status text, written by the playback thread before it sets m_bStatusShown and
    // read by the UI thread only while that flag is set.
    CString m_strStatusText;
    // Set by the playback thread before it draws the status text (so a repaint in
    // between draws it too), cleared by the UI thread before a thread starts: a plain
    // 32-bit flag.
    volatile LONG m_bStatusShown = 0;
};
