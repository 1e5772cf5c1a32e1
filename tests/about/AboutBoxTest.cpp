// The About box as the user meets it: opened modally over an owner window (standing in
// for the configuration dialog, the application's main window), then read back from
// the screen and driven with real mouse and keyboard input.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "about/AboutDlg.h"
#include "common/TestSupport.h"

namespace {

// The framework's current application: with no owner given, the box is owned by its
// main window, as the configuration dialog owns it in the program.
CWinApp g_app("About box test");

const RECT kOwnerRect = { 200, 150, 800, 600 };
const int kBoxWidth = 400;
const int kBoxHeight = 200;
// Labels: version at (170, 50), copyright and link on the band from y = 185.
const RECT kVersionArea = { 165, 45, 300, 70 };
const RECT kBandArea = { 0, 183, kBoxWidth, kBoxHeight };
// Dark picture, far from every label.
const POINT kOutside = { 80, 110 };

bool IsWhite(COLORREF c) { return GetRValue(c) > 240 && GetGValue(c) > 240 && GetBValue(c) > 240; }
bool IsBlack(COLORREF c) { return GetRValue(c) < 50 && GetGValue(c) < 50 && GetBValue(c) < 50; }
bool IsBlue(COLORREF c) { return GetBValue(c) > 200 && GetRValue(c) < 60 && GetGValue(c) < 60; }
bool IsRed(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 60 && GetBValue(c) < 60; }

// Pixels of the shot inside rc that match, and their bounds.
struct Match {
    int count = 0;
    RECT bounds = { INT_MAX, INT_MAX, INT_MIN, INT_MIN };
};

Match Find(const ScreenShot& shot, const RECT& rc, const std::function<bool(COLORREF)>& pred)
{
    Match m;
    for (int y = rc.top; y < rc.bottom; ++y) {
        for (int x = rc.left; x < rc.right; ++x) {
            if (!pred(shot.At(x, y)))
                continue;
            ++m.count;
            m.bounds.left = std::min<LONG>(m.bounds.left, x);
            m.bounds.top = std::min<LONG>(m.bounds.top, y);
            m.bounds.right = std::max<LONG>(m.bounds.right, x + 1);
            m.bounds.bottom = std::max<LONG>(m.bounds.bottom, y + 1);
        }
    }
    return m;
}

HCURSOR CurrentCursor()
{
    CURSORINFO ci = {};
    ci.cbSize = sizeof(ci);
    return ::GetCursorInfo(&ci) ? ci.hCursor : nullptr;
}

// Runs a CAboutDlg modally on a thread of its own, over an owner window of that thread;
// the test thread watches and drives it. The destructor closes what is left.
class BoxRun {
public:
    explicit BoxRun(const AboutVersionTexts& texts) : m_texts(texts)
    {
        m_hThread = ::CreateThread(nullptr, 0, Thread, this, 0, &m_threadId);
    }

    ~BoxRun()
    {
        if (HWND hBox = FindBox())
            ::PostMessageA(hBox, WM_COMMAND, IDCANCEL, 0);
        if (m_hThread) {
            ::WaitForSingleObject(m_hThread, 10000);
            ::CloseHandle(m_hThread);
        }
    }

    // The box once it is shown at its final size; null when it never came.
    HWND WaitShown()
    {
        HWND hBox = nullptr;
        PumpUntil([&] {
            hBox = FindBox();
            RECT rc = {};
            return hBox && ::IsWindowVisible(hBox) && ::GetClientRect(hBox, &rc) &&
                   rc.right == kBoxWidth && rc.bottom == kBoxHeight;
        }, 15000);
        return hBox;
    }

    // True once ShowDialog has returned.
    bool WaitClosed(DWORD timeoutMs = 10000)
    {
        return m_hThread && ::WaitForSingleObject(m_hThread, timeoutMs) == WAIT_OBJECT_0;
    }

    HWND FindBox() const
    {
        HWND found = nullptr;
        ::EnumThreadWindows(m_threadId, FindDialog, reinterpret_cast<LPARAM>(&found));
        return found;
    }

