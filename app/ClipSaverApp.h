// The program's application object.
#pragma once

#include "host/ScreenSaverApp.h"
#include "settings/SettingsDlg.h"

class CClipSaverApp : public CScreenSaverApp {
public:
    CClipSaverApp();

    BOOL InitInstance() override;
    int ExitInstance() override;
    CScreenSaverWnd* CreateSaverWindow() override;
    CScreenSaverDlg* CreateConfigDialog() override;
    bool SaveSettings() override;
    bool LoadSettings() override;

    // The settings record lives in the configuration dialog object, in every mode.
    CSettingsDlg* GetSettings() const { return static_cast<CSettingsDlg*>(GetConfigDlg()); }

    // Shared with the playback thread without a lock: that thread sets it to 1 when it
    // starts, either thread clears it to ask playback to stop. A plain 32-bit flag.
    volatile LONG m_bPlaying = 0;
};

inline CClipSaverApp* GetClipSaverApp()
{
    return static_cast<CClipSaverApp*>(AfxGetApp());
}
