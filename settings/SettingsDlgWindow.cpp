// The configuration dialog window: initialisation, data exchange, enabling rules and the
// buttons.
#include "settings/SettingsDlg.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "about/AboutDlg.h"
#include "framework/AfxDlgs.h"
#include "framework/DialogRoutines.h"
#include "resources/resource.h"
#include "support/FileList.h"
#include "support/Launcher.h"
#include "support/TextCopy.h"
#include "support/Maker.h"

namespace {

const UINT_PTR kUpdatePollTimer = 1;
const UINT kUpdatePollMs = 500;
const int kRadioFromControls = 1;

const RadioValue kViewSizeRadios[] = {
    { IDC_VIEW_ORIGINAL, 1 },
    { IDC_VIEW_FULLSCREEN, 2 },
    { IDC_VIEW_16_9, 3 },
    { IDC_VIEW_CUSTOM, 0 },
    { 0, 0 },
};

const int kStartTimeFields[] = { IDC_START_HOUR, IDC_START_MINUTE, IDC_START_SECOND, IDC_START_MILLISECOND };
const int kEndTimeFields[] = { IDC_END_HOUR, IDC_END_MINUTE, IDC_END_SECOND, IDC_END_MILLISECOND };

void EnableCustomSize(HWND hDlg, BOOL enable)
{
    const ControlEnable table[] = { { IDC_VIEW_WIDTH, enable }, { IDC_VIEW_HEIGHT, enable }, { 0, FALSE } };
    EnableControls(hDlg, table);
}

// The window at the end of the owner chain: parents for child windows, owners for
// pop-ups; the window itself when it has neither.
HWND TopLevelOwner(HWND hWnd)
{
    for (;;) {
        HWND next = (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD) ? ::GetParent(hWnd)
                                                                   : ::GetWindow(hWnd, GW_OWNER);
        if (!next)
            return hWnd;
        hWnd = next;
    }
}

// The folder picker starts at the chosen folder, or at the chosen file's folder.
int CALLBACK StartPickerAt(HWND hWnd, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED && data && *reinterpret_cast<const char*>(data))
        ::SendMessageA(hWnd, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

void FolderOf(const CString& path, char* folder, size_t cbFolder)
{
    CopyTextBounded(folder, cbFolder, path);
    if (IsDirectory(folder))
        return;
    // The text before the last backslash, double-byte characters kept whole.
    char* cut = nullptr;
    for (char* p = folder; *p; p = ::CharNextA(p)) {
        if (*p == '\\')
            cut = p;
    }
    if (cut)
        *(cut > folder && cut[-1] == ':' ? cut + 1 : cut) = '\0';
    else
        *folder = '\0';
}

// The resizable picker with its new-folder button: shell32 5.0 and later (Windows 2000,
// Me); the classic one before. No edit box: Wine's picker then takes the box's text over
// the folder selected in the tree.
UINT NewerPickerOptions()
{
    typedef HRESULT(CALLBACK * DllGetVersionProc)(DLLVERSIONINFO*);
    HMODULE shell = ::GetModuleHandleA("shell32.dll");
    DllGetVersionProc getVersion =
        shell ? reinterpret_cast<DllGetVersionProc>(::GetProcAddress(shell, "DllGetVersion")) : nullptr;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (!getVersion || FAILED(getVersion(&info)) || info.dwMajorVersion < 5)
        return 0;
    return BIF_NEWDIALOGSTYLE;
}

}  // namespace

IMPLEMENT_DYNAMIC(CSettingsDlg, CScreenSaverDlg)

BEGIN_MESSAGE_MAP(CSettingsDlg, CScreenSaverDlg)
    ON_WM_TIMER()
    ON_WM_DESTROY()
    ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
    ON_BN_CLICKED(IDC_VIEW_ORIGINAL, OnFixedViewSize)
    ON_BN_CLICKED(IDC_VIEW_FULLSCREEN, OnFixedViewSize)
    ON_BN_CLICKED(IDC_VIEW_16_9, OnFixedViewSize)
    ON_BN_CLICKED(IDC_VIEW_CUSTOM, OnCustomViewSize)
    ON_BN_CLICKED(IDC_HOMEPAGE, OnHomePage)
    ON_BN_CLICKED(IDC_ABOUT, OnAbout)
    ON_BN_CLICKED(IDC_AUTO_UPDATE, StartUpdateCheck)
    ON_BN_CLICKED(IDC_START_TIME, OnStartTime)
    ON_BN_CLICKED(IDC_END_TIME, OnEndTime)
    ON_BN_CLICKED(IDC_CHOOSE_FOLDER, OnChooseFolder)
END_MESSAGE_MAP()

void CSettingsDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_CLIP_PATH, m_strClipPath);
    DDX_Text(pDX, IDC_VIEW_WIDTH, m_nCustomWidth);
    DDX_Text(pDX, IDC_VIEW_HEIGHT, m_nCustomHeight);
    DDX_Check(pDX, IDC_LOOP, m_bLoop);
    DDX_Check(pDX, IDC_MUTE, m_bMute);
    DDX_Check(pDX, IDC_AUTO_UPDATE, m_bAutoUpdate);
    DDX_Check(pDX, IDC_START_TIME, m_bStartTime);
    DDX_Check(pDX, IDC_END_TIME, m_bEndTime);
    DDX_Check(pDX, IDC_SHUFFLE, m_bShuffle);
    DDX_Check(pDX, IDC_RESUME, m_bResume);
    DDX_Text(pDX, IDC_START_HOUR, m_nStartHour);
    DDX_Text(pDX, IDC_START_MINUTE, m_nStartMinute);
    DDX_Text(pDX, IDC_START_SECOND, m_nStartSecond);
    DDX_Text(pDX, IDC_START_MILLISECOND, m_nStartMillisecond);
    DDX_Text(pDX, IDC_END_HOUR, m_nEndHour);
    DDX_Text(pDX, IDC_END_MINUTE, m_nEndMinute);
    DDX_Text(pDX, IDC_END_SECOND, m_nEndSecond);
    DDX_Text(pDX, IDC_END_MILLISECOND, m_nEndMillisecond);
}

