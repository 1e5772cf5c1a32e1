// The configuration dialog object; it also holds the settings record in every mode.
#pragma once

#include "host/ScreenSaverApp.h"

class CSettingsDlg : public CScreenSaverDlg {
public:
    bool LoadSettings() { return true; }
    bool SaveSettings() { return true; }
};
