// The configuration dialog of lumaspire.scr driven as a user drives it: controls found
// by id, clicked and typed into; what it did read back from the controls, the screen and
// the registry.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <map>
#include <string>

#include "common/ConfigDialogDriver.h"
#include "common/TestSupport.h"
#include "settings/SettingsKeyLocks.h"

namespace {


// Every value of the settings key as text, for comparing whole records.
typedef std::map<std::string, std::string> Stored;

Stored ReadStored()
{
    Stored stored;
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return stored;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLen = sizeof(name);
        BYTE data[1024] = {};
        DWORD dataLen = sizeof(data) - 1;
        DWORD type = 0;
        if (::RegEnumValueA(hKey, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS)
            break;
        if (type == REG_DWORD && dataLen == 4) {
            DWORD value;
            memcpy(&value, data, 4);
            stored[name] = std::to_string(value);
        } else {
            stored[name] = reinterpret_cast<char*>(data);
        }
    }
    ::RegCloseKey(hKey);
    return stored;
}

void WriteStored(const Stored& values)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &hKey, nullptr));
    for (const auto& v : values) {
        if (v.first == "Movie File Path") {
            ::RegSetValueExA(hKey, v.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.second.c_str()),
                             static_cast<DWORD>(v.second.size() + 1));
        } else {
            DWORD value = static_cast<DWORD>(std::stoul(v.second));
            ::RegSetValueExA(hKey, v.first.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        }
    }
    ::RegCloseKey(hKey);
}

// A whole record, every value distinct from the program's defaults where it can be.
Stored SeedRecord()
{
    return {
        { "Movie File Path", "C:\\clips\\seed.avi" },
        { "View Size Option", "1" }, { "View Size Width", "640" }, { "View Size Height", "480" },
        { "Start Time", "0" }, { "Start Hour", "0" }, { "Start Minute", "1" }, { "Start Second", "2" },
        { "Start Millisecond", "3" }, { "End Time", "0" }, { "End Hour", "4" }, { "End Minute", "5" },
        { "End Second", "6" }, { "End Millisecond", "7" }, { "Loop Movie", "1" }, { "Mute", "0" },
        { "Auto Update", "1" },
    };
}

// A top-level window of the test, counting the WM_CLOSE messages it receives.
class OwnerWindow {
public:
    explicit OwnerWindow(bool visible)
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "LumaspireOwnerWindow";
        ::RegisterClassA(&wc);
        m_hWnd = ::CreateWindowExA(0, wc.lpszClassName, "owner", WS_POPUP | (visible ? WS_VISIBLE : 0), 500, 400,
                                   400, 300, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~OwnerWindow()
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    std::string Switch() const
    {
        return "/c:" + std::to_string(static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(m_hWnd)));
    }

    HWND m_hWnd = nullptr;
    static int s_closes;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_CLOSE)
            ++s_closes;
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
};
int OwnerWindow::s_closes = 0;

class ConfigDialogEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKey();
        WriteStored(SeedRecord());
    }

    ScopedSettingsKey m_saved;
};

}  // namespace

TEST_F(ConfigDialogEndToEnd, StoredViewOptionChecksItsButtonAndSetsTheSizeFields)
{
    struct Case {
        const char* option;
        int checked;  // 0: none
        bool sizeEnabled;
    };
    const Case cases[] = {
        { "0", 1006, true }, { "1", 1003, false }, { "2", 1004, false }, { "3", 1005, false }, { "7", 0, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("option ") + c.option);
        Stored seed = SeedRecord();
        seed["View Size Option"] = c.option;
        WriteStored(seed);
        ConfigDialog dlg;
        ASSERT_TRUE(dlg.Open());
        for (int id = 1003; id <= 1006; ++id)
            EXPECT_EQ(id == c.checked, dlg.Checked(id)) << id;
        EXPECT_EQ(c.sizeEnabled, dlg.Enabled(1007));
        EXPECT_EQ(c.sizeEnabled, dlg.Enabled(1008));
        // The rest of the record, as it is shown.
        EXPECT_EQ("C:\\clips\\seed.avi", dlg.Text(1001));
        EXPECT_EQ("640", dlg.Text(1007));
        EXPECT_EQ("7", dlg.Text(1018));
        EXPECT_FALSE(dlg.Enabled(1010));  // start time off
        EXPECT_FALSE(dlg.Enabled(1018));
        EXPECT_TRUE(dlg.Checked(1019));
        EXPECT_FALSE(dlg.Checked(1020));
        EXPECT_TRUE(dlg.Checked(1021));
        EXPECT_EQ("官网", dlg.Text(1022));
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
        EXPECT_EQ(seed, ReadStored());
    }
}

