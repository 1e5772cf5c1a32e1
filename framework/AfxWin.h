// Window objects over HWND: a permanent handle map, message maps and the dispatch
// that runs a window's messages through them.
#pragma once

#include <windows.h>

#include "framework/AfxObject.h"

class CWnd;
class CDC;
class CString;

typedef void (CWnd::*AFX_PMSG)();

// Handler signatures the dispatch knows.
enum AfxSig : UINT {
    AfxSig_end = 0,
    AfxSig_lwl,   // LRESULT (WPARAM, LPARAM)
    AfxSig_vv,    // void ()
    AfxSig_is,    // int (LPCREATESTRUCT)
    AfxSig_bD,    // BOOL (CDC*)
    AfxSig_vt,    // void (UINT_PTR)
    AfxSig_bhww,  // BOOL (HWND, UINT, UINT)  WM_SETCURSOR
    AfxSig_vwp,   // void (UINT, POINT)       mouse messages
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;     // WM_COMMAND notification code
    UINT nID;       // WM_COMMAND control id range
    UINT nLastID;
    UINT nSig;
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP() \
protected: \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass) \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() \
    { \
        typedef theClass ThisClass; \
        typedef baseClass TheBaseClass; \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP() \
            { 0, 0, 0, 0, AfxSig_end, nullptr } \
        }; \
        static const AFX_MSGMAP map = { &TheBaseClass::GetThisMessageMap, entries }; \
        return &map; \
    }

// The static_cast checks the handler's signature; the stored pointer is converted back
// to exactly that type before the call.
#define AFX_ENTRY(msg, code, id, lastId, sig, type, fn) \
    { msg, code, id, lastId, sig, reinterpret_cast<AFX_PMSG>(static_cast<type>(fn)) },

#define ON_MESSAGE(msg, fn) AFX_ENTRY(msg, 0, 0, 0, AfxSig_lwl, LRESULT (CWnd::*)(WPARAM, LPARAM), &ThisClass::fn)
#define ON_COMMAND(id, fn) AFX_ENTRY(WM_COMMAND, 0, id, id, AfxSig_vv, void (CWnd::*)(), &ThisClass::fn)
#define ON_BN_CLICKED(id, fn) AFX_ENTRY(WM_COMMAND, BN_CLICKED, id, id, AfxSig_vv, void (CWnd::*)(), &ThisClass::fn)
#define ON_WM_CREATE() AFX_ENTRY(WM_CREATE, 0, 0, 0, AfxSig_is, int (CWnd::*)(LPCREATESTRUCT), &ThisClass::OnCreate)
#define ON_WM_DESTROY() AFX_ENTRY(WM_DESTROY, 0, 0, 0, AfxSig_vv, void (CWnd::*)(), &ThisClass::OnDestroy)
#define ON_WM_NCDESTROY() AFX_ENTRY(WM_NCDESTROY, 0, 0, 0, AfxSig_vv, void (CWnd::*)(), &ThisClass::OnNcDestroy)
#define ON_WM_PAINT() AFX_ENTRY(WM_PAINT, 0, 0, 0, AfxSig_vv, void (CWnd::*)(), &ThisClass::OnPaint)
#define ON_WM_ERASEBKGND() AFX_ENTRY(WM_ERASEBKGND, 0, 0, 0, AfxSig_bD, BOOL (CWnd::*)(CDC*), &ThisClass::OnEraseBkgnd)
#define ON_WM_TIMER() AFX_ENTRY(WM_TIMER, 0, 0, 0, AfxSig_vt, void (CWnd::*)(UINT_PTR), &ThisClass::OnTimer)
#define ON_WM_SETCURSOR() AFX_ENTRY(WM_SETCURSOR, 0, 0, 0, AfxSig_bhww, BOOL (CWnd::*)(HWND, UINT, UINT), &ThisClass::OnSetCursor)
#define ON_WM_LBUTTONUP() AFX_ENTRY(WM_LBUTTONUP, 0, 0, 0, AfxSig_vwp, void (CWnd::*)(UINT, POINT), &ThisClass::OnLButtonUp)

class CWnd : public CObject {
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd() : m_hWnd(nullptr) {}
    ~CWnd() override;

    HWND m_hWnd;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Permanent map of handle to object; UI thread only.
    BOOL Attach(HWND hWnd);
    HWND Detach();
    static CWnd* FromHandlePermanent(HWND hWnd);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being dispatched now.
    LRESULT Default();

    BOOL DestroyWindow();
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void ClientToScreen(LPRECT lpRect) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse) { return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr); }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    BOOL SetDlgItemText(int nID, const char* lpszString) { return ::SetDlgItemTextA(m_hWnd, nID, lpszString); }
    // The control's text; returns its length.
    int GetDlgItemText(int nID, CString& rString) const;
    UINT IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon)
    {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                                                   reinterpret_cast<LPARAM>(hIcon)));
    }
    // Centres the window over its owner, or over the work area when it has no visible owner.
    void CenterWindow();

    // Handlers with default processing, for message map entries of derived classes.
    int OnCreate(LPCREATESTRUCT lpCreateStruct);
    void OnDestroy();
    void OnNcDestroy();
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* pDC);
    void OnTimer(UINT_PTR nIDEvent);

    // Runs the message through the message maps of this object's class and its bases.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

// Dispatches one message to pWnd->WindowProc, keeping it as the current message for Default().
LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
