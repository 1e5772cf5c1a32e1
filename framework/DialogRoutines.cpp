#include "framework/DialogRoutines.h"

void EnableControls(HWND hDlg, const ControlEnable* table)
{
    for (; table->id != 0; ++table) {
        HWND hCtrl = ::GetDlgItem(hDlg, table->id);
        if (hCtrl)
            ::EnableWindow(hCtrl, table->enable);
    }
}

void ExchangeRadioGroup(HWND hDlg, int& variable, const RadioValue* table, int direction)
{
    for (; table->id != 0; ++table) {
        HWND hCtrl = ::GetDlgItem(hDlg, table->id);
        if (!hCtrl)
            continue;
        if (direction == kRadioToControls) {
            if (table->value == variable) {
                ::SendMessageA(hCtrl, BM_SETCHECK, BST_CHECKED, 0);
                ::SetFocus(hCtrl);
                // React as to a click, so the button's handler runs.
                ::SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(table->id, BN_CLICKED),
                               reinterpret_cast<LPARAM>(hCtrl));
            } else {
                ::SendMessageA(hCtrl, BM_SETCHECK, BST_UNCHECKED, 0);
            }
        } else if (::SendMessageA(hCtrl, BM_GETCHECK, 0, 0) == BST_CHECKED) {
            variable = table->value;
        }
    }
}