TEST_F(ConfigDialogEndToEnd, OkSavesExactlyWhatTheControlsHold)
{
    ConfigDialog dlg;
    ASSERT_TRUE(dlg.Open());
    dlg.SetText(1001, "C:\\剪辑\\新片.avi");
    dlg.Click(1006);
    EXPECT_TRUE(dlg.Enabled(1007));
    dlg.SetText(1007, "1234");
    dlg.SetText(1008, "567");
    dlg.Click(1004);  // full screen: the custom size is kept though disabled
    EXPECT_FALSE(dlg.Enabled(1007));
    dlg.Click(1019);
    dlg.Click(1020);
    dlg.Click(1021);
    dlg.Click(1009);
    EXPECT_TRUE(dlg.Enabled(1010));
    EXPECT_FALSE(dlg.Enabled(1015));
    dlg.Click(1014);
    EXPECT_TRUE(dlg.Enabled(1018));
    const int timeFields[] = { 1010, 1011, 1012, 1013, 1015, 1016, 1017, 1018 };
    const char* timeTexts[] = { "1", "2", "3", "4", "5", "6", "7", "4294967295" };
    for (int i = 0; i < 8; ++i)
        dlg.SetText(timeFields[i], timeTexts[i]);
    dlg.PostClick(IDOK);
    EXPECT_EQ(0u, dlg.WaitExit());

    const Stored expected = {
        { "Movie File Path", "C:\\剪辑\\新片.avi" },
        { "View Size Option", "2" }, { "View Size Width", "1234" }, { "View Size Height", "567" },
        { "Start Time", "1" }, { "Start Hour", "1" }, { "Start Minute", "2" }, { "Start Second", "3" },
        { "Start Millisecond", "4" }, { "End Time", "1" }, { "End Hour", "5" }, { "End Minute", "6" },
        { "End Second", "7" }, { "End Millisecond", "4294967295" }, { "Loop Movie", "0" }, { "Mute", "1" },
        { "Auto Update", "0" },
    };
    EXPECT_EQ(expected, ReadStored());
}

