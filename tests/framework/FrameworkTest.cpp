// The framework layer on its own: message-map dispatch, runtime classes, the handle
// map, strings and dialog data exchange.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/DialogTemplate.h"
#include "framework/Afx.h"

namespace {

const UINT kBaseOnly = WM_APP + 1;  // mapped by the base class only
const UINT kBoth = WM_APP + 2;      // mapped by both classes
const UINT kDefault = WM_APP + 3;   // handler asks for default processing
const UINT kNested = WM_APP + 4;    // handler dispatches another message first
const UINT kUnmapped = WM_APP + 5;
const UINT kCmdId = 100;
const UINT kEditId = 101;

struct Call {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class CBaseWnd : public CWnd {
public:
    LRESULT OnBaseOnly(WPARAM, LPARAM) { return 11; }
    LRESULT OnBoth(WPARAM, LPARAM) { return 12; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
    ON_MESSAGE(kBaseOnly, OnBaseOnly)
    ON_MESSAGE(kBoth, OnBoth)
END_MESSAGE_MAP()

class CTestWnd : public CBaseWnd {
public:
    LRESULT OnBoth(WPARAM, LPARAM) { return 22; }
    LRESULT OnDefault(WPARAM, LPARAM) { return Default(); }
    LRESULT OnNested(WPARAM, LPARAM)
    {
        SendMessage(kDefault, 7, 8);
        return Default();
    }
    void OnCommandId() { m_handled.push_back("command"); }
    void OnEditChange() { m_handled.push_back("editchange"); }

    // Records what reaches default processing, then does it.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        m_defaults.push_back({ message, wParam, lParam });
        return CWnd::DefWindowProc(message, wParam, lParam);
    }

    std::vector<Call> m_defaults;
    std::vector<std::string> m_handled;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestWnd, CBaseWnd)
    ON_MESSAGE(kBoth, OnBoth)
    ON_MESSAGE(kDefault, OnDefault)
    ON_MESSAGE(kNested, OnNested)
    ON_COMMAND(kCmdId, OnCommandId)
    AFX_ENTRY(WM_COMMAND, EN_CHANGE, kEditId, kEditId, AfxSig_vv, void (CWnd::*)(), &ThisClass::OnEditChange)
END_MESSAGE_MAP()

// A window whose procedure hands every message to its attached object, as the
// program's bridges do.
LRESULT CALLBACK ObjectWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    return AfxCallWndProc(pWnd, hWnd, message, wParam, lParam);
}

HWND MakeWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ObjectWndProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "FrameworkTestWnd";
        registered = ::RegisterClassA(&wc) != 0;
    }
    return ::CreateWindowExA(0, "FrameworkTestWnd", "start", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

class MessageMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hWnd = MakeWindow();
        ASSERT_NE(nullptr, m_hWnd);
        ASSERT_TRUE(m_wnd.Attach(m_hWnd));
    }
    void TearDown() override
    {
        m_wnd.Detach();
        ::DestroyWindow(m_hWnd);
    }
    LRESULT Command(UINT id, UINT code, HWND hCtrl)
    {
        return ::SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(hCtrl));
    }
    size_t DefaultsFor(UINT message) const
    {
        size_t n = 0;
        for (const Call& c : m_wnd.m_defaults)
            n += c.message == message;
        return n;
    }

    HWND m_hWnd = nullptr;
    CTestWnd m_wnd;
};

}  // namespace

TEST_F(MessageMap, DerivedEntriesComeBeforeBaseOnesAndUnmappedMessagesGetDefaultProcessing)
{
    EXPECT_EQ(22, ::SendMessageA(m_hWnd, kBoth, 0, 0));
    EXPECT_EQ(11, ::SendMessageA(m_hWnd, kBaseOnly, 0, 0));
    EXPECT_EQ(0u, DefaultsFor(kBoth) + DefaultsFor(kBaseOnly));

    ::SendMessageA(m_hWnd, kUnmapped, 5, 6);
    ASSERT_EQ(1u, DefaultsFor(kUnmapped));
    EXPECT_EQ(5u, m_wnd.m_defaults.back().wParam);
    EXPECT_EQ(6, m_wnd.m_defaults.back().lParam);

    // The system's default processing runs on the object's own window.
    ::SendMessageA(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("renamed"));
    char title[32] = {};
    ::GetWindowTextA(m_hWnd, title, sizeof(title));
    EXPECT_STREQ("renamed", title);
}