BOOL CSettingsDlg::OnInitDialog()
{
    CScreenSaverDlg::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    CenterWindow();
    StartUpdateCheck();
    // Checks and clicks the stored option's button, whose handler sets 1007 and 1008.
    ExchangeRadioGroup(m_hWnd, m_nViewSizeOption, kViewSizeRadios, kRadioToControls);
    UpdateData(FALSE);
    ApplyFolderRule();
    CString caption;
    if (caption.LoadString(IDS_HOMEPAGE))
        SetDlgItemText(IDC_HOMEPAGE, caption);
    return TRUE;
}

void CSettingsDlg::OnFixedViewSize()
{
    EnableCustomSize(m_hWnd, FALSE);
}

void CSettingsDlg::OnCustomViewSize()
{
    EnableCustomSize(m_hWnd, TRUE);
}

void CSettingsDlg::ApplyTimeRule(int nCheckBox, const int* fieldIds)
{
    UpdateData(TRUE);  // a bad field has been reported; the rule still follows the box
    // The box itself decides: the record's flag is stale when the transfer stopped early.
    BOOL enable = !m_bFolderChosen && IsDlgButtonChecked(nCheckBox) == BST_CHECKED;
    const ControlEnable table[] = {
        { fieldIds[0], enable }, { fieldIds[1], enable }, { fieldIds[2], enable }, { fieldIds[3], enable },
        { 0, FALSE },
    };
    EnableControls(m_hWnd, table);
}

void CSettingsDlg::OnStartTime()
{
    ApplyTimeRule(IDC_START_TIME, kStartTimeFields);
}

void CSettingsDlg::OnEndTime()
{
    ApplyTimeRule(IDC_END_TIME, kEndTimeFields);
}

void CSettingsDlg::ApplyFolderRule()
{
    CString path;
    GetDlgItemText(IDC_CLIP_PATH, path);
    m_bFolderChosen = IsDirectory(path);
    const BOOL oneClip = !m_bFolderChosen;
    const ControlEnable table[] = { { IDC_START_TIME, oneClip }, { IDC_END_TIME, oneClip }, { 0, FALSE } };
    EnableControls(m_hWnd, table);
    OnStartTime();
    OnEndTime();
}