TEST_F(ConfigDialogEndToEnd, CancelEscAndTheCloseBoxSaveNothing)
{
    enum How { kCancelButton, kEscape, kCloseBox };
    const How ways[] = { kCancelButton, kEscape, kCloseBox };
    for (How how : ways) {
        SCOPED_TRACE(how);
        ConfigDialog dlg;
        ASSERT_TRUE(dlg.Open());
        dlg.Click(1006);
        dlg.SetText(1007, "999");
        dlg.Click(1020);
        dlg.Click(1009);
        dlg.Click(1025);
        dlg.Click(1026);
        if (how == kCancelButton)
            dlg.PostClick(IDCANCEL);
        else if (how == kEscape)
            ::PostMessageA(dlg.Item(1019), WM_KEYDOWN, VK_ESCAPE, 0);
        else
            ::PostMessageA(dlg.Dlg(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(0u, dlg.WaitExit());
        EXPECT_EQ(SeedRecord(), ReadStored());
    }
}

TEST_F(ConfigDialogEndToEnd, StartNotBeforeEndIsRefusedWithMessage10008)
{
    struct Case {
        const char* what;
        const char* start[4];
        const char* end[4];
        bool endEnabled;
        bool refused;
    };
    const Case cases[] = {
        { "equal", { "0", "0", "10", "0" }, { "0", "0", "10", "0" }, true, true },
        { "61 minutes after 1 h 0 m 59 s", { "0", "61", "0", "0" }, { "1", "0", "59", "0" }, true, true },
        // Hours near 2^32 do not fit in 64 bits of 100 ns units; wrapped, this start
        // would come out at about 195690834 hours.
        { "start beyond 64 bits", { "4294967295", "0", "0", "0" }, { "195690835", "0", "0", "0" }, true, true },
        { "end disabled", { "0", "0", "10", "0" }, { "0", "0", "0", "0" }, false, false },
        { "start before end", { "0", "0", "9", "999" }, { "0", "0", "10", "0" }, true, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteStored(SeedRecord());
        ConfigDialog dlg;
        ASSERT_TRUE(dlg.Open());
        dlg.Click(1009);
        if (c.endEnabled)
            dlg.Click(1014);
        for (int i = 0; i < 4; ++i) {
            dlg.SetText(1010 + i, c.start[i]);
            dlg.SetText(1015 + i, c.end[i]);
        }
        dlg.PostClick(IDOK);
        if (!c.refused) {
            EXPECT_EQ(0u, dlg.WaitExit());
            Stored stored = ReadStored();
            EXPECT_EQ("1", stored["Start Time"]);
            EXPECT_EQ(c.endEnabled ? "1" : "0", stored["End Time"]);
            EXPECT_EQ(c.start[2], stored["Start Second"]);
            continue;
        }
        HWND hBox = dlg.WaitForOtherDialog();
        ASSERT_NE(nullptr, hBox);
        MessageBoxParts parts = PartsOf(hBox);
        EXPECT_EQ("'起始时间' 大于或等于 '结束时间'. 请修正！", parts.text);
        EXPECT_EQ("Tollvane Lumaspire", TextOf(hBox));
        EXPECT_EQ(nullptr, ::GetWindow(hBox, GW_OWNER));
        EXPECT_TRUE(::GetWindowLongA(hBox, GWL_EXSTYLE) & WS_EX_TOPMOST);  // system-modal
        ASSERT_NE(nullptr, parts.icon);
        PumpFor(300);
        EXPECT_GT(CountRedPixels(parts.icon), 20) << "not the error icon";
        ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hBox); }, 10000));
        EXPECT_TRUE(dlg.StillOpen());
        EXPECT_EQ(SeedRecord(), ReadStored());
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
    }
}

TEST_F(ConfigDialogEndToEnd, BadNumberAsksForAnIntegerAndFocusesAnEditableField)
{
    struct Case {
        const char* what;
        int viewButtonAfter;  // clicked after clearing the width; 0: none
    };
    const Case cases[] = {
        { "custom width cleared", 0 },
        { "custom width cleared, then full screen", 1004 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigDialog dlg;
        ASSERT_TRUE(dlg.Open());
        dlg.Click(1006);
        dlg.SetText(1007, "");
        dlg.Click(1020);
        if (c.viewButtonAfter) {
            dlg.Click(c.viewButtonAfter);
            EXPECT_FALSE(dlg.Enabled(1007));
        }
        dlg.PostClick(IDOK);
        HWND hBox = dlg.WaitForOtherDialog();
        ASSERT_NE(nullptr, hBox);
        EXPECT_EQ(dlg.Dlg(), ::GetWindow(hBox, GW_OWNER));
        EXPECT_NE(std::string::npos, PartsOf(hBox).text.find("正整数")) << PartsOf(hBox).text;
        ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hBox); }, 10000));
        EXPECT_TRUE(PumpUntil([&] { return dlg.FocusedControl() == dlg.Item(1007); }, 5000));
        EXPECT_TRUE(dlg.Enabled(1007));
        EXPECT_TRUE(dlg.StillOpen());
        EXPECT_EQ(SeedRecord(), ReadStored());
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
    }
}

namespace {

// Types path into the Open dialog and confirms it.
void ChooseInOpenDialog(HWND hOpen, const std::string& path)
{
    HWND hName = ::GetDlgItem(hOpen, 0x47c);  // cmb13: the name box of the Explorer-style dialog
    if (!hName)
        hName = ::GetDlgItem(hOpen, 0x480);  // edt1
    ASSERT_NE(nullptr, hName);
    ::SendMessageA(hName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::PostMessageA(hOpen, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hOpen, IDOK)));
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hOpen); }, 15000));
}