TEST_F(MessageMap, CommandsMatchByIdAndNotificationCode)
{
    HWND hCtrl = m_hWnd;  // any control handle; only its presence matters
    Command(kCmdId, 0, nullptr);        // menu
    Command(kCmdId, 1, nullptr);        // accelerator
    Command(kCmdId, BN_CLICKED, hCtrl); // button
    Command(kEditId, EN_CHANGE, hCtrl);
    EXPECT_EQ((std::vector<std::string>{ "command", "command", "command", "editchange" }), m_wnd.m_handled);
    EXPECT_EQ(0u, DefaultsFor(WM_COMMAND));

    m_wnd.m_handled.clear();
    Command(kEditId, EN_UPDATE, hCtrl);    // other code of a mapped control
    Command(kCmdId, BN_DOUBLECLICKED, hCtrl);
    Command(kEditId + 1, EN_CHANGE, hCtrl);  // unmapped control
    EXPECT_TRUE(m_wnd.m_handled.empty());
    EXPECT_EQ(3u, DefaultsFor(WM_COMMAND));
}

TEST_F(MessageMap, DefaultProcessesTheMessageBeingDispatchedAlsoAfterANestedOne)
{
    ::SendMessageA(m_hWnd, kDefault, 1, 2);
    ASSERT_EQ(1u, m_wnd.m_defaults.size());
    EXPECT_EQ(kDefault, m_wnd.m_defaults[0].message);
    EXPECT_EQ(1u, m_wnd.m_defaults[0].wParam);
    EXPECT_EQ(2, m_wnd.m_defaults[0].lParam);

    m_wnd.m_defaults.clear();
    ::SendMessageA(m_hWnd, kNested, 3, 4);
    ASSERT_EQ(2u, m_wnd.m_defaults.size());
    EXPECT_EQ(kDefault, m_wnd.m_defaults[0].message);
    EXPECT_EQ(7u, m_wnd.m_defaults[0].wParam);
    EXPECT_EQ(kNested, m_wnd.m_defaults[1].message) << "the nested dispatch did not restore the outer message";
    EXPECT_EQ(3u, m_wnd.m_defaults[1].wParam);
    EXPECT_EQ(4, m_wnd.m_defaults[1].lParam);
}

namespace {
class CPlainDlg : public CDialog {};  // no runtime class of its own
class CTaggedDlg : public CDialog {
    DECLARE_DYNAMIC(CTaggedDlg)
};
IMPLEMENT_DYNAMIC(CTaggedDlg, CDialog)
}  // namespace

TEST(RuntimeClass, DownCastFollowsTheBaseChain)
{
    CWnd wnd;
    CPlainDlg plain;
    CTaggedDlg tagged;
    EXPECT_EQ(&plain, AfxDynamicDownCast(RUNTIME_CLASS(CDialog), &plain));
    EXPECT_EQ(&tagged, AfxDynamicDownCast(RUNTIME_CLASS(CDialog), &tagged));
    EXPECT_EQ(&tagged, AfxDynamicDownCast(RUNTIME_CLASS(CTaggedDlg), &tagged));
    EXPECT_EQ(&tagged, AfxDynamicDownCast(RUNTIME_CLASS(CObject), &tagged));
    EXPECT_EQ(nullptr, AfxDynamicDownCast(RUNTIME_CLASS(CDialog), &wnd));
    EXPECT_EQ(nullptr, AfxDynamicDownCast(RUNTIME_CLASS(CTaggedDlg), &plain));
    EXPECT_EQ(nullptr, AfxDynamicDownCast(RUNTIME_CLASS(CDialog), nullptr));
}

TEST(HandleMap, AttachDetachAndDestructionKeepTheMapExact)
{
    HWND hWnd = MakeWindow();
    HWND hOther = MakeWindow();
    ASSERT_NE(nullptr, hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
    {
        CWnd wnd;
        EXPECT_FALSE(wnd.Attach(nullptr));
        ASSERT_TRUE(wnd.Attach(hWnd));
        EXPECT_EQ(&wnd, CWnd::FromHandlePermanent(hWnd));
        EXPECT_FALSE(wnd.Attach(hOther)) << "an attached object took a second window";
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hOther));
        EXPECT_EQ(hWnd, wnd.Detach());
        EXPECT_EQ(nullptr, wnd.m_hWnd);
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
        EXPECT_EQ(nullptr, wnd.Detach());

        ASSERT_TRUE(wnd.Attach(hOther));
    }
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hOther)) << "a destroyed object stayed in the map";
    EXPECT_TRUE(::IsWindow(hOther)) << "the object's destruction must leave the window alone";
    ::DestroyWindow(hWnd);
    ::DestroyWindow(hOther);
}

