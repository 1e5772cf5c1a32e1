#include "framework/AfxWin.h"

#include <cstdlib>

#include "framework/AfxDC.h"

IMPLEMENT_DYNAMIC(CWnd, CObject)

namespace {

// Windows attached to objects. There are only ever a few, so a plain array searched
// from the front will do. Windows are created and dispatched only on the UI thread, so
// the map needs no lock.
class CHandleMap {
public:
    CWnd* Find(HWND hWnd) const
    {
        int i = IndexOf(hWnd);
        return i < 0 ? nullptr : m_pEntries[i].pWnd;
    }
    bool Set(HWND hWnd, CWnd* pWnd)
    {
        int i = IndexOf(hWnd);
        if (i < 0) {
            if (m_nCount == m_nCapacity) {
                int capacity = m_nCapacity ? m_nCapacity * 2 : 8;
                void* p = realloc(m_pEntries, sizeof(Entry) * static_cast<size_t>(capacity));
                if (!p)
                    return false;
                m_pEntries = static_cast<Entry*>(p);
                m_nCapacity = capacity;
            }
            i = m_nCount++;
            m_pEntries[i].hWnd = hWnd;
        }
        m_pEntries[i].pWnd = pWnd;
        return true;
    }
    void Remove(HWND hWnd, const CWnd* pWnd)
    {
        int i = IndexOf(hWnd);
        if (i >= 0 && m_pEntries[i].pWnd == pWnd)
            m_pEntries[i] = m_pEntries[--m_nCount];
    }

private:
    struct Entry {
        HWND hWnd;
        CWnd* pWnd;
    };
    int IndexOf(HWND hWnd) const
    {
        for (int i = 0; i < m_nCount; ++i) {
            if (m_pEntries[i].hWnd == hWnd)
                return i;
        }
        return -1;
    }
    // Never freed: the process ends without running static destructors (the bridge
    // terminates it), and the table must outlive every window object anyway.
    Entry* m_pEntries = nullptr;
    int m_nCount = 0;
    int m_nCapacity = 0;
};

CHandleMap g_handleMap;

// Work area of the monitor nearest the window. Windows 95 and NT 4 have no monitor
// functions, so they are looked up; false where they are missing.
bool NearestWorkArea(HWND hWnd, RECT* pArea)
{
    typedef HMONITOR (WINAPI* MonitorFromWindowFn)(HWND, DWORD);
    typedef BOOL (WINAPI* GetMonitorInfoFn)(HMONITOR, LPMONITORINFO);
    HMODULE hUser = ::GetModuleHandleA("USER32.DLL");
    auto monitorFromWindow = reinterpret_cast<MonitorFromWindowFn>(
        hUser ? ::GetProcAddress(hUser, "MonitorFromWindow") : nullptr);
    auto getMonitorInfo = reinterpret_cast<GetMonitorInfoFn>(
        hUser ? ::GetProcAddress(hUser, "GetMonitorInfoA") : nullptr);
    if (!monitorFromWindow || !getMonitorInfo)
        return false;
    HMONITOR hMonitor = monitorFromWindow(hWnd, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    if (!hMonitor || !getMonitorInfo(hMonitor, &mi))
        return false;
    *pArea = mi.rcWork;
    return true;
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
    if (!g_handleMap.Set(hWnd, this))
        return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    if (hWnd) {
        g_handleMap.Remove(hWnd, this);
        m_hWnd = nullptr;
    }
    return hWnd;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return g_handleMap.Find(hWnd);
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
        if (!NearestWorkArea(m_hWnd, &area))
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
