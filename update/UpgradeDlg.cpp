#include "update/UpgradeDlg.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "resources/resource.h"
#include "support/Launcher.h"
#include "support/VersionInfo.h"
#include "update/UpdateSignature.h"
#include "update/UpgradeDescription.h"
#include "update/XKeyValueFile.h"

// The maker has named no host yet: a name under the reserved .example domain can never
// lead to a stranger's server. The path is the one the maker's server publishes.
const char kUpgradeDescriptionUrl[] = "https://www.tollvane.example/lumaspire/upgrade.txt";

namespace {

const char kAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
const UINT kProgressPeriodMs = 200;

// The started installer's process and its checked file: the file stays held (against
// writers, renaming and deleting) until the process has ended, then both are let go.
struct InstallerHold {
    HANDLE process;
    HANDLE file;
};

DWORD WINAPI HoldUntilEnded(LPVOID param)
{
    InstallerHold* hold = static_cast<InstallerHold*>(param);
    ::WaitForSingleObject(hold->process, INFINITE);
    ::CloseHandle(hold->file);
    ::CloseHandle(hold->process);
    free(hold);
    return 0;
}

}  // namespace

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

bool IsInstallerName(const char* pszName)
{
    size_t length = pszName ? strlen(pszName) : 0;
    return length > 4 && _strnicmp(pszName + length - 4, ".exe", 4) == 0;
}

CUpgradeDlg::CUpgradeDlg(const XVersionRecord& version)
    : CDialog(IDD_DOWNLOAD), m_version(version), m_bStarted(0), m_nSize(-1), m_nProgressTimer(0), m_pAlive(nullptr)
{
    XDownload* engines[] = { &m_description, &m_installer, &m_secondFile };
    for (XDownload* engine : engines) {
        engine->SetAgent(kAgent);
        engine->SetSecureOnly(true);  // redirects too
    }
    // No usable TEMP, or no plain folder there: no check this time.
    if (!GetUpdateDirectory(m_szUpdateDir, sizeof(m_szUpdateDir)) || !PrepareUpdateFolder(m_szUpdateDir, m_folder)) {
        m_szUpdateDir[0] = '\0';
        return;
    }
    // An empty name: the file keeps the last segment of the address, "upgrade.txt".
    int item = m_description.AddFile(kUpgradeDescriptionUrl, m_szUpdateDir, "", 1);
    if (item >= 0 && m_description.SetSizeLimit(item, kDescriptionLimit, false))
        m_description.Start();
}

CUpgradeDlg::~CUpgradeDlg()
{
    if (m_pAlive)
        *m_pAlive = false;
    if (m_hWnd)
        DestroyWindow();
    // The installer may still read itself: the process stays until it has ended, and
    // the hold with it. Messages sent to this thread meanwhile are answered, so no
    // program waiting on them (a setting broadcast by the installer itself) waits on
    // this one.
    if (m_holder) {
        HANDLE holder = m_holder.Get();
        while (::MsgWaitForMultipleObjects(1, &holder, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        }
    }
    m_check.Close();
    // Nothing reads the second file: it goes with the flow.
    CString secondFile = m_secondFile.GetFilePath(0);
    m_secondFile.Reset();
    if (!secondFile.IsEmpty())
        ::DeleteFileA(secondFile);
    // The other engines' destructors stop their workers.
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
        bool badSize = false;
        if (description.GetValue(kUpgradeKeySize, pszValue, 0)) {
            m_nSize = ParseInstallerSize(pszValue);
            badSize = m_nSize < 0;
        }
        free(pszValue);
        // Only https addresses are fetched, and only a program is started: a plain
        // address, a name not ending in ".exe" or a size that is no size make the
        // installer count as not given.
        if (!IsSecureUrl(m_strUrl) || !IsInstallerName(XDownload::FileNameFromUrl(m_strUrl)) || badSize)
            m_strUrl.Empty();
        if (!IsSecureUrl(m_strUrl2))
            m_strUrl2.Empty();
        // Nothing reads the second file; the maker's server may count the request. Its
        // first 64 KiB are kept, and removed when the flow ends.
        int item = m_strUrl2.IsEmpty() ? -1 : m_secondFile.AddFile(m_strUrl2, m_szUpdateDir, kUpgradeTmpName, 0);
        if (item >= 0 && m_secondFile.SetSizeLimit(item, kSecondFileLimit, true))
            m_secondFile.Start();
    }
    return !m_strVersion.IsEmpty() && !m_strUrl.IsEmpty();
}

