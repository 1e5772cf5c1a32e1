#include "settings/SettingsDlg.h"
