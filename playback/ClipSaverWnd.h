// The saver window object: plays the chosen clip on a playback thread of its own and,
// when the clip cannot be opened, shows why in white text.
#pragma once

#include "host/ScreenSaverApp.h"

class CSettingsDlg;

class CClipSaverWnd : public CScreenSaverWnd {
public:
    // pPlaying: the application's playing flag, which the playback thread sets while it
    // plays and the UI thread clears to stop it.
    explicit CClipSaverWnd(volatile LONG* pPlaying) : m_pPlaying(pPlaying) {}
    ~CClipSaverWnd() override;

    void Restart() override;
    bool StartPlayback();
    void StopPlayback();
    // The thread's parameter is the window object.
    static DWORD WINAPI PlaybackThreadProc(LPVOID pParam);
    // Chooses the status text for the current clip path, keeps it for repaints and
    // draws it (playback thread).
    void DrawStatusText();

    // Status text ids drawn when the clip cannot be opened.
    static UINT ChooseStatusText(const char* clipPath, LONG missingDecoder, CString* pText);

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
    // The status text, written by the playback thread before it sets m_bStatusShown and
    // read by the UI thread only while that flag is set.
    CString m_strStatusText;
    // Set by the playback thread before it draws the status text (so a repaint in
    // between draws it too), cleared by the UI thread before a thread starts: a plain
    // 32-bit flag.
    volatile LONG m_bStatusShown = 0;
};
