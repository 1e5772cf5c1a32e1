#include "framework/AfxWin.h"

#include <map>

#include "framework/AfxDC.h"

IMPLEMENT_DYNAMIC(CWnd, CObject)

namespace {

// Windows are created and dispatched only on the UI thread, so the map needs no lock.
std::map<HWND, CWnd*>& HandleMap()
{
    static std::map<HWND, CWnd*> map;
    return map;
}

// The message being dispatched on this thread, for CWnd::Default.
thread_local MSG t_currentMsg;

}  // namespace

CWnd::~CWnd()
{
    // The window itself is left alone: its owner destroys it (or it is already gone).
    Detach();
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (!hWnd || m_hWnd)
        return FALSE;
    m_hWnd = hWnd;
    HandleMap()[hWnd] = this;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    if (hWnd) {
        auto it = HandleMap().find(hWnd);
        if (it != HandleMap().end() && it->second == this)
            HandleMap().erase(it);
        m_hWnd = nullptr;
    }
    return hWnd;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    auto it = HandleMap().find(hWnd);
    return it == HandleMap().end() ? nullptr : it->second;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(t_currentMsg.message, t_currentMsg.wParam, t_currentMsg.lParam);
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

void CWnd::ClientToScreen(LPRECT lpRect) const
{
    ::ClientToScreen(m_hWnd, reinterpret_cast<POINT*>(&lpRect->left));
    ::ClientToScreen(m_hWnd, reinterpret_cast<POINT*>(&lpRect->right));
}

void CWnd::CenterWindow()
{
    RECT area;
    HWND hOwner = ::GetWindow(m_hWnd, GW_OWNER);
    if (hOwner && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner)) {
        ::GetWindowRect(hOwner, &area);
    } else {
        HMONITOR hMonitor = ::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST);
        MONITORINFO mi = {};
        mi.cbSize = sizeof(mi);
        if (hMonitor && ::GetMonitorInfoA(hMonitor, &mi))
            area = mi.rcWork;
        else
            ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    int cx = rc.right - rc.left;
    int cy = rc.bottom - rc.top;
    int x = area.left + ((area.right - area.left) - cx) / 2;
    int y = area.top + ((area.bottom - area.top) - cy) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
BOOL CWnd::OnQueryNewPalette() { return static_cast<BOOL>(Default()); }
void CWnd::OnPaletteChanged(HWND) { Default(); }

void CWnd::OnNcDestroy()
{
    Default();
    Detach();
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = { { 0, 0, 0, 0, AfxSig_end, nullptr } };
    static const AFX_MSGMAP map = { nullptr, entries };
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

namespace {

const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* pMap, UINT message, UINT code, UINT id)
{
    for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = pMap->lpEntries; e->nSig != AfxSig_end; ++e) {
            if (e->nMessage != message)
                continue;
            if (message != WM_COMMAND)
                return e;
            // Plain ON_COMMAND entries (code 0) also take accelerator and menu commands.
            if (e->nCode == code && id >= e->nID && id <= e->nLastID)
                return e;
        }
    }
    return nullptr;
}

}  // namespace

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    UINT code = HIWORD(wParam);
    // Menus (0) and accelerators (1) send no control handle: both are plain commands.
    if (message == WM_COMMAND && lParam == 0)
        code = 0;
    const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), message, code, LOWORD(wParam));
    if (!e)
        return FALSE;

    LRESULT result = 0;
    switch (e->nSig) {
    case AfxSig_lwl:
        result = (this->*reinterpret_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(e->pfn))(wParam, lParam);
        break;
    case AfxSig_vv:
        (this->*e->pfn)();
        break;
    case AfxSig_is:
        result = (this->*reinterpret_cast<int (CWnd::*)(LPCREATESTRUCT)>(e->pfn))(
            reinterpret_cast<LPCREATESTRUCT>(lParam));
        break;
    case AfxSig_bD: {
        CDC dc;
        dc.m_hDC = reinterpret_cast<HDC>(wParam);
        result = (this->*reinterpret_cast<BOOL (CWnd::*)(CDC*)>(e->pfn))(&dc);
        dc.m_hDC = nullptr;  // borrowed from the message
        break;
    }
    case AfxSig_vt:
        (this->*reinterpret_cast<void (CWnd::*)(UINT_PTR)>(e->pfn))(wParam);
        break;
    case AfxSig_bv:
        result = (this->*reinterpret_cast<BOOL (CWnd::*)()>(e->pfn))();
        break;
    case AfxSig_vh:
        (this->*reinterpret_cast<void (CWnd::*)(HWND)>(e->pfn))(reinterpret_cast<HWND>(wParam));
        break;
    case AfxSig_bhww:
        result = (this->*reinterpret_cast<BOOL (CWnd::*)(HWND, UINT, UINT)>(e->pfn))(
            reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
        break;
    case AfxSig_vwp: {
        POINT pt = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        (this->*reinterpret_cast<void (CWnd::*)(UINT, POINT)>(e->pfn))(static_cast<UINT>(wParam), pt);
        break;
    }
    default:
        return FALSE;
    }
    *pResult = result;
    return TRUE;
}

LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG saved = t_currentMsg;
    t_currentMsg.hwnd = hWnd;
    t_currentMsg.message = message;
    t_currentMsg.wParam = wParam;
    t_currentMsg.lParam = lParam;
    LRESULT result = pWnd->WindowProc(message, wParam, lParam);
    t_currentMsg = saved;
    return result;
}