void CSettingsDlg::OnChooseFolder()
{
    // As for Browse: a bad field has just been reported and has the focus.
    if (!UpdateData(TRUE))
        return;
    char start[MAX_PATH] = {};
    FolderOf(m_strClipPath, start, sizeof(start));
    char name[MAX_PATH] = {};
    BROWSEINFOA bi = {};
    bi.hwndOwner = m_hWnd;
    bi.pszDisplayName = name;
    bi.lpszTitle = "请选择存放剪辑的文件夹：";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | NewerPickerOptions();
    bi.lpfn = StartPickerAt;
    bi.lParam = reinterpret_cast<LPARAM>(start);
    LPITEMIDLIST chosen = ::SHBrowseForFolderA(&bi);
    if (!chosen)
        return;  // cancelled
    char path[MAX_PATH] = {};
    const BOOL isPath = ::SHGetPathFromIDListA(chosen, path);
    IMalloc* shellMalloc = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&shellMalloc)) && shellMalloc) {
        shellMalloc->Free(chosen);
        shellMalloc->Release();
    }
    if (!isPath || !*path)
        return;  // a place that is no folder of the file system (the picker allows none)
    m_strClipPath = path;
    SetDlgItemText(IDC_CLIP_PATH, m_strClipPath);
    ApplyFolderRule();
}

void CSettingsDlg::StartUpdateCheck()
{
    UpdateData(TRUE);
    // Unticking does not stop a check that runs; ticking again does not start a second.
    if (IsDlgButtonChecked(IDC_AUTO_UPDATE) != BST_CHECKED || m_pUpgradeDlg)
        return;
    if (!CreateUpgradeController())
        return;  // nothing to poll
    m_nTimerId = SetTimer(kUpdatePollTimer, kUpdatePollMs);
    m_bPromptShown = FALSE;
}

void CSettingsDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == m_nTimerId && m_pUpgradeDlg && !m_bPromptShown && UpgradeReady()) {
        // Set first: ticks that arrive while the prompt's message box is open do nothing.
        m_bPromptShown = TRUE;
        StartUpgradePrompt();
    }
    CScreenSaverDlg::OnTimer(nIDEvent);
}

void CSettingsDlg::OnDestroy()
{
    CScreenSaverDlg::OnDestroy();
    if (m_nTimerId) {
        KillTimer(m_nTimerId);
        m_nTimerId = 0;
        m_bPromptShown = FALSE;
    }
    DeleteUpgradeController();
}

void CSettingsDlg::OnBrowse()
{
    // A bad field has just been reported and has the focus: leave every edit as it is.
    if (!UpdateData(TRUE))
        return;
    CFileDialog dlg(TRUE, nullptr, m_strClipPath, OFN_HIDEREADONLY, "全部文件|*.*|", this);
    if (dlg.DoModal() != IDOK)
        return;
    // Only the path: the other controls keep exactly what the user typed.
    m_strClipPath = dlg.GetPathName();
    SetDlgItemText(IDC_CLIP_PATH, m_strClipPath);
    ApplyFolderRule();
}

void CSettingsDlg::OnHomePage()
{
    ShellOpen(kHomePageUrl, nullptr, 0);
}

void CSettingsDlg::OnAbout()
{
    AboutVersionTexts texts = {m_versionRecord.FileVersion, m_versionRecord.ProductVersion,
                               m_versionRecord.LegalCopyright};
    CAboutDlg about(texts);
    about.ShowDialog(this);
}

void CSettingsDlg::OnOK()
{
    if (!UpdateData(TRUE))
        return;

    // Only when both are enabled: a lone start or end is never compared with the clip.
    // A folder's clips are played whole: its (disabled) times are kept, not checked.
    if (m_bStartTime && m_bEndTime && !m_bFolderChosen) {
        ULONGLONG start = 0, end = 0;
        GetClipTimes(&start, &end);
        if (start >= end) {
            CString format, startCaption, endCaption, message;
            format.LoadString(IDS_TIME_ORDER);
            GetDlgItemText(IDC_START_TIME, startCaption);
            GetDlgItemText(IDC_END_TIME, endCaption);
            message.Format(format, startCaption.GetString(), endCaption.GetString());
            ::MessageBoxA(nullptr, message, m_versionRecord.ProductName, MB_ICONERROR | MB_SYSTEMMODAL);
            return;
        }
    }

    ExchangeRadioGroup(m_hWnd, m_nViewSizeOption, kViewSizeRadios, kRadioFromControls);
    CScreenSaverApp* pApp = GetScreenSaverApp();
    if (pApp)
        pApp->SaveSettings();  // a failed save closes the dialog all the same
    EndDialog(IDOK);
}

void CSettingsDlg::OnCancel()
{
    // Closing the top-level owner is only ours to do when it is our own window: for /c
    // the owner is whatever window was in front, for /c:<hwnd> Display Properties.
    HWND hTop = TopLevelOwner(m_hWnd);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hTop, &processId);
    if (processId == ::GetCurrentProcessId())
        ::PostMessageA(hTop, WM_CLOSE, 0, 0);
    EndDialog(IDCANCEL);
}
