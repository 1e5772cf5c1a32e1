// The configuration dialog's side of the update check: one controller per opening,
// polled by the dialog's timer and deleted with its window.
#include "settings/SettingsDlg.h"

#include <new>

#include "update/UpgradeDlg.h"

bool CSettingsDlg::CreateUpgradeController()
{
    m_pUpgradeDlg = new (std::nothrow) CUpgradeDlg(m_versionRecord);
    return m_pUpgradeDlg != nullptr;
}

bool CSettingsDlg::UpgradeReady()
{
    return m_pUpgradeDlg->CheckUpgrade();
}

void CSettingsDlg::StartUpgradePrompt()
{
    m_pUpgradeDlg->StartUpgrade();
}

void CSettingsDlg::DeleteUpgradeController()
{
    // Stops every download that still runs and closes the progress window.
    delete m_pUpgradeDlg;
    m_pUpgradeDlg = nullptr;
}