// A file of the test, deleted at the end.
class ScopedFile {
public:
    explicit ScopedFile(const std::string& path) : m_path(path)
    {
        HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    }
    ~ScopedFile() { ::DeleteFileA(m_path.c_str()); }
    bool Exists() const { return ::GetFileAttributesA(m_path.c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    std::string m_path;
};

}  // namespace

TEST_F(ConfigDialogEndToEnd, BrowseUsesTheSystemOpenDialogAndWritesOnlyThePath)
{
    const std::string chosen = ExeDir() + "browse 剪辑.avi";
    ScopedFile file(chosen);
    ASSERT_TRUE(file.Exists());

    ConfigDialog dlg;
    ASSERT_TRUE(dlg.Open());
    // Unsaved edits the Open dialog must not undo.
    dlg.Click(1020);
    dlg.SetText(1012, "007");

    // Cancelled: nothing changes.
    dlg.PostClick(1002);
    HWND hOpen = dlg.WaitForOtherDialog();
    ASSERT_NE(nullptr, hOpen);
    EXPECT_EQ(dlg.Dlg(), ::GetWindow(hOpen, GW_OWNER));
    ::PostMessageA(hOpen, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hOpen); }, 10000));
    EXPECT_EQ("C:\\clips\\seed.avi", dlg.Text(1001));

    // Chosen: the full path, and only the path, is written.
    dlg.PostClick(1002);
    hOpen = dlg.WaitForOtherDialog();
    ASSERT_NE(nullptr, hOpen);
    ChooseInOpenDialog(hOpen, chosen);
    EXPECT_TRUE(PumpUntil([&] { return dlg.Text(1001) == chosen; }, 5000)) << dlg.Text(1001);
    EXPECT_EQ("007", dlg.Text(1012));
    EXPECT_TRUE(dlg.Checked(1020));

    // A bad field: the integer prompt instead of the Open dialog, and no edit undone.
    dlg.Click(1006);
    dlg.SetText(1008, "");
    dlg.PostClick(1002);
    HWND hBox = dlg.WaitForOtherDialog();
    ASSERT_NE(nullptr, hBox);
    EXPECT_NE(std::string::npos, PartsOf(hBox).text.find("正整数"));
    ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hBox); }, 10000));
    EXPECT_EQ(nullptr, dlg.WaitForOtherDialog(1000));
    EXPECT_EQ("007", dlg.Text(1012));
    EXPECT_EQ("", dlg.Text(1008));

    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit());
    EXPECT_EQ(SeedRecord(), ReadStored());
}

TEST_F(ConfigDialogEndToEnd, LongestPathSurvivesOkAndReopening)
{
    // 259 characters, the longest path Windows allows.
    const std::string dir = ExeDir() + "longest";
    ::CreateDirectoryA(dir.c_str(), nullptr);
    std::string path = dir + "\\";
    path += std::string(259 - path.size() - 4, 'n') + ".avi";
    ASSERT_EQ(259u, path.size());
    {
        ScopedFile file(path);
        ASSERT_TRUE(file.Exists());

        ConfigDialog dlg;
        ASSERT_TRUE(dlg.Open());
        dlg.PostClick(1002);
        HWND hOpen = dlg.WaitForOtherDialog();
        ASSERT_NE(nullptr, hOpen);
        ChooseInOpenDialog(hOpen, path);
        EXPECT_EQ(path, dlg.Text(1001));
        dlg.PostClick(IDOK);
        EXPECT_EQ(0u, dlg.WaitExit());
        EXPECT_EQ(path, ReadStored()["Movie File Path"]);

        ConfigDialog again;
        ASSERT_TRUE(again.Open());
        EXPECT_EQ(path, again.Text(1001));
        again.PostClick(IDCANCEL);
        EXPECT_EQ(0u, again.WaitExit());
    }
    ::RemoveDirectoryA(dir.c_str());
}

