// lumaspire.scr fed what it should never get: settings of the wrong type or length,
// clips that are not clips, and command lines of any length and any bytes. Every run
// must come to a clear end (a window a key closes, or an exit) with no crash and no
// hang, and the configuration dialog's OK must then store a sound record.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/ConfigDialogDriver.h"
#include "common/TestSupport.h"

namespace {

const char kPathValue[] = "Movie File Path";

// The sixteen numbers in the order the saver stores them; the flags hold 0 or 1 once
// the dialog has written them.
struct NumberValue {
    const char* name;
    bool flag;
};
const NumberValue kNumbers[16] = {
    { "View Size Option", false }, { "View Size Width", false }, { "View Size Height", false },
    { "Start Time", true },        { "Start Hour", false },      { "Start Minute", false },
    { "Start Second", false },     { "Start Millisecond", false }, { "End Time", true },
    { "End Hour", false },         { "End Minute", false },      { "End Second", false },
    { "End Millisecond", false },  { "Loop Movie", true },       { "Mute", true },
    { "Auto Update", true },
};

// A whole record: the path and the sixteen numbers in the order above.
struct Record {
    std::string path;
    DWORD numbers[16];
};

// Sound settings no test case starts from by accident: none of them is a default, and
// neither the time check nor an update check gets in the way.
const Record kBaseline = { "C:\\no such clip.avi", { 1, 640, 480, 0, 0, 1, 2, 3, 0, 0, 4, 5, 6, 0, 1, 0 } };
const Record kDefaults = { "", { 2, 800, 600, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1 } };

int NumberIndex(const char* name)
{
    for (int i = 0; i < 16; ++i) {
        if (strcmp(kNumbers[i].name, name) == 0)
            return i;
    }
    return -1;
}

// One stored value as the registry holds it.
struct RawValue {
    const char* name;
    DWORD type;
    std::string bytes;
};

std::string Bytes(const char* data, size_t size)
{
    return std::string(data, size);
}

std::string Dword(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

void WriteValues(const std::vector<RawValue>& values)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                               &hKey, nullptr));
    for (const RawValue& v : values) {
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(hKey, v.name, 0, v.type,
                                                  reinterpret_cast<const BYTE*>(v.bytes.data()),
                                                  static_cast<DWORD>(v.bytes.size())))
            << v.name;
    }
    ::RegCloseKey(hKey);
}

void WriteRecord(const Record& r)
{
    std::vector<RawValue> values = { { kPathValue, REG_SZ, r.path + '\0' } };
    for (int i = 0; i < 16; ++i)
        values.push_back({ kNumbers[i].name, REG_DWORD, Dword(r.numbers[i]) });
    WriteValues(values);
}

// Reads the record back, checking that every value has its type and length.
void ExpectSoundRecord(const Record& expected)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, KEY_READ, &hKey));
    std::vector<char> data(20000);
    DWORD type = 0, size = static_cast<DWORD>(data.size());
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueExA(hKey, kPathValue, nullptr, &type,
                                                reinterpret_cast<BYTE*>(data.data()), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    // Terminated right at its end, and no longer than the longest path Windows allows.
    ASSERT_GE(size, 1u);
    EXPECT_EQ('\0', data[size - 1]);
    EXPECT_EQ(size - 1, strlen(data.data()));
    EXPECT_LT(strlen(data.data()), static_cast<size_t>(MAX_PATH));
    EXPECT_EQ(expected.path, std::string(data.data()));
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(kNumbers[i].name);
        DWORD value = 0xDEADBEEF;
        size = static_cast<DWORD>(data.size());
        ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueExA(hKey, kNumbers[i].name, nullptr, &type,
                                                    reinterpret_cast<BYTE*>(data.data()), &size));
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
        ASSERT_EQ(4u, size);
        memcpy(&value, data.data(), 4);
        if (kNumbers[i].flag) {
            EXPECT_LE(value, 1u);
        }
        EXPECT_EQ(expected.numbers[i], value);
    }
    ::RegCloseKey(hKey);
}

struct WindowsOfProcess {
    DWORD id;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindowOf(HWND hWnd, LPARAM lParam)
{
    WindowsOfProcess* f = reinterpret_cast<WindowsOfProcess*>(lParam);
    DWORD id = 0;
    ::GetWindowThreadProcessId(hWnd, &id);
    if (id == f->id && ::IsWindowVisible(hWnd))
        f->found.push_back(hWnd);
    return TRUE;
}

// Closes whatever top-level windows the process shows, as a user would.
void CloseWindowsOf(DWORD processId)
{
    WindowsOfProcess windows = { processId, {} };
    ::EnumWindows(CollectWindowOf, reinterpret_cast<LPARAM>(&windows));
    for (HWND hWnd : windows.found)
        ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
}

// An exit code that is an unhandled exception's (access violation, stack overflow, a
// failed stack check, a breakpoint), not one the program returned; -1 is a refusal.
bool IsCrashCode(DWORD exitCode)
{
    return (exitCode & 0xF0000000) == 0xC0000000 || exitCode == EXCEPTION_BREAKPOINT;
}

const UINT kNoClip = 10005, kClipMissing = 10006, kClipUnplayable = 10007;

// White text on the saver's black: the bounding box of its ink; right is -1 when none.
RECT InkBox(const ScreenShot& shot)
{
    RECT box = { shot.width, shot.height, -1, -1 };
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            COLORREF c = shot.At(x, y);
            if (GetRValue(c) > 150 && GetGValue(c) > 150 && GetBValue(c) > 150) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
    }
    return box;
}

