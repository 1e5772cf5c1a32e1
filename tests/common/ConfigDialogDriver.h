// lumaspire.scr /c driven as a user drives it: its configuration dialog found, its
// controls read, clicked and typed into, and the other dialogs it opens (message boxes,
// the Open dialog, the download progress window) found and read.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/TestSupport.h"

// A visible top-level dialog for which accept(window, its process id) holds; null when none.
HWND FindDialog(const std::function<bool(HWND, DWORD)>& accept);

// Text of any window, read without hanging on one that does not answer.
std::string TextOf(HWND hWnd);

// The static controls of a message box: its text and its icon.
struct MessageBoxParts {
    std::string text;
    HWND icon = nullptr;
};
MessageBoxParts PartsOf(HWND hBox);

// Strongly red pixels, as the error icon has and the warning and information icons lack.
int CountRedPixels(HWND hWnd);

POINT CentreOf(const RECT& rc);

// What is wrong with the dialog's layout at the screen's DPI, "" when nothing is: a control
// reaching out of the client area, two controls overlapping (a group box may hold
// others), a button's or box's caption wider than the control leaves for it.
std::string LayoutFault(HWND hDlg);

// One run of lumaspire.scr showing its configuration dialog.
class ConfigDialog {
public:
    // Starts exe (the built lumaspire.scr unless given) with args.
    bool Open(const std::string& args = "/c", const std::vector<std::string>& extraEnv = {},
              const std::string& exe = SaverPath());

    HWND Dlg() const { return m_hDlg; }
    HWND Item(int id) const { return ::GetDlgItem(m_hDlg, id); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    bool Checked(int id) const { return SendTo(id, BM_GETCHECK) == BST_CHECKED; }
    std::string Text(int id) const { return TextOf(Item(id)); }
    void SetText(int id, const std::string& text) const
    {
        SendTo(id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // For controls whose click opens nothing modal.
    void Click(int id) const { SendTo(id, BM_CLICK); }
    // For buttons that may open a modal window: returns at once.
    void PostClick(int id) const { ::PostMessageA(Item(id), BM_CLICK, 0, 0); }

    // A visible dialog of the process other than the configuration dialog (a message
    // box, the Open dialog, the progress window) for which accept holds; null when none
    // came within timeoutMs.
    HWND WaitForOtherDialog(DWORD timeoutMs = 15000,
                            const std::function<bool(HWND)>& accept = nullptr) const;

    HWND FocusedControl() const;
    // Still open, and answering.
    bool StillOpen() const;
    DWORD WaitExit(DWORD timeoutMs = 15000) { return m_process.WaitExit(timeoutMs); }
    DWORD ProcessId() const { return m_process.Id(); }
    // Sends a message whose lParam points to bytes, copied into the dialog's process (a
    // folder picker's BFFM_SETSELECTIONA with a path).
    LRESULT SendWithData(HWND hWnd, UINT message, WPARAM wParam, const void* data, size_t size) const;

private:
    LRESULT SendTo(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    SaverProcess m_process;
    HWND m_hDlg = nullptr;
};
