#include "update/UpgradeDlg.h"

#include <commctrl.h>
#include <stdlib.h>

#include "resources/resource.h"
#include "support/Launcher.h"
#include "support/VersionInfo.h"
#include "update/InstallerCheck.h"
#include "update/UpgradeDescription.h"
#include "update/XKeyValueFile.h"

// The maker has named no host yet: a name under the reserved .example domain can never
// lead to a stranger's server. The path is the one the maker's server publishes.
const char kUpgradeDescriptionUrl[] = "https://www.tollvane.example/lumaspire/upgrade.txt";

namespace {

const char kAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
const UINT kProgressPeriodMs = 200;

}  // namespace

bool IsSecureUrl(const char* pszUrl)
{
    // Anything fetched over plain http could be replaced on the way: the installer it
    // names would then be someone else's program, run by the user.
    static const char kScheme[] = "https://";
    if (!pszUrl)
        return false;
    for (int i = 0; kScheme[i]; ++i) {
        char c = pszUrl[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kScheme[i])
            return false;  // also stops at the terminator of a shorter text
    }
    return true;
}

int ProgressPosition(double percent)
{
    // The percentage passes 100 when a file comes longer than its probe said; converting
    // a double beyond int's range is undefined. !(x > 0) also catches NaN.
    if (!(percent > 0))
        return 0;
    return percent < 100 ? static_cast<int>(percent) : 100;
}

BEGIN_MESSAGE_MAP(CUpgradeDlg, CDialog)
    ON_WM_TIMER()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CUpgradeDlg::CUpgradeDlg(const XVersionRecord& version)
    : CDialog(IDD_DOWNLOAD), m_version(version), m_bStarted(0), m_nProgressTimer(0), m_pAlive(nullptr)
{
    m_description.SetAgent(kAgent);
    m_installer.SetAgent(kAgent);
    m_secondFile.SetAgent(kAgent);
    if (!GetUpdateDirectory(m_szUpdateDir, sizeof(m_szUpdateDir)))
        return;  // no usable TEMP: no check this time
    // An empty name: the file keeps the last segment of the address, "upgrade.txt".
    if (m_description.AddFile(kUpgradeDescriptionUrl, m_szUpdateDir, "", 1) >= 0)
        m_description.Start();
}

CUpgradeDlg::~CUpgradeDlg()
{
    if (m_pAlive)
        *m_pAlive = false;
    if (m_hWnd)
        DestroyWindow();
    // The engines' destructors stop their workers.
}

int CUpgradeDlg::Ask(HWND hOwner, UINT nID, UINT nType) const
{
    CString text;
    text.LoadString(nID);
    return ::MessageBoxA(hOwner, text, m_version.ProductName, nType);
}

bool CUpgradeDlg::CheckUpgrade()
{
    if (m_bStarted)
        return false;
    if (m_strDescriptionPath.IsEmpty()) {
        if (!m_description.IsFinished(-1) || m_description.IsFailed(-1))
            return false;
        m_strDescriptionPath = m_description.GetFilePath(0);
        if (m_strDescriptionPath.IsEmpty())
            return false;
        XKeyValueFile description(m_strDescriptionPath);
        char* pszValue = nullptr;
        if (description.GetValue(kUpgradeKeyVersion, pszValue, 0))
            m_strVersion = pszValue;
        if (description.GetValue(kUpgradeKeyUrl, pszValue, 0))
            m_strUrl = pszValue;
        if (description.GetValue(kUpgradeKeyUrl2, pszValue, 0))
            m_strUrl2 = pszValue;
        if (description.GetValue(kUpgradeKeySignature, pszValue, 0))
            m_strSignature = pszValue;
        free(pszValue);
        // Only https addresses are fetched: a plain one counts as not given.
        if (!IsSecureUrl(m_strUrl))
            m_strUrl.Empty();
        if (!IsSecureUrl(m_strUrl2))
            m_strUrl2.Empty();
        if (!m_strUrl2.IsEmpty() && m_secondFile.AddFile(m_strUrl2, m_szUpdateDir, kUpgradeTmpName, 0) >= 0)
            m_secondFile.Start();
    }
    return !m_strVersion.IsEmpty() && !m_strUrl.IsEmpty();
}