// Size of a status text as the saver lays it out, from the saver's own string table.
SIZE StatusTextSize(UINT id, const std::string& path)
{
    static HMODULE hSaver = ::LoadLibraryExA(SaverPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char format[512] = {};
    if (!hSaver || !::LoadStringA(hSaver, id, format, sizeof(format)))
        return SIZE{ 0, 0 };
    std::vector<char> text(sizeof(format) + path.size());
    snprintf(text.data(), text.size(), format, path.c_str());
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    RECT rc = {};
    ::DrawTextA(hMem, text.data(), -1, &rc, DT_CALCRECT);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    return SIZE{ rc.right - rc.left, rc.bottom - rc.top };
}

// Which of the clip status texts the screen shows, told apart by the size of its ink
// (the texts differ in their number of lines and their longest line); 0 when none
// settled on the screen.
UINT StatusTextOnScreen(const std::string& path)
{
    ScreenShot shot;
    RECT last = { 0, 0, -1, -1 }, box = {};
    bool settled = PumpUntil([&] {
        shot.Capture();
        box = InkBox(shot);
        bool same = box.right > 0 && EqualRect(&box, &last);
        last = box;
        return same;
    }, 30000);
    if (!settled)
        return 0;
    UINT best = 0;
    LONG bestDistance = LONG_MAX;
    for (UINT id : { kNoClip, kClipMissing, kClipUnplayable }) {
        SIZE size = StatusTextSize(id, path);
        // The ink lies inside the laid-out box, a few pixels short of its edges.
        LONG distance = labs(size.cx - (box.right - box.left)) + labs(size.cy - (box.bottom - box.top));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = id;
        }
    }
    return best;
}

class BadInputEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ReadyForSaver(); }

    // The first key closes the full-screen saver with exit code 0.
    static void ExpectKeyCloses(SaverProcess* p)
    {
        EXPECT_TRUE(p->Running());
        PressKey(VK_SPACE);
        EXPECT_EQ(0u, p->WaitExit(15000));
    }

    ScopedSettingsKey m_settings;
};

}  // namespace

TEST_F(BadInputEndToEnd, SettingsOfTheWrongTypeOrLengthRunAndOkStoresASoundRecord)
{
    struct Case {
        const char* what;
        std::vector<RawValue> bad;
        Record after;  // the record OK stores
        UINT text;     // the status text /s shows for the clip path it loaded
    };
    std::vector<Case> cases;

    // Too long, every one: the defaults stand in for all seventeen.
    {
        Case c = { "10,000 bytes each", {}, kDefaults, kNoClip };
        c.bad.push_back({ kPathValue, REG_SZ, std::string(9999, 'x') + '\0' });
        for (const NumberValue& n : kNumbers)
            c.bad.push_back({ n.name, REG_BINARY, std::string(10000, '\x01') });
        cases.push_back(c);
    }
    // Text where a number belongs and a number where text belongs: up to four bytes are
    // taken as they stand, over the low bytes of the default.
    {
        Case c = { "numbers as REG_SZ, the path as REG_DWORD", {}, kDefaults, kClipMissing };
        c.bad.push_back({ kPathValue, REG_DWORD, Bytes("abcd", 4) });
        c.after.path = "abcd";
        for (const NumberValue& n : kNumbers) {
            const char* text = strcmp(n.name, "Start Hour") == 0 ? "1"
                               : strcmp(n.name, "End Hour") == 0 ? "2"
                               : strcmp(n.name, "Auto Update") == 0 ? ""  // one NUL over the default 1
                               : "0";
            c.bad.push_back({ n.name, REG_SZ, Bytes(text, strlen(text) + 1) });
            DWORD value = static_cast<unsigned char>(text[0]);
            // Flags come back from their check boxes as 0 or 1.
            c.after.numbers[NumberIndex(n.name)] = n.flag ? (value != 0) : value;
        }
        cases.push_back(c);
    }
    // Binary data of odd sizes and types no setting has; the rest of the record stays.
    {
        Case c = { "REG_BINARY sizes and other types", {}, kBaseline, kNoClip };
        auto bad = [&](const char* name, DWORD type, const std::string& bytes, DWORD after) {
            c.bad.push_back({ name, type, bytes });
            c.after.numbers[NumberIndex(name)] = after;
        };
        // 260 bytes with no terminator: longer than any path, so none.
        c.bad.push_back({ kPathValue, REG_BINARY, std::string(MAX_PATH, 'y') });
        c.after.path = "";
        // A view size option no button stands for: counts as custom size, kept as it is.
        bad("View Size Option", REG_BINARY, Bytes("\xff", 1), 0xFF);
        bad("View Size Width", REG_QWORD, std::string(8, '\0'), 800);
        bad("View Size Height", REG_BINARY, std::string(), 600);  // no bytes: the default stays
        bad("Start Time", REG_DWORD_BIG_ENDIAN, Bytes("\0\0\0\x02", 4), 1);
        bad("Start Hour", REG_BINARY, Bytes("\x01\0\x01", 3), 0x10001);
        bad("Start Minute", REG_MULTI_SZ, Bytes("a\0\0", 3), 'a');
        bad("End Second", REG_EXPAND_SZ, Bytes("%\0", 2), '%');
        bad("Loop Movie", REG_BINARY, Bytes("\x02\0", 2), 1);
        bad("Mute", REG_NONE, std::string(4, '\0'), 0);
        bad("Auto Update", REG_RESOURCE_LIST, std::string(6, '\0'), 1);  // too long: the default
        cases.push_back(c);
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteRecord(kBaseline);
        WriteValues(c.bad);
        {
            SaverProcess p;
            ASSERT_NE(nullptr, StartFullScreen(p)) << "no saver window";
            EXPECT_EQ(c.text, StatusTextOnScreen(c.after.path));
            ExpectKeyCloses(&p);
        }
        // The bad values are still there for the dialog: a saver run changes nothing.
        WriteRecord(kBaseline);
        WriteValues(c.bad);
        ConfigDialog dlg;
        ASSERT_TRUE(dlg.Open());
        dlg.PostClick(IDOK);
        EXPECT_EQ(0u, dlg.WaitExit(15000));
        ExpectSoundRecord(c.after);
    }
}

