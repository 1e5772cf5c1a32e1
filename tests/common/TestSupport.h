// Helpers for tests that drive the real lumaspire.scr: start it as the system would,
// find its windows, send input, read the screen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The saver's window class and full-screen title, by which the system and the tests find
// it, and its settings key under HKEY_CURRENT_USER with the maker's key above it.
const char kSaverWindowClass[] = "WindowsScreenSaverClass";
const char kSaverFullScreenTitle[] = "Screen Saver";
const char kSaverSettingsKey[] = "Software\\Tollvane\\Lumaspire";
const char kSaverMakerKey[] = "Software\\Tollvane";

// True under Wine (tests that need Wine-only settings skip themselves elsewhere).
bool RunningUnderWine();
// Folder of the running test program, with a trailing backslash.
std::string ExeDir();
// lumaspire.scr beside the test program.
std::string SaverPath();

// A started process, ended (if still running) and released on destruction.
class SaverProcess {
public:
    SaverProcess() = default;
    ~SaverProcess();
    SaverProcess(const SaverProcess&) = delete;
    SaverProcess& operator=(const SaverProcess&) = delete;

    // Starts "<exe>" <args>; extraEnv holds "NAME=value" entries added to this environment.
    bool Start(const std::string& args, const std::string& exe = SaverPath(),
               const std::vector<std::string>& extraEnv = {});
    // Exit code, or STILL_ACTIVE when it has not ended within timeoutMs.
    DWORD WaitExit(DWORD timeoutMs);
    bool Running() const;
    DWORD Id() const { return m_pi.dwProcessId; }
    HANDLE Handle() const { return m_pi.hProcess; }
    void Kill();

private:
    PROCESS_INFORMATION m_pi = {};
};

// The start of a test that runs the saver: the pointer at 100,100, from where the tests'
// moves are measured, and a fatal failure when a saver of an earlier test is still up.
void ReadyForSaver();

// Starts the full-screen saver (/s) as the system does and waits until its window is the
// foreground window, where input reaches it; null when no window came.
HWND StartFullScreen(SaverProcess& p, const std::string& exe = SaverPath(),
                     const std::vector<std::string>& extraEnv = {});

// Runs the saver with args and returns its exit code (STILL_ACTIVE on time-out, then killed).
DWORD RunSaver(const std::string& args, DWORD timeoutMs = 15000);

// Polls for a top-level window of that class and title; null after timeoutMs.
HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs = 15000);
// Polls for a top-level window of the process; optional class filter.
HWND WaitForProcessWindow(DWORD processId, const char* className, DWORD timeoutMs = 15000);
// Waits while pumping this thread's messages.
void PumpFor(DWORD ms);
// Pumps until pred() holds or timeoutMs pass; returns pred().
template <typename Pred>
bool PumpUntil(Pred pred, DWORD timeoutMs)
{
    DWORD start = ::GetTickCount();
    while (!pred()) {
        if (::GetTickCount() - start > timeoutMs)
            return pred();
        PumpFor(20);
    }
    return true;
}

// Input as a user makes it.
void MoveMouseTo(int x, int y);
void PressKey(WORD vk);
void ClickLeft();

// The screen as the user sees it: 32-bit BGRA pixels, row 0 at the top.
struct ScreenShot {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;
    COLORREF At(int x, int y) const;  // RGB()
    bool Capture(const RECT* area = nullptr);  // whole screen when null
};

// With LUMASPIRE_SHOT_DIR set to a Windows folder, keeps the picture there as
// <name>.bmp (for the README, or to look at what a test saw); otherwise does nothing.
void KeepShot(const char* name, const ScreenShot& shot);
void KeepShot(const char* name, HWND hWnd);

// Where Wine is more lenient than Windows, a test makes this program meet Windows' answer:
// points the module's import of dll!function at replacement until restored. Returns the
// function it called before, null when the module does not import it by name.
void* ReplaceImport(HMODULE module, const char* dll, const char* function, void* replacement);

// Monitors as the test says, for the program's code linked into this test program: while
// one lives, that code's run-time look-ups of EnumDisplayMonitors and GetMonitorInfoA get
// stand-ins reporting these rectangles, each with a work area 40 pixels short of its
// bottom (a taskbar: Wine without one reports work area and monitor alike).
class StandInMonitors {
public:
    explicit StandInMonitors(const std::vector<RECT>& monitors);
    ~StandInMonitors();
    StandInMonitors(const StandInMonitors&) = delete;
    StandInMonitors& operator=(const StandInMonitors&) = delete;
    bool Active() const { return m_previous != nullptr; }
    void Set(const std::vector<RECT>& monitors);  // a display change

private:
    void* m_previous;
};

// Files and folders, as tests set them up and check them.
bool PathExists(const std::string& path);
std::string ReadAll(const std::string& path);  // the file's bytes; empty when unreadable
void RemoveTree(const std::string& dir);  // the folder with everything in it

// Registry helpers that restore what they changed.
class ScopedRegValue {
public:
    // Sets HKCU\key\name (REG_SZ when text, else REG_DWORD) until destruction.
    ScopedRegValue(const char* key, const char* name, const char* text);
    ScopedRegValue(const char* key, const char* name, DWORD value);
    // Only puts root\key\name back as it was (or deletes it) at destruction.
    ScopedRegValue(HKEY root, const char* key, const char* name);
    ~ScopedRegValue();
    ScopedRegValue(const ScopedRegValue&) = delete;
    ScopedRegValue& operator=(const ScopedRegValue&) = delete;

private:
    void Save(const char* key, const char* name);
    HKEY m_root = HKEY_CURRENT_USER;
    std::string m_key, m_name;
    bool m_existed = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_data;
};

// Deletes HKCU\Software\Tollvane\Lumaspire (and the maker key when empty).
void DeleteSettingsKey();
// Saves and restores the whole settings key around a test.
class ScopedSettingsKey {
public:
    ScopedSettingsKey();
    ~ScopedSettingsKey();

private:
    std::vector<std::pair<std::string, std::pair<DWORD, std::vector<BYTE>>>> m_values;
    bool m_existed = false;
};

// The saver's frame counters, read from the running process (its export
// g_playbackCounters): frames decoded, frames shown, the engine that showed the last
// one (1 DirectShow, 2 Media Foundation; 0 before the first) and frames dropped as late.
struct SaverCounters {
    LONG decoded = 0;
    LONG shown = 0;
    LONG engine = 0;
    LONG dropped = 0;
    LONG starved = 0;  // times the sound device had nothing left to play
};
bool ReadPlaybackCounters(HANDLE hProcess, SaverCounters* pCounters);

// Bright pixels (all channels above 200) in the rectangle.
int CountBrightPixels(const ScreenShot& shot, const RECT& rc);