TEST(String, FormatsLongAndDoubleByteText)
{
    std::string part(1500, 'x');
    CString s;
    s.Format("%s|%d|%-1200s|", part.c_str(), -42, "y");
    std::string expected = part + "|-42|y" + std::string(1199, ' ') + "|";
    EXPECT_EQ(static_cast<int>(expected.size()), s.GetLength());
    EXPECT_EQ(expected, s.GetString());

    // Code page 936 bytes pass through both the format and the arguments unchanged.
    s.Format("无法%s: %u", "分派内存", 7u);
    EXPECT_STREQ("\xce\xde\xb7\xa8\xb7\xd6\xc5\xc9\xc4\xda\xb4\xe6: 7", s.GetString());
}

TEST(String, CopiesAppendsAndAssignsFromItself)
{
    CString a("abc");
    CString b(a);
    b += "def";
    b += 'g';
    EXPECT_STREQ("abc", a.GetString());  // the copy owns its own text
    EXPECT_STREQ("abcdefg", b.GetString());
    a = b;
    a = a;
    EXPECT_STREQ("abcdefg", a.GetString());
    a = a.GetString() + 3;  // a tail of its own text
    EXPECT_STREQ("defg", a.GetString());
    EXPECT_EQ(4, a.GetLength());
    CString c = a + "!";
    EXPECT_TRUE(c == "defg!");
    EXPECT_TRUE(c != "defg");
    c = nullptr;
    EXPECT_TRUE(c.IsEmpty());
    EXPECT_STREQ("", CString().GetString());

    // A buffer filled by the caller keeps up to its first zero, or the length given.
    CString d;
    char* p = d.GetBuffer(300);
    ASSERT_NE(nullptr, p);
    memset(p, 'x', 300);
    p[300] = '\0';
    d.ReleaseBuffer();
    EXPECT_EQ(300, d.GetLength());
    d.GetBuffer(10)[5] = '\0';
    d.ReleaseBuffer();
    EXPECT_EQ(5, d.GetLength());
    d.GetBuffer(0);
    d.ReleaseBuffer(3);
    EXPECT_STREQ("xxx", d.GetString());
}

TEST(String, LoadsStringsFromTheirBlocks)
{
    // Read the way Windows 95/98/Me can: through the string block, converted to code
    // page 936 (the test prefix's ANSI code page).
    const struct {
        UINT id;
        bool found;
        const char* text;
    } cases[] = {
        { 1, true, "first" },
        { 16, true, "block two, first" },
        { 20, true, "block two, middle" },
        { 31, true, "block two, last" },
        { 10005, true, "\xce\xde\xb7\xa8\xb7\xd6\xc5\xc9\xc4\xda\xb4\xe6" },  // 无法分派内存
        { 0, false, "" },      // a gap at the start of a block that exists
        { 19, false, "" },     // between two strings of one block
        { 32, false, "" },     // a block that does not exist
        { 54321, false, "" },
    };
    for (const auto& c : cases) {
        CString s("previous");
        EXPECT_EQ(c.found, s.LoadString(c.id)) << c.id;
        EXPECT_STREQ(c.text, s.GetString()) << c.id;
        EXPECT_EQ(static_cast<int>(strlen(c.text)), s.GetLength()) << c.id;
    }
}

namespace {

const int kEditA = 201, kEditB = 202, kEditC = 203;

class CNumbersDlg : public CDialog {
public:
    UINT m_a = 1, m_b = 2, m_c = 3;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, kEditA, m_a);
        DDX_Text(pDX, kEditB, m_b);
        DDX_Text(pDX, kEditC, m_c);
    }
};

// Closes every message box this thread shows over the dialog and keeps its text.
class PromptCloser {
public:
    explicit PromptCloser(HWND hDlg)
    {
        s_owner = hDlg;
        s_count = 0;
        s_text.clear();
        s_last = nullptr;
        m_timer = ::SetTimer(nullptr, 0, 50, OnTimer);
    }
    ~PromptCloser() { ::KillTimer(nullptr, m_timer); }
    static int s_count;
    static std::string s_text;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        ::EnumThreadWindows(::GetCurrentThreadId(), CloseBox, 0);
    }
    static BOOL CALLBACK CloseBox(HWND hWnd, LPARAM)
    {
        char cls[16] = {};
        ::GetClassNameA(hWnd, cls, sizeof(cls));
        if (strcmp(cls, "#32770") != 0 || hWnd == s_owner || hWnd == s_last ||
            ::GetWindow(hWnd, GW_OWNER) != s_owner)
            return TRUE;
        char text[256] = {};
        ::GetDlgItemTextA(hWnd, 0xFFFF, text, sizeof(text));  // the box's message text
        s_text = text;
        ++s_count;
        s_last = hWnd;
        ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
        return FALSE;
    }
    static HWND s_owner;
    static HWND s_last;
    UINT_PTR m_timer;
};
int PromptCloser::s_count;
std::string PromptCloser::s_text;
HWND PromptCloser::s_owner;
HWND PromptCloser::s_last;

class DataExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int id : { kEditA, kEditB, kEditC })
            m_tpl.AddControl(0x0081, static_cast<WORD>(id), WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10,
                             static_cast<short>(10 + (id - kEditA) * 20), 100, 14);
        ASSERT_TRUE(m_dlg.CreateIndirect(m_tpl.Get()));
    }
    void TearDown() override { m_dlg.DestroyWindow(); }

    std::string Text(int id) const
    {
        char text[64] = {};
        ::GetDlgItemTextA(m_dlg.m_hWnd, id, text, sizeof(text));
        return text;
    }
    void SetTexts(const char* a, const char* b, const char* c)
    {
        ::SetDlgItemTextA(m_dlg.m_hWnd, kEditA, a);
        ::SetDlgItemTextA(m_dlg.m_hWnd, kEditB, b);
        ::SetDlgItemTextA(m_dlg.m_hWnd, kEditC, c);
    }

    DialogTemplate m_tpl{ WS_POPUP | WS_VISIBLE | WS_CAPTION, 140, 80 };
    CNumbersDlg m_dlg;
};

}  // namespace

TEST_F(DataExchange, ValidNumbersTransferBothWays)
{
    // Initialisation fills the controls from the members.
    EXPECT_EQ("1", Text(kEditA));
    EXPECT_EQ("2", Text(kEditB));
    EXPECT_EQ("3", Text(kEditC));

    PromptCloser closer(m_dlg.m_hWnd);
    SetTexts(" 42 ", "4294967295", "0");
    EXPECT_TRUE(m_dlg.UpdateData(TRUE));
    EXPECT_EQ(0, PromptCloser::s_count);
    EXPECT_EQ(42u, m_dlg.m_a);
    EXPECT_EQ(4294967295u, m_dlg.m_b);
    EXPECT_EQ(0u, m_dlg.m_c);

    m_dlg.m_a = 7;
    m_dlg.m_b = 4000000000u;
    EXPECT_TRUE(m_dlg.UpdateData(FALSE));
    EXPECT_EQ("7", Text(kEditA));
    EXPECT_EQ("4000000000", Text(kEditB));
    EXPECT_EQ("0", Text(kEditC));
}

TEST_F(DataExchange, BadNumberPromptsOnceFocusesTheFieldAndStopsThere)
{
    for (const char* bad : { "", "12a", "-1", "4294967296", "99999999999999999999" }) {
        SCOPED_TRACE(std::string("field text \"") + bad + "\"");
        m_dlg.m_a = 1;
        m_dlg.m_b = 2;
        m_dlg.m_c = 3;
        SetTexts("10", bad, "30");
        ::SetFocus(m_dlg.GetDlgItem(kEditA));

        PromptCloser closer(m_dlg.m_hWnd);
        EXPECT_FALSE(m_dlg.UpdateData(TRUE));
        EXPECT_EQ(1, PromptCloser::s_count);
        EXPECT_NE(std::string::npos, PromptCloser::s_text.find("正整数")) << PromptCloser::s_text;
        EXPECT_EQ(m_dlg.GetDlgItem(kEditB), ::GetFocus());
        EXPECT_EQ(10u, m_dlg.m_a);  // before the bad field: transferred
        EXPECT_EQ(2u, m_dlg.m_b);
        EXPECT_EQ(3u, m_dlg.m_c);   // after it: left alone
    }
}

// A dialog moved to a monitor of another DPI takes the size and place the system suggests.
TEST_F(DataExchange, DpiChangeTakesTheSuggestedRectangle)
{
    RECT suggested = { 40, 30, 40 + 420, 30 + 260 };
    ::SendMessageA(m_dlg.m_hWnd, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT rc;
    ::GetWindowRect(m_dlg.m_hWnd, &rc);
    EXPECT_TRUE(::EqualRect(&suggested, &rc)) << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom;
}