    // Clicks and returns once the box has handled the release: the box reads the cursor
    // position when it handles the click, so the mouse must not move before that.
    void ClickAndWait(HWND hBox)
    {
        LONG before = s_buttonUps;
        ClickLeft();
        PumpUntil([&] { return s_buttonUps != before; }, 10000);
        // A sent message is handled only once the box's thread asks for its next message.
        DWORD_PTR result;
        ::SendMessageTimeoutA(hBox, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    }

    HWND Owner() const { return m_hOwner; }
    BOOL Shown() const { return m_bShown; }
    BOOL OwnerEnabledAfter() const { return m_bOwnerEnabledAfter; }

private:
    static BOOL CALLBACK FindDialog(HWND hWnd, LPARAM lParam)
    {
        char cls[16] = {};
        ::GetClassNameA(hWnd, cls, sizeof(cls));
        if (lstrcmpA(cls, "#32770") != 0)
            return TRUE;
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }

    static DWORD WINAPI Thread(void* param)
    {
        auto* self = static_cast<BoxRun*>(param);
        HWND hOwner = ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, kOwnerRect.left,
                                        kOwnerRect.top, kOwnerRect.right - kOwnerRect.left,
                                        kOwnerRect.bottom - kOwnerRect.top, nullptr, nullptr,
                                        nullptr, nullptr);
        // Counts the button releases the box's thread takes from its queue.
        HHOOK hHook = ::SetWindowsHookExA(WH_GETMESSAGE, CountButtonUps, nullptr, ::GetCurrentThreadId());
        CWnd owner;
        owner.Attach(hOwner);
        g_app.m_pMainWnd = &owner;
        self->m_hOwner = hOwner;
        {
            CAboutDlg dlg(self->m_texts);
            self->m_bShown = dlg.ShowDialog(nullptr);
        }
        self->m_bOwnerEnabledAfter = ::IsWindowEnabled(hOwner);
        g_app.m_pMainWnd = nullptr;
        owner.Detach();
        ::DestroyWindow(hOwner);
        ::UnhookWindowsHookEx(hHook);
        return 0;
    }

