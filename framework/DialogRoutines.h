// Table-driven helpers for dialog controls.
#pragma once

#include <windows.h>

struct ControlEnable {
    int id;       // 0 ends the table
    BOOL enable;
};

struct RadioValue {
    int id;       // 0 ends the table
    int value;
};

const int kRadioToControls = 0;  // any other direction reads the controls

void EnableControls(HWND hDlg, const ControlEnable* table);
// Direction 0 checks (and clicks) the button whose value equals the variable and
// unchecks the rest; any other direction stores the value of the checked button.
void ExchangeRadioGroup(HWND hDlg, int& variable, const RadioValue* table, int direction);
