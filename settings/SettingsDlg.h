// The configuration dialog object. It exists in every run mode because it also holds
// the settings record, which lives in the registry under HKEY_CURRENT_USER, and the
// program's own version information.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/AfxString.h"
#include "host/ScreenSaverApp.h"
#include "support/VersionInfo.h"

class CUpgradeDlg;

// Where the full-screen saver stopped: the clip it showed, how far into it, and in shuffle
// mode the order of the round it was in. Kept beside the settings, never part of them.
struct ResumePoint {
    CString clip;
    LONGLONG position = 0;     // 100 ns units
    std::vector<WORD> order;   // places in the folder's list; empty outside shuffle mode
};

class CSettingsDlg : public CScreenSaverDlg {
    DECLARE_DYNAMIC(CSettingsDlg)
public:
    CSettingsDlg();
    ~CSettingsDlg() override;

    // Resets the record to its defaults and reads whatever the key holds over them; a
    // key that cannot be opened is (re)created with the defaults. False only when
    // the key can be neither opened nor created; the defaults stay in memory then.
    bool LoadSettings();
    // Writes the whole record; false only when the key cannot be opened or created.
    bool SaveSettings();

    // Start and end time in 100 ns units, whether or not they are enabled. A time beyond
    // 64 bits saturates, so it still compares as the largest.
    void GetClipTimes(ULONGLONG* pStart, ULONGLONG* pEnd) const;
    // The stored resume point; false (and *pPoint untouched) when there is none. Only
    // reads.
    bool LoadResumePoint(ResumePoint* pPoint) const;
    // Writes it beside the settings, never creating the key and never touching the record;
    // false when it could not be written (nothing is reported).
    bool SaveResumePoint(const ResumePoint& point) const;
    // Where a frame of clip's size goes within area (screen coordinates). clip is read
    // for its width and height only and receives the placed rectangle.
    void CalcViewRect(const RECT& area, RECT* clip) const;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    // The program's own version texts; ProductName captions the message boxes.
    XVersionRecord m_versionRecord;
    HICON m_hIcon;

    // The update check of this dialog window: the controller, the poll timer and whether
    // the prompt has been started. All on the UI thread.
    CUpgradeDlg* m_pUpgradeDlg;
    UINT_PTR m_nTimerId;
    BOOL m_bPromptShown;

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
    // Kept after the record's seventeen values: "Shuffle" plays a folder's clips in a new
    // random order each round, "Resume" starts where the full-screen saver last stopped.
    int m_bShuffle;
    int m_bResume;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    void OnBrowse();
    void OnFixedViewSize();
    void OnCustomViewSize();
    void OnHomePage();
    void OnAbout();
    void OnStartTime();
    void OnEndTime();
    void OnChooseFolder();
    void StartUpdateCheck();

    DECLARE_MESSAGE_MAP()

private:
    void ResetToDefaults();
    // Enables the four time fields of a check box by the box's own state.
    void ApplyTimeRule(int nCheckBox, const int* fieldIds);
    // Start and end times belong to one clip: with a folder chosen they are disabled.
    void ApplyFolderRule();
    bool m_bFolderChosen = false;

    // The seam to the update controller (SettingsUpgrade.cpp).
    bool CreateUpgradeController();
    bool UpgradeReady();
    void StartUpgradePrompt();
    void DeleteUpgradeController();
};
