#include "common/ConfigDialogDriver.h"

#include <cstring>

namespace {

struct FoundDialog {
    const std::function<bool(HWND, DWORD)>* accept;
    HWND found;
};

BOOL CALLBACK FindAcceptedDialog(HWND hWnd, LPARAM lParam)
{
    auto* f = reinterpret_cast<FoundDialog*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    char cls[32] = {};
    ::GetClassNameA(hWnd, cls, sizeof(cls));
    if (::IsWindowVisible(hWnd) && strcmp(cls, "#32770") == 0 && (*f->accept)(hWnd, pid)) {
        f->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStatic(HWND hWnd, LPARAM lParam)
{
    auto* parts = reinterpret_cast<MessageBoxParts*>(lParam);
    char cls[32] = {};
    ::GetClassNameA(hWnd, cls, sizeof(cls));
    if (lstrcmpiA(cls, "Static") != 0)
        return TRUE;
    if ((::GetWindowLongA(hWnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        parts->icon = hWnd;
    else if (parts->text.empty())
        parts->text = TextOf(hWnd);
    return TRUE;
}

}  // namespace

HWND FindDialog(const std::function<bool(HWND, DWORD)>& accept)
{
    FoundDialog f = { &accept, nullptr };
    ::EnumWindows(FindAcceptedDialog, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

std::string TextOf(HWND hWnd)
{
    char text[1024] = {};
    DWORD_PTR got = 0;
    ::SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &got);
    return text;
}

MessageBoxParts PartsOf(HWND hBox)
{
    MessageBoxParts parts;
    ::EnumChildWindows(hBox, CollectStatic, reinterpret_cast<LPARAM>(&parts));
    return parts;
}

int CountRedPixels(HWND hWnd)
{
    RECT rc;
    ::GetWindowRect(hWnd, &rc);
    ScreenShot shot;
    if (!shot.Capture(&rc))
        return -1;
    int n = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            COLORREF c = shot.At(x, y);
            if (GetRValue(c) > 180 && GetGValue(c) < 100 && GetBValue(c) < 100)
                ++n;
        }
    return n;
}

POINT CentreOf(const RECT& rc)
{
    return { (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2 };
}

std::string LayoutFault(HWND hDlg)
{
    RECT client;
    ::GetClientRect(hDlg, &client);
    ::MapWindowPoints(hDlg, nullptr, reinterpret_cast<POINT*>(&client), 2);
    struct Control {
        HWND hWnd;
        RECT rc;
        bool group;
    };
    std::vector<Control> controls;
    for (HWND h = ::GetWindow(hDlg, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        char cls[32] = {};
        ::GetClassNameA(h, cls, sizeof(cls));
        const LONG style = ::GetWindowLongA(h, GWL_STYLE);
        const bool button = lstrcmpiA(cls, "Button") == 0;
        Control c = { h, {}, button && (style & BS_TYPEMASK) == BS_GROUPBOX };
        ::GetWindowRect(h, &c.rc);
        controls.push_back(c);
        const std::string id = "control " + std::to_string(::GetDlgCtrlID(h));
        RECT both;
        if (!::IntersectRect(&both, &c.rc, &client) || !::EqualRect(&both, &c.rc))
            return id + " reaches out of the dialog";
        if (!button || c.group)
            continue;
        // The caption as the control draws it, with its own font.
        const std::string text = TextOf(h);
        HDC hdc = ::GetDC(h);
        HGDIOBJ old = ::SelectObject(hdc, reinterpret_cast<HFONT>(::SendMessageA(h, WM_GETFONT, 0, 0)));
        RECT measured = {};
        ::DrawTextA(hdc, text.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE);
        ::SelectObject(hdc, old);
        ::ReleaseDC(h, hdc);
        const LONG kind = style & BS_TYPEMASK;
        const bool box = kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX || kind == BS_AUTORADIOBUTTON ||
                         kind == BS_RADIOBUTTON;
        const int room = (c.rc.right - c.rc.left) - (box ? ::GetSystemMetrics(SM_CXMENUCHECK) + 3 : 4);
        if (measured.right > room)
            return id + " \"" + text + "\" is " + std::to_string(measured.right) + " pixels wide in " +
                   std::to_string(room);
    }
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j) {
            RECT both;
            if (controls[i].group || controls[j].group || !::IntersectRect(&both, &controls[i].rc, &controls[j].rc))
                continue;
            return "controls " + std::to_string(::GetDlgCtrlID(controls[i].hWnd)) + " and " +
                   std::to_string(::GetDlgCtrlID(controls[j].hWnd)) + " overlap";
        }
    }
    return "";
}

bool ConfigDialog::Open(const std::string& args, const std::vector<std::string>& extraEnv,
                        const std::string& exe)
{
    if (!m_process.Start(args, exe, extraEnv))
        return false;
    m_hDlg = WaitForProcessWindow(m_process.Id(), "#32770", 20000);
    return m_hDlg != nullptr;
}

HWND ConfigDialog::WaitForOtherDialog(DWORD timeoutMs, const std::function<bool(HWND)>& accept) const
{
    HWND found = nullptr;
    PumpUntil([&] {
        found = FindDialog([&](HWND hWnd, DWORD pid) {
            return pid == m_process.Id() && hWnd != m_hDlg && (!accept || accept(hWnd));
        });
        return found != nullptr;
    }, timeoutMs);
    return found;
}

HWND ConfigDialog::FocusedControl() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(m_hDlg, nullptr), &info);
    return info.hwndFocus;
}

bool ConfigDialog::StillOpen() const
{
    PumpFor(300);
    return m_process.Running() && ::IsWindowVisible(m_hDlg) && SendTo(IDOK, WM_GETDLGCODE) != 0;
}

LRESULT ConfigDialog::SendTo(int id, UINT message, WPARAM wParam, LPARAM lParam) const
{
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(Item(id), message, wParam, lParam, SMTO_NORMAL, 10000, &result);
    return static_cast<LRESULT>(result);
}

LRESULT ConfigDialog::SendWithData(HWND hWnd, UINT message, WPARAM wParam, const void* data, size_t size) const
{
    HANDLE hProcess = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, m_process.Id());
    if (!hProcess)
        return 0;
    void* remote = ::VirtualAllocEx(hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    DWORD_PTR result = 0;
    if (remote && ::WriteProcessMemory(hProcess, remote, data, size, nullptr))
        ::SendMessageTimeoutA(hWnd, message, wParam, reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, 10000, &result);
    if (remote)
        ::VirtualFreeEx(hProcess, remote, 0, MEM_RELEASE);
    ::CloseHandle(hProcess);
    return static_cast<LRESULT>(result);
}