TEST_F(ConfigDialogEndToEnd, CentredOverAVisibleOwnerElseOverTheWorkAreaAndCancelClosesNoOtherWindow)
{
    RECT workArea;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    OwnerWindow visible(true);
    OwnerWindow hidden(false);
    RECT ownerRect;
    ::GetWindowRect(visible.m_hWnd, &ownerRect);

    struct Case {
        const char* what;
        std::string args;
        POINT centre;
    };
    const Case cases[] = {
        { "no owner", "", CentreOf(workArea) },
        { "visible owner", visible.Switch(), CentreOf(ownerRect) },
        { "hidden owner", hidden.Switch(), CentreOf(workArea) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OwnerWindow::s_closes = 0;
        ConfigDialog dlg;
        ASSERT_TRUE(dlg.Open(c.args));
        RECT rc;
        ::GetWindowRect(dlg.Dlg(), &rc);
        POINT centre = CentreOf(rc);
        EXPECT_NEAR(c.centre.x, centre.x, 1);
        EXPECT_NEAR(c.centre.y, centre.y, 1);
        dlg.PostClick(IDCANCEL);
        EXPECT_EQ(0u, dlg.WaitExit());
        PumpFor(300);
        EXPECT_EQ(0, OwnerWindow::s_closes);
        EXPECT_TRUE(::IsWindow(visible.m_hWnd));
        EXPECT_TRUE(::IsWindow(hidden.m_hWnd));
    }
}

TEST_F(ConfigDialogEndToEnd, AboutShowsTheBoxOverTheDisabledDialogUntilEsc)
{
    ConfigDialog dlg;
    ASSERT_TRUE(dlg.Open());
    dlg.PostClick(1023);
    HWND hBox = dlg.WaitForOtherDialog(15000, [](HWND h) {
        return (::GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0;
    });
    ASSERT_TRUE(hBox) << "no About box";
    EXPECT_EQ(dlg.Dlg(), ::GetWindow(hBox, GW_OWNER));
    EXPECT_FALSE(::IsWindowEnabled(dlg.Dlg())) << "the dialog stays usable under the box";
    RECT rcBox, rcDlg;
    ::GetWindowRect(hBox, &rcBox);
    ::GetWindowRect(dlg.Dlg(), &rcDlg);
    EXPECT_NEAR(CentreOf(rcDlg).x, CentreOf(rcBox).x, 1);
    EXPECT_NEAR(CentreOf(rcDlg).y, CentreOf(rcBox).y, 1);

    ::PostMessageA(hBox, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hBox); }, 5000)) << "Esc left the box open";
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowEnabled(dlg.Dlg()) != FALSE; }, 5000));
    EXPECT_TRUE(dlg.StillOpen());
    dlg.PostClick(IDCANCEL);
    EXPECT_EQ(0u, dlg.WaitExit());
}

