// The configuration dialog object. It exists in every run mode because it also holds
// the settings record, which lives in the registry under HKEY_CURRENT_USER.
#pragma once

#include <windows.h>

#include "framework/AfxString.h"
#include "host/ScreenSaverApp.h"

class CSettingsDlg : public CScreenSaverDlg {
public:
    CSettingsDlg();

    // Resets the record to its defaults and reads whatever the key holds over them; a
    // key that cannot be opened is (re)created with the defaults. False only when
    // the key can be neither opened nor created; the defaults stay in memory then.
    bool LoadSettings();
    // Writes the whole record; false only when the key cannot be opened or created.
    bool SaveSettings();

    // Start and end time in 100 ns units, whether or not they are enabled.
    void GetClipTimes(ULONGLONG* pStart, ULONGLONG* pEnd) const;
    // Where a frame of clip's size goes within area (screen coordinates). clip is read
    // for its width and height only and receives the placed rectangle.
    void CalcViewRect(const RECT& area, RECT* clip) const;

    // The settings record. Read by the playback thread while it plays; nobody writes it
    // then (only the configuration dialog does, and never while a clip plays).
    int m_nViewSizeOption;  // 0 custom, 1 original, 2 full screen, 3 full screen 16:9
    CString m_strClipPath;
    UINT m_nCustomWidth;
    UINT m_nCustomHeight;
    int m_bLoop;
    int m_bMute;
    int m_bAutoUpdate;
    int m_bStartTime;
    int m_bEndTime;
    UINT m_nStartHour;
    UINT m_nStartMinute;
    UINT m_nStartSecond;
    UINT m_nStartMillisecond;
    UINT m_nEndHour;
    UINT m_nEndMinute;
    UINT m_nEndSecond;
    UINT m_nEndMillisecond;

private:
    void ResetToDefaults();
};