bool CUpgradeDlg::StartUpgrade()
{
    m_bStarted = 1;
    if (IsSameVersion(m_version.FileVersion, m_strVersion))
        return false;

    // The question has no owner: the configuration dialog may close meanwhile and
    // delete this object.
    bool alive = true;
    m_pAlive = &alive;
    int answer = Ask(nullptr, IDS_UPGRADE_PROMPT, MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL);
    if (!alive)
        return false;
    m_pAlive = nullptr;
    if (answer != IDYES)
        return false;

    if (m_installer.AddFile(m_strUrl, m_szUpdateDir, "", 1) >= 0)
        m_installer.Start();
    ::InitCommonControls();  // the progress bar's window class
    return Create(IDD_DOWNLOAD, nullptr) != FALSE;
}

void CUpgradeDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DOWNLOAD_PROGRESS, m_progress);
}

BOOL CUpgradeDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_nProgressTimer = SetTimer(1, kProgressPeriodMs);
    if (!m_nProgressTimer)
        EndDialog(IDCANCEL);  // the download goes on unseen
    return TRUE;
}

void CUpgradeDlg::OnDestroy()
{
    // The bar's handle dies with the window: a stale entry could later name another.
    m_progress.Detach();
    CDialog::OnDestroy();
}

void CUpgradeDlg::OnOK()
{
    // Enter does not close the progress window.
}

void CUpgradeDlg::OnCancel()
{
    // Meanwhile the timer does nothing (m_pAlive is set): a download that completes
    // during the question must not start the installer behind the user's back.
    bool alive = true;
    m_pAlive = &alive;
    int answer = Ask(m_hWnd, IDS_CANCEL_DOWNLOAD, MB_YESNO | MB_ICONQUESTION);
    if (!alive)
        return;
    m_pAlive = nullptr;
    if (answer != IDYES)
        return;
    if (m_nProgressTimer) {
        KillTimer(m_nProgressTimer);
        m_nProgressTimer = 0;
    }
    // The worker sees the stop after its current call (on a stalled server, at the
    // connection's 10 s time-out) and deletes the partial file.
    m_installer.Stop(INFINITE);
    CDialog::OnCancel();
}

void CUpgradeDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != m_nProgressTimer || m_pAlive) {
        Default();
        return;
    }
    ::SendMessageA(m_progress.m_hWnd, PBM_SETPOS, static_cast<WPARAM>(ProgressPosition(m_installer.GetPercent())), 0);
    if (!m_installer.IsFinished(-1)) {
        Default();
        return;
    }
    KillTimer(m_nProgressTimer);
    m_nProgressTimer = 0;
    bool done = false;
    if (!m_installer.IsFailed(-1)) {
        CString path = m_installer.GetFilePath(0);  // freed only after the error is read
        // It runs with administrator rights: only the bytes the maker's key vouches for,
        // held against writers until the process has been started.
        XInstallerCheck check;
        if (check.Open(path, m_strVersion, m_strSignature))
            done = StartInstaller(path, m_hWnd);  // the consent prompt's owner
        else
            ::DeleteFileA(path);
    }
    // The window goes first, so the failure message stands on its own.
    DestroyWindow();
    if (!done)
        Ask(nullptr, IDS_DOWNLOAD_FAILED, MB_ICONERROR | MB_SYSTEMMODAL);
}

bool StartInstaller(const char* pszPath, HWND hOwner)
{
    if (RunProcess(pszPath, nullptr, 0, hOwner))
        return true;
    // A user who said No to Windows' consent prompt chose not to install now.
    return ::GetLastError() == ERROR_CANCELLED;
}
