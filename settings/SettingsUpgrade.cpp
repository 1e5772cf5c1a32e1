// The configuration dialog's seam to the update controller. Until the update check
// exists no controller is made, so the dialog starts no timer and stops nothing.
#include "settings/SettingsDlg.h"

bool CSettingsDlg::CreateUpgradeController()
{
    m_pUpgradeDlg = nullptr;
    return false;
}

bool CSettingsDlg::UpgradeReady()
{
    return false;
}

void CSettingsDlg::StartUpgradePrompt() {}

void CSettingsDlg::DeleteUpgradeController()
{
    m_pUpgradeDlg = nullptr;
}
