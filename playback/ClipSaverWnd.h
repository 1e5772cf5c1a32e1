// The saver window object: plays the chosen clip on a playback thread of its own and,
// when the clip cannot be opened, shows why in white text.
#pragma once

#include "host/ScreenSaverApp.h"

class CClipSaverWnd : public CScreenSaverWnd {
public:
    CClipSaverWnd() = default;
    ~CClipSaverWnd() override;

    void Restart() override;
    bool StartPlayback();
    void StopPlayback();
    static DWORD WINAPI PlaybackThreadProc(LPVOID);
    // Draws the status text for the current clip path (playback thread).
    void DrawStatusText();

    // Status text ids drawn when the clip cannot be opened.
    static UINT ChooseStatusText(const char* clipPath, CString* pText);

protected:
    void OnDestroy();
    // Repaints the status text, so the window's own painting never wipes it out.
    void OnDraw(CDC* pDC) override;

    DECLARE_MESSAGE_MAP()

private:
    void PaintStatusText(HDC hdc);

    HANDLE m_hPlaybackThread = nullptr;
    // Set by the playback thread once it has drawn a status text, read by the UI thread
    // when it paints: a plain 32-bit flag.
    volatile LONG m_bStatusShown = 0;
};