// The folder button: the system's folder picker, owned by the dialog and opened at the
// chosen clip's folder; the folder goes into the path, which then plays the whole folder,
// so the start and end times (one clip's) are disabled. Shuffle and resume are saved by
// OK; the rest of the record stays as it was.
TEST_F(ConfigDialogEndToEnd, FolderButtonPicksAFolderAndTheNewBoxesAreSaved)
{
    // On drive C:, where a picker starts in its tree of the computer's drives.
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "folder 剪辑";
    const std::string inner = folder + "\\inner";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ::CreateDirectoryA(inner.c_str(), nullptr);
    {
        ScopedFile clip(folder + "\\a.avi");
        Stored seed = SeedRecord();
        seed["Movie File Path"] = folder + "\\a.avi";
        WriteStored(seed);

        ConfigDialog dlg;
        ASSERT_TRUE(dlg.Open());
        EXPECT_EQ("", LayoutFault(dlg.Dlg()));
        EXPECT_EQ("文件夹...", dlg.Text(1024));
        EXPECT_EQ("随机播放", dlg.Text(1025));
        EXPECT_EQ("从上次停止处继续", dlg.Text(1026));
        // The new controls in the tab order after their neighbours; the old order kept.
        EXPECT_EQ(dlg.Item(1024), ::GetNextDlgTabItem(dlg.Dlg(), dlg.Item(1002), FALSE));
        EXPECT_EQ(dlg.Item(1025), ::GetNextDlgTabItem(dlg.Dlg(), dlg.Item(1021), FALSE));
        EXPECT_EQ(dlg.Item(1026), ::GetNextDlgTabItem(dlg.Dlg(), dlg.Item(1025), FALSE));
        EXPECT_EQ(dlg.Item(IDOK), ::GetNextDlgTabItem(dlg.Dlg(), dlg.Item(1026), FALSE));
        EXPECT_FALSE(dlg.Checked(1025));
        EXPECT_FALSE(dlg.Checked(1026));
        EXPECT_TRUE(dlg.Enabled(1009));
        dlg.Click(1009);  // start time on: its fields enabled, until a folder is chosen

        // Confirmed as it opens: the folder it started at, the chosen clip's. Wine's picker
        // (10) does not move to a folder it is given (BFFM_SETSELECTION): there it gives
        // back whatever folder its tree starts with, which must still become the path.
        const bool pickerSelects = !RunningUnderWine();
        dlg.PostClick(1024);
        HWND hPicker = dlg.WaitForOtherDialog();
        ASSERT_NE(nullptr, hPicker);
        EXPECT_EQ(dlg.Dlg(), ::GetWindow(hPicker, GW_OWNER));
        ::PostMessageA(hPicker, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hPicker); }, 10000));
        EXPECT_TRUE(PumpUntil([&] { return dlg.Text(1001) != folder + "\\a.avi"; }, 5000));
        std::string picked = dlg.Text(1001);
        EXPECT_TRUE(::GetFileAttributesA(picked.c_str()) & FILE_ATTRIBUTE_DIRECTORY) << picked;
        if (pickerSelects) {
            EXPECT_EQ(folder, picked);
        }
        for (int id : { 1009, 1010, 1013, 1014, 1015, 1018 })
            EXPECT_FALSE(dlg.Enabled(id)) << id;

        // Another folder chosen in the picker; then a cancelled picker changes nothing.
        dlg.PostClick(1024);
        hPicker = dlg.WaitForOtherDialog();
        ASSERT_NE(nullptr, hPicker);
        dlg.SendWithData(hPicker, BFFM_SETSELECTIONA, TRUE, inner.c_str(), inner.size() + 1);
        ::PostMessageA(hPicker, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hPicker); }, 10000));
        if (pickerSelects) {
            EXPECT_TRUE(PumpUntil([&] { return dlg.Text(1001) == inner; }, 5000)) << dlg.Text(1001);
        }
        picked = dlg.Text(1001);
        dlg.PostClick(1024);
        hPicker = dlg.WaitForOtherDialog();
        ASSERT_NE(nullptr, hPicker);
        ::PostMessageA(hPicker, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hPicker); }, 10000));
        EXPECT_EQ(picked, dlg.Text(1001));

        dlg.Click(1025);
        dlg.Click(1026);
        dlg.PostClick(IDOK);
        EXPECT_EQ(0u, dlg.WaitExit());
        Stored expected = seed;
        expected["Movie File Path"] = picked;
        expected["Start Time"] = "1";
        expected["Shuffle"] = "1";
        expected["Resume"] = "1";
        EXPECT_EQ(expected, ReadStored());

        // Opened again: the boxes ticked, the times disabled; a file chosen with Browse
        // gives them back.
        ConfigDialog again;
        ASSERT_TRUE(again.Open());
        EXPECT_TRUE(again.Checked(1025));
        EXPECT_TRUE(again.Checked(1026));
        EXPECT_FALSE(again.Enabled(1009));
        again.PostClick(1002);
        HWND hOpen = again.WaitForOtherDialog();
        ASSERT_NE(nullptr, hOpen);
        ChooseInOpenDialog(hOpen, folder + "\\a.avi");
        EXPECT_TRUE(PumpUntil([&] { return again.Enabled(1009) && again.Enabled(1010); }, 5000));
        // Unticked, they are stored as 0 now that the key has them.
        again.Click(1025);
        again.PostClick(IDOK);
        EXPECT_EQ(0u, again.WaitExit());
        expected["Movie File Path"] = folder + "\\a.avi";
        expected["Shuffle"] = "0";
        EXPECT_EQ(expected, ReadStored());
    }
    ::RemoveDirectoryA(inner.c_str());
    ::RemoveDirectoryA(folder.c_str());
}