TEST_F(BadInputEndToEnd, ClipsThatAreNotClipsShowTheirStatusTextUntilAKey)
{
    // A clip of random bytes with an .avi name.
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof(temp), temp);
    const std::string dir = std::string(temp) + "lumaspire bad input\\";
    RemoveTree(dir);
    ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
    const std::string noise = dir + "noise.avi";
    {
        std::string bytes(64 * 1024, '\0');
        unsigned seed = 12345;
        for (char& b : bytes) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<char>(seed >> 16);
        }
        memcpy(&bytes[0], "RIFF", 4);  // looks like the start of an AVI, then noise
        FILE* f = fopen(noise.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    // A clip that is a folder.
    const std::string folder = dir + "folder.avi";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    // A clip on a drive that does not exist.
    std::string noDrive;
    DWORD drives = ::GetLogicalDrives();
    for (char letter = 'Z'; letter >= 'D' && noDrive.empty(); --letter) {
        if (!(drives & (1u << (letter - 'A'))))
            noDrive = std::string(1, letter) + ":\\clips\\clip.avi";
    }
    ASSERT_FALSE(noDrive.empty()) << "every drive letter is taken";

    struct Case {
        std::string path;
        UINT text;
    };
    const Case cases[] = {
        { noise, kClipUnplayable },
        { folder, kClipMissing },  // no file to open there
        { noDrive, kClipMissing },
        { "C:\\%s%n%x%%.avi", kClipMissing },  // the path goes into the text as it stands
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Record r = kBaseline;
        r.path = c.path;
        WriteRecord(r);
        SaverProcess p;
        ASSERT_NE(nullptr, StartFullScreen(p)) << "no saver window";
        EXPECT_EQ(c.text, StatusTextOnScreen(c.path));
        ExpectKeyCloses(&p);
    }
    RemoveTree(dir);
}

TEST_F(BadInputEndToEnd, CommandLinesOfAnyLengthOrBytesNeverCrashOrHang)
{
    WriteRecord(kBaseline);
    std::vector<std::string> lines = {
        std::string(32000, 'x'),
        "/s" + std::string(31998, ' '),
        "/p " + std::string(31997, '9'),
        "/c:" + std::string(31996, '1'),
        "/a " + std::string(31997, '-'),
        "-" + std::string(31999, '/'),
    };
    unsigned seed = 2026;
    for (int i = 0; i < 6; ++i) {
        std::string line(64 + i * 400, '\0');
        for (char& b : line) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<char>(1 + (seed >> 16) % 255);  // any byte but the terminator
        }
        lines.push_back(line);
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("command line " + std::to_string(i) + ", " + std::to_string(lines[i].size()) + " bytes");
        SaverProcess p;
        ASSERT_TRUE(p.Start(lines[i]));
        // It ends by itself, or shows a window that closes when asked; either way soon.
        DWORD exitCode = p.WaitExit(5000);
        for (int attempt = 0; exitCode == STILL_ACTIVE && attempt < 10; ++attempt) {
            if (::FindWindowA(kSaverWindowClass, nullptr))
                PressKey(VK_SPACE);
            CloseWindowsOf(p.Id());
            exitCode = p.WaitExit(2000);
        }
        EXPECT_NE(STILL_ACTIVE, exitCode) << "still running";
        EXPECT_FALSE(IsCrashCode(exitCode)) << std::hex << exitCode;
    }
    // Nothing was written in passing.
    ExpectSoundRecord(kBaseline);
}