bool CUpgradeDlg::StartUpgrade()
{
    m_bStarted = 1;
    // The program's own version as its version text gives it; the fixed version numbers
    // where that text is no a.b.c.d.
    unsigned short own[4];
    const char* ownVersion = ParseVersion(m_version.FileVersion, own) ? m_version.FileVersion
                                                                       : m_version.FileVersionNumber;
    if (!IsNewerVersion(ownVersion, m_strVersion))
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

    // A folder that turned into a link since the check began is not written through.
    int item = IsPlainFolder(m_folder) ? m_installer.AddFile(m_strUrl, m_szUpdateDir, "", 1) : -1;
    // Without a signed size the engine's own limit holds.
    if (item < 0 || (m_nSize >= 0 && !m_installer.SetSizeLimit(item, m_nSize, false)) || !m_installer.Start()) {
        Ask(nullptr, IDS_DOWNLOAD_FAILED, MB_ICONERROR | MB_SYSTEMMODAL);
        return false;
    }
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
    // The worker sees the stop after its current call: on a stalled server, at the
    // connection's 10 s time-out, but a server that trickles a byte now and then never
    // lets that call return. After a short wait the worker is left to end by itself
    // and the partial file is deleted.
    m_installer.Stop(kCancelWaitMs);
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
    bool done = !m_installer.IsFailed(-1) && CheckAndStartInstaller();
    // The window goes first, so the failure message stands on its own.
    DestroyWindow();
    if (!done)
        Ask(nullptr, IDS_DOWNLOAD_FAILED, MB_ICONERROR | MB_SYSTEMMODAL);
}

bool CUpgradeDlg::CheckAndStartInstaller()
{
    CString path = m_installer.GetFilePath(0);
    // It runs with administrator rights: only the bytes the maker's key vouches for,
    // held against writers until the installer has ended (it reads its own file while it
    // runs), and started by the held file's own path.
    char runPath[MAX_PATH];
    if (!IsPlainFolder(m_folder) || !m_check.Open(path, m_strVersion, m_nSize, m_strSignature) ||
        !m_check.GetRunPath(runPath, sizeof(runPath))) {
        m_check.Close();
        ::DeleteFileA(path);
        return false;
    }
    HANDLE process = nullptr;
    bool done = StartInstaller(runPath, m_hWnd, &process);  // the consent prompt's owner
    if (!done)
        m_check.Close();
    // Without a process to wait on (no handle came back, or no thread can be made), the
    // hold lasts as long as this object.
    InstallerHold* hold = process ? static_cast<InstallerHold*>(malloc(sizeof(InstallerHold))) : nullptr;
    if (hold) {
        hold->process = process;
        m_holder.Reset(::CreateThread(nullptr, 0, HoldUntilEnded, hold, CREATE_SUSPENDED, nullptr));
        if (m_holder) {
            hold->file = m_check.Detach();
            ::ResumeThread(m_holder.Get());
        } else {
            ::CloseHandle(process);
            free(hold);
        }
    } else if (process) {
        ::CloseHandle(process);
    }
    return done;
}

bool StartInstaller(const char* pszPath, HWND hOwner, HANDLE* process)
{
    if (RunProcess(pszPath, nullptr, 0, hOwner, process))
        return true;
    // A user who said No to Windows' consent prompt chose not to install now.
    return ::GetLastError() == ERROR_CANCELLED;
}
