// The update check of the configuration dialog and its download progress window.
//
// One object per opening of the configuration dialog: it fetches the description file,
// asks once when the version is newer, downloads the installer while showing dialog 101,
// and starts the installer when it came whole and the maker's signature vouches for it,
// holding the checked file until the installer has ended. Everything runs on the
// dialog's thread, driven by timers; the engines' workers are only polled.
#pragma once

#include <windows.h>

#include "framework/Afx.h"
#include "support/Scoped.h"
#include "update/InstallerCheck.h"
#include "update/XDownload.h"

struct XVersionRecord;

class CUpgradeDlg : public CDialog {
public:
    // Starts the description fetch at once. version is the program's own version
    // record; it must outlive this object.
    explicit CUpgradeDlg(const XVersionRecord& version);
    ~CUpgradeDlg() override;

    // True once the description has been read and names a version and an https
    // installer address whose file name ends in ".exe" (and, when it gives the size, a
    // well-formed one). Polled by the configuration dialog.
    bool CheckUpgrade();
    // Compares the versions (only a newer a.b.c.d is offered), asks, and on Yes starts
    // the installer download with the progress window. Called once.
    bool StartUpgrade();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()

private:
    // Message box with the product name as caption; string id as text.
    int Ask(HWND hOwner, UINT nID, UINT nType) const;
    // Checks the downloaded installer and starts it; false when the user is to hear
    // that the update failed.
    bool CheckAndStartInstaller();

    const XVersionRecord& m_version;
    int m_bStarted;
    char m_szUpdateDir[MAX_PATH];  // empty when TEMP is unusable: no check at all
    ScopedHandle m_folder;         // the update directory, held while the flow lasts
    XDownload m_description;
    XDownload m_installer;
    XDownload m_secondFile;
    CString m_strDescriptionPath;
    CString m_strVersion;
    CString m_strUrl;
    CString m_strUrl2;
    CString m_strSignature;  // empty when the description has none: nothing is started
    LONG m_nSize;            // the installer's size from the description; -1 when not given
    XInstallerCheck m_check;  // the checked installer's file while no holder has it
    ScopedHandle m_holder;    // the thread that holds it until the installer has ended
    UINT_PTR m_nProgressTimer;
    CWnd m_progress;
    // While a question is open the object may be deleted under it (the configuration
    // dialog closed meanwhile); the asking frame learns so through this flag.
    bool* m_pAlive;
};

// The maker's update description, fetched over https only.
extern const char kUpgradeDescriptionUrl[];
// The progress bar's position for a percentage: cut towards zero, within 0 to 100.
int ProgressPosition(double percent);
// The most bytes taken of the description and of the second file (which is cut there).
const LONG kDescriptionLimit = 16 * 1024;
const LONG kSecondFileLimit = 64 * 1024;
// How long Cancel waits for the installer download's worker; one still blocked then is
// left to end by itself.
const DWORD kCancelWaitMs = XDownload::kStopWaitMs;

// Starts the downloaded installer, hOwner owning Windows' consent prompt; process
// receives its handle when Windows gives one (null otherwise). False when the user is to
// hear that the update failed: not after a No at that prompt, their choice.
bool StartInstaller(const char* pszPath, HWND hOwner, HANDLE* process = nullptr);
// True when the file name ends in ".exe", in any case: the only kind of file the update
// flow starts (the shell would open any other kind with whatever program it names).
bool IsInstallerName(const char* pszName);
