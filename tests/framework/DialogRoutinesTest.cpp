// EnableControls and ExchangeRadioGroup on a real dialog.
#include <gtest/gtest.h>

#include <vector>

#include "common/DialogTemplate.h"
#include "framework/DialogRoutines.h"

namespace {

std::vector<int> g_clicks;

INT_PTR CALLBACK RecordingProc(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
        g_clicks.push_back(LOWORD(wParam));
    return message == WM_INITDIALOG;
}

class DialogRoutinesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DialogTemplate t(WS_POPUP | WS_VISIBLE, 200, 100);
        t.AddControl(0x0080, 11, BS_AUTORADIOBUTTON | WS_GROUP, 5, 5, 50, 10);
        t.AddControl(0x0080, 12, BS_AUTORADIOBUTTON, 5, 20, 50, 10);
        t.AddControl(0x0080, 13, BS_AUTORADIOBUTTON, 5, 35, 50, 10);
        t.AddControl(0x0081, 21, WS_BORDER, 80, 5, 40, 12);
        t.AddControl(0x0081, 22, WS_BORDER, 80, 20, 40, 12);
        m_hDlg = ::CreateDialogIndirectParamA(::GetModuleHandleA(nullptr), t.Get(), nullptr, RecordingProc, 0);
        ASSERT_NE(nullptr, m_hDlg);
        g_clicks.clear();
    }
    void TearDown() override { ::DestroyWindow(m_hDlg); }

    bool Checked(int id) { return ::IsDlgButtonChecked(m_hDlg, id) == BST_CHECKED; }
    bool Enabled(int id) { return ::IsWindowEnabled(::GetDlgItem(m_hDlg, id)) != FALSE; }

    HWND m_hDlg = nullptr;
};

const RadioValue kGroup[] = { { 11, 1 }, { 99, 5 }, { 12, 2 }, { 13, 0 }, { 0, 0 } };

}  // namespace

TEST_F(DialogRoutinesTest, EnableControlsFollowsTheTableAndSkipsMissingIds)
{
    const ControlEnable off[] = { { 21, FALSE }, { 98, FALSE }, { 22, FALSE }, { 0, TRUE } };
    EnableControls(m_hDlg, off);
    EXPECT_FALSE(Enabled(21));
    EXPECT_FALSE(Enabled(22));
    const ControlEnable on[] = { { 22, TRUE }, { 0, FALSE }, { 21, TRUE } };
    EnableControls(m_hDlg, on);
    EXPECT_TRUE(Enabled(22));
    EXPECT_FALSE(Enabled(21));  // after the end of the table
    const ControlEnable empty[] = { { 0, TRUE }, { 21, TRUE } };
    EnableControls(m_hDlg, empty);
    EXPECT_FALSE(Enabled(21));
}

TEST_F(DialogRoutinesTest, SettingChecksFocusesAndClicksTheMatchingButton)
{
    ::CheckDlgButton(m_hDlg, 11, BST_CHECKED);
    int value = 2;
    ExchangeRadioGroup(m_hDlg, value, kGroup, kRadioToControls);
    EXPECT_FALSE(Checked(11));
    EXPECT_TRUE(Checked(12));
    EXPECT_FALSE(Checked(13));
    EXPECT_EQ(::GetDlgItem(m_hDlg, 12), ::GetFocus());
    EXPECT_EQ(std::vector<int>{ 12 }, g_clicks);
}

TEST_F(DialogRoutinesTest, SettingAnUnknownValueUnchecksAllAndClicksNothing)
{
    ::CheckDlgButton(m_hDlg, 13, BST_CHECKED);
    int value = 7;
    ExchangeRadioGroup(m_hDlg, value, kGroup, kRadioToControls);
    EXPECT_FALSE(Checked(11));
    EXPECT_FALSE(Checked(12));
    EXPECT_FALSE(Checked(13));
    EXPECT_TRUE(g_clicks.empty());
    EXPECT_EQ(7, value);
}

TEST_F(DialogRoutinesTest, ReadingTakesTheCheckedButtonOrLeavesTheVariable)
{
    int value = 42;
    ExchangeRadioGroup(m_hDlg, value, kGroup, 1);
    EXPECT_EQ(42, value);  // nothing checked
    ::CheckDlgButton(m_hDlg, 13, BST_CHECKED);
    ExchangeRadioGroup(m_hDlg, value, kGroup, 1);
    EXPECT_EQ(0, value);
    // Two checked buttons: the later one in the table wins.
    ::CheckDlgButton(m_hDlg, 11, BST_CHECKED);
    ExchangeRadioGroup(m_hDlg, value, kGroup, -1);
    EXPECT_EQ(0, value);
    ::CheckDlgButton(m_hDlg, 13, BST_UNCHECKED);
    ExchangeRadioGroup(m_hDlg, value, kGroup, 1);
    EXPECT_EQ(1, value);
    EXPECT_TRUE(g_clicks.empty());
}