    static LRESULT CALLBACK CountButtonUps(int code, WPARAM wParam, LPARAM lParam)
    {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_LBUTTONUP)
            ::InterlockedIncrement(&s_buttonUps);
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    AboutVersionTexts m_texts;
    HANDLE m_hThread = nullptr;
    DWORD m_threadId = 0;
    volatile HWND m_hOwner = nullptr;
    volatile BOOL m_bShown = FALSE;
    volatile BOOL m_bOwnerEnabledAfter = FALSE;
    static volatile LONG s_buttonUps;
};

volatile LONG BoxRun::s_buttonUps = 0;

ScreenShot ShotOf(HWND hBox)
{
    RECT rc;
    ::GetWindowRect(hBox, &rc);
    ScreenShot shot;
    shot.Capture(&rc);
    return shot;
}

// Waits until the box shows the link in the colour pred matches (a paint has happened).
bool WaitForLink(HWND hBox, const std::function<bool(COLORREF)>& pred, ScreenShot* pShot)
{
    return PumpUntil([&] {
        *pShot = ShotOf(hBox);
        return Find(*pShot, kBandArea, pred).count > 20;
    }, 10000);
}

POINT ToScreen(HWND hBox, int x, int y)
{
    POINT pt = { x, y };
    ::ClientToScreen(hBox, &pt);
    return pt;
}

void MoveInBox(HWND hBox, int x, int y)
{
    POINT pt = ToScreen(hBox, x, y);
    MoveMouseTo(pt.x, pt.y);
}

const AboutVersionTexts kProgramTexts = { "1.0.6.0", "1.0.6.0", "版权所有 (C) 2026 Tollvane" };

TEST(AboutBox, OwnedCentredHoverLinkEnterAndEscape)
{
    MoveMouseTo(5, 5);
    BoxRun run(kProgramTexts);
    HWND hBox = run.WaitShown();
    ASSERT_TRUE(hBox) << "the About box never appeared";

    // Owned by the main window, which is disabled meanwhile; centred over it; no
    // taskbar button.
    EXPECT_EQ(run.Owner(), ::GetWindow(hBox, GW_OWNER));
    EXPECT_FALSE(::IsWindowEnabled(run.Owner()));
    RECT rcBox;
    ::GetWindowRect(hBox, &rcBox);
    EXPECT_EQ((kOwnerRect.left + kOwnerRect.right) / 2, (rcBox.left + rcBox.right) / 2);
    EXPECT_EQ((kOwnerRect.top + kOwnerRect.bottom) / 2, (rcBox.top + rcBox.bottom) / 2);
    EXPECT_EQ(kBoxWidth, rcBox.right - rcBox.left) << "a border or caption was added";
    LONG exStyle = ::GetWindowLongA(hBox, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);

    // Version in white over the picture, copyright in black, link in blue after it.
    ScreenShot shot;
    ASSERT_TRUE(WaitForLink(hBox, IsBlue, &shot)) << "the link was never drawn in blue";
    KeepShot("about-box", shot);
    Match version = Find(shot, kVersionArea, IsWhite);
    EXPECT_GT(version.count, 20);
    EXPECT_GE(version.bounds.left, 170);
    EXPECT_GE(version.bounds.top, 50);
    Match copyright = Find(shot, kBandArea, IsBlack);
    Match link = Find(shot, kBandArea, IsBlue);
    EXPECT_GT(copyright.count, 20);
    EXPECT_GE(copyright.bounds.left, 20);
    EXPECT_GE(copyright.bounds.top, 185);
    EXPECT_GT(link.bounds.left, copyright.bounds.right) << "the link overlaps the copyright line";
    EXPECT_EQ(0, Find(shot, kBandArea, IsRed).count);
    EXPECT_NE(::LoadCursorA(nullptr, IDC_HAND), CurrentCursor());

    // Hovering: the link turns red and the cursor becomes the hand; off it, back again.
    MoveInBox(hBox, (link.bounds.left + link.bounds.right) / 2, (link.bounds.top + link.bounds.bottom) / 2);
    EXPECT_TRUE(WaitForLink(hBox, IsRed, &shot)) << "no hover colour under the cursor";
    EXPECT_EQ(0, Find(shot, kBandArea, IsBlue).count) << "the link is still blue under the cursor";
    EXPECT_TRUE(PumpUntil([] { return CurrentCursor() == ::LoadCursorA(nullptr, IDC_HAND); }, 5000))
        << "no hand cursor over the link";

    // Enter does nothing: the move after it is handled (input is handled in order)
    // while the box stays open.
    PressKey(VK_RETURN);
    MoveInBox(hBox, kOutside.x, kOutside.y);
    EXPECT_TRUE(WaitForLink(hBox, IsBlue, &shot)) << "the link kept its hover colour";
    EXPECT_TRUE(PumpUntil([] { return CurrentCursor() == ::LoadCursorA(nullptr, IDC_ARROW); }, 5000));
    EXPECT_TRUE(::IsWindowVisible(hBox)) << "Enter closed the box";
    EXPECT_FALSE(run.WaitClosed(0));

    // Moved to a monitor of another DPI: where the system suggests, at its picture's size.
    RECT suggested = { rcBox.left + 30, rcBox.top + 20, rcBox.left + 30 + 600, rcBox.top + 20 + 300 };
    ::SendMessageA(hBox, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT moved;
    ::GetWindowRect(hBox, &moved);
    EXPECT_EQ(suggested.left, moved.left);
    EXPECT_EQ(suggested.top, moved.top);
    EXPECT_EQ(kBoxWidth, moved.right - moved.left) << "the picture keeps its pixels";
    EXPECT_EQ(rcBox.bottom - rcBox.top, moved.bottom - moved.top);

    // Esc closes it and gives the owner back.
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(run.WaitClosed()) << "Esc did not close the box";
    EXPECT_TRUE(run.Shown());
    EXPECT_TRUE(run.OwnerEnabledAfter()) << "the owner stayed disabled";
}

TEST(AboutBox, ClickOnLinkKeepsBoxOpenClickOutsideClosesIt)
{
    MoveMouseTo(5, 5);
    BoxRun run(kProgramTexts);
    HWND hBox = run.WaitShown();
    ASSERT_TRUE(hBox);
    ScreenShot shot;
    ASSERT_TRUE(WaitForLink(hBox, IsBlue, &shot));
    Match link = Find(shot, kBandArea, IsBlue);

    MoveInBox(hBox, (link.bounds.left + link.bounds.right) / 2, (link.bounds.top + link.bounds.bottom) / 2);
    ASSERT_TRUE(WaitForLink(hBox, IsRed, &shot));
    run.ClickAndWait(hBox);
    MoveInBox(hBox, kOutside.x, kOutside.y);
    EXPECT_TRUE(WaitForLink(hBox, IsBlue, &shot));
    EXPECT_FALSE(run.WaitClosed(0)) << "a click on the link closed the box";

    ClickLeft();
    ASSERT_TRUE(run.WaitClosed()) << "a click outside the link did not close the box";
    EXPECT_TRUE(run.OwnerEnabledAfter());
}

// Which version the label shows, and where the link starts, for the texts a version
// resource may or may not have. The link's place depends on the copyright line only: it
// follows 5 px after it (its ink 7 or 8 px after the line's), whole inside the box even
// after a copyright too long for the band.
TEST(AboutBox, VersionAndCopyrightFallbacks)
{
    struct Case {
        const char* name;
        AboutVersionTexts texts;
        bool versionShown;
        int line;  // cases of the same copyright line: 0 the fallback, 1 the program's, 2 a long one
    };
    const Case cases[] = {
        { "file version", { "1.0.6.0", "", "" }, true, 0 },
        { "product version only", { "", "2.5.0.1", nullptr }, true, 0 },
        { "neither version", { "", "", "" }, false, 0 },
        { "copyright given", { "1.0.6.0", "", "版权所有 (C) 2026 Tollvane" }, true, 1 },
        { "copyright too long for the band",
          { "1.0.6.0", "", "版权所有 (C) 2026 Tollvane 及其全体供应商、合作伙伴与各地分支机构，保留一切权利" }, true, 2 },
    };
    int linkLeft[3] = { -1, -1, -1 };
    int linkWidth = -1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MoveMouseTo(5, 5);
        BoxRun run(c.texts);
        HWND hBox = run.WaitShown();
        ASSERT_TRUE(hBox);
        ScreenShot shot;
        ASSERT_TRUE(WaitForLink(hBox, IsBlue, &shot));
        EXPECT_EQ(c.versionShown, Find(shot, kVersionArea, IsWhite).count > 20);
        Match copyright = Find(shot, kBandArea, IsBlack);
        Match link = Find(shot, kBandArea, IsBlue);
        EXPECT_GT(copyright.count, 20) << "no copyright line";
        EXPECT_GE(link.bounds.left - copyright.bounds.right, 6);
        EXPECT_LE(link.bounds.left - copyright.bounds.right, 9);
        if (linkLeft[c.line] < 0)
            linkLeft[c.line] = link.bounds.left;
        EXPECT_EQ(linkLeft[c.line], link.bounds.left) << "the link moved with the version text";
        if (linkWidth < 0)
            linkWidth = link.bounds.right - link.bounds.left;
        EXPECT_EQ(linkWidth, link.bounds.right - link.bounds.left) << "the link is not whole";
        EXPECT_LE(link.bounds.right, kBoxWidth);

        MoveInBox(hBox, kOutside.x, kOutside.y);
        ClickLeft();
        EXPECT_TRUE(run.WaitClosed());
    }
    // The fallback line is shorter than the program's own copyright line.
    EXPECT_LT(linkLeft[0], linkLeft[1]);
}

}  // namespace
