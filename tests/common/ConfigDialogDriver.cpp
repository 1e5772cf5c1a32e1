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
