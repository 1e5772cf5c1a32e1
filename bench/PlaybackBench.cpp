// Playback benchmark: starts the real lumaspire.scr and measures
//  - frames shown against frames decoded over a whole 1280 x 720, 25 fps clip,
//  - time from the start of "/s" to the first picture, against a bare process start,
//  - time from the closing key press to the end of the process, against the same peer.
// With "--watch <clip>" it is the helper of tools/bench-players.py instead: it sets the
// saver up to play the clip once, full screen and muted ("--sound": with its sound), says
// "ready", waits for a saver that the script starts, and when the pass is over prints the
// frame counters and closes the saver with a key press (the script measures the processes
// from outside). With "--click <n>" it is the sound path's yardstick for
// tools/bench-avsync.py: n clicks through waveOut, each with the moment its position
// reached it.
#include <windows.h>
#include <mmsystem.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/TestSupport.h"

namespace {

const int kRuns = 5;

double Now()
{
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void WriteSettings(const std::string& clip, DWORD option, DWORD loop, DWORD mute = 1, DWORD resume = 0)
{
    HKEY hKey;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSaverSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExA(hKey, "Movie File Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(clip.c_str()),
                     static_cast<DWORD>(clip.size() + 1));
    const DWORD zero = 0;
    ::RegSetValueExA(hKey, "View Size Option", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&option), 4);
    ::RegSetValueExA(hKey, "Loop Movie", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&loop), 4);
    ::RegSetValueExA(hKey, "Mute", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mute), 4);
    ::RegSetValueExA(hKey, "Start Time", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
    ::RegSetValueExA(hKey, "End Time", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
    ::RegSetValueExA(hKey, "Shuffle", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
    ::RegSetValueExA(hKey, "Resume", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&resume), 4);
    ::RegCloseKey(hKey);
}

bool CentreIsPainted()
{
    HDC hdc = ::GetDC(nullptr);
    COLORREF c = ::GetPixel(hdc, ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2);
    ::ReleaseDC(nullptr, hdc);
    return c != CLR_INVALID && (GetRValue(c) > 40 || GetGValue(c) > 40 || GetBValue(c) > 40);
}

// The helper of tools/bench-players.py and tools/bench-avsync.py; returns the exit code.
int Watch(const std::string& clip, bool sound)
{
    WriteSettings(clip, 2, 0, sound ? 0 : 1);
    MoveMouseTo(5, 5);
    printf("ready\n");
    fflush(stdout);

    HWND hWnd = WaitForWindow(kSaverWindowClass, kSaverFullScreenTitle, 60000);
    if (!hWnd) {
        printf("no saver window\n");
        return 1;
    }
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    SaverCounters c, last;
    double start = Now(), lastChange = Now(), firstPicture = 0;
    FILETIME created = {}, unused;
    ::GetProcessTimes(hProcess, &created, &unused, &unused, &unused);
    // The pass is over when the counters have stood still for 2 s after the first frame.
    // Long enough for the 10-minute clip of the sound benchmark.
    LONG flashes = 0;
    while (Now() - start < (sound ? 1800000 : 120000)) {
        // Every look costs the server: few of them, but for the sound benchmark, which
        // is told the moment each second's first frame is counted as shown.
        if (sound)
            ::Sleep(1);
        else
            PumpFor(c.shown ? 500 : 20);
        if (!ReadPlaybackCounters(hProcess, &c))
            continue;
        if (sound && c.shown + c.dropped > flashes * 25) {
            printf("frame %ld shown\n", flashes * 25);
            fflush(stdout);
            flashes = (c.shown + c.dropped + 24) / 25;
        }
        if (c.shown && !firstPicture) {
            FILETIME now;
            ::GetSystemTimeAsFileTime(&now);
            ULARGE_INTEGER a, b;
            a.LowPart = created.dwLowDateTime, a.HighPart = created.dwHighDateTime;
            b.LowPart = now.dwLowDateTime, b.HighPart = now.dwHighDateTime;
            firstPicture = (b.QuadPart - a.QuadPart) / 10000.0;  // from the saver's process start
        }
        if (c.decoded != last.decoded) {
            last = c;
            lastChange = Now();
        } else if (c.decoded && Now() - lastChange > 2000) {
            break;
        }
    }
    if (hProcess)
        ::CloseHandle(hProcess);
    printf("frames decoded %ld shown %ld engine %ld first picture %.0f ms dropped %ld\n", c.decoded, c.shown,
           c.engine, firstPicture, c.dropped);
    fflush(stdout);
    PressKey(VK_SPACE);
    return 0;
}

// Clicks as the saver's sound plays: the device opened paused at 48 kHz, 16-bit mono (the
// benchmark clip's sound) and restarted, then silence with 5 ms of 1 kHz tone every half
// second queued. Its position is polled as the saver's clock polls it; when it reaches a
// click, "click <sample> position <position>" is printed. The script takes the line's
// arrival, less what the position had gone past, as the moment the saver would show a
// frame of that time, and the click's arrival in the recording less that moment as the
// delay between what waveOut reports and what is heard, which the saver cannot see.
int Click(int count, double lead)
{
    const DWORD rate = 48000, every = rate / 2;
    WAVEFORMATEX format = { WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0 };
    std::vector<short> sound(every * (count + 1));
    for (int k = 1; k <= count; ++k)
        for (DWORD i = 0; i < rate / 200; ++i)
            sound[k * every + i] = static_cast<short>(20000.0 * std::sin(2.0 * 3.14159265358979 * 1000.0 * i / rate));
    HWAVEOUT hWave = nullptr;
    if (::waveOutOpen(&hWave, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        printf("no sound device\n");
        return 1;
    }
    ::waveOutPause(hWave);
    ::waveOutRestart(hWave);
    // In blocks of 40 ms (a frame's sound), each queued once the position is within
    // `lead` of it, as the saver keeps its sound ahead of the picture.
    const DWORD blockSamples = rate / 25;
    std::vector<WAVEHDR> headers(sound.size() / blockSamples);
    size_t written = 0;
    const double t0 = Now();
    for (int k = 1; k <= count && Now() - t0 < 1000.0 * (count + 10);) {
        MMTIME position = {};
        position.wType = TIME_BYTES;
        ::waveOutGetPosition(hWave, &position, sizeof(position));
        const DWORD at = position.u.cb / 2;
        for (; written < headers.size() && written * blockSamples <= at + lead * rate; ++written) {
            WAVEHDR& h = headers[written];
            h.lpData = reinterpret_cast<LPSTR>(&sound[written * blockSamples]);
            h.dwBufferLength = blockSamples * sizeof(short);
            ::waveOutPrepareHeader(hWave, &h, sizeof(WAVEHDR));
            ::waveOutWrite(hWave, &h, sizeof(WAVEHDR));
        }
        if (at >= k * every) {
            printf("click %lu position %lu\n", static_cast<unsigned long>(k * every), static_cast<unsigned long>(at));
            fflush(stdout);
            ++k;
        }
        ::Sleep(1);
    }
    ::waveOutReset(hWave);
    for (WAVEHDR& h : headers)
        ::waveOutUnprepareHeader(hWave, &h, sizeof(WAVEHDR));
    ::waveOutClose(hWave);
    return 0;
}

// Plays clip (a folder, or one clip looping) once through, full screen, and returns the
// gaps between frames shown, longest first: at a change of clip (or the loop's seam) the
// time from the last frame to the next one's first. *pBlack counts looks at the screen's
// centre, after the first picture, that found it black.
std::vector<double> FrameGaps(const std::string& clip, DWORD loop, double ms, int* pBlack)
{
    WriteSettings(clip, 2, loop);
    SaverProcess p;
    std::vector<double> gaps;
    *pBlack = 0;
    if (!p.Start("/s"))
        return gaps;
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, p.Id());
    SaverCounters c;
    LONG shown = 0;
    double last = 0, start = Now();
    while (Now() - start < ms) {
        ::Sleep(1);
        if (!ReadPlaybackCounters(hProcess, &c))
            continue;
        if (c.shown != shown) {
            if (shown)
                gaps.push_back(Now() - last);
            shown = c.shown;
            last = Now();
        } else if (shown && !CentreIsPainted()) {
            ++*pBlack;
        }
    }
    ::CloseHandle(hProcess);
    PressKey(VK_SPACE);
    p.WaitExit(30000);
    std::sort(gaps.rbegin(), gaps.rend());
    return gaps;
}

// Full-screen closes, from the key to the process's end, with the resume point written
// or not; the median of runs.
double CloseMs(const std::string& folder, DWORD resume)
{
    std::vector<double> closing;
    WriteSettings(folder, 2, 1, 1, resume);
    for (int i = 0; i < kRuns; ++i) {
        SaverProcess p;
        if (!p.Start("/s") || !PumpUntil([] { return CentreIsPainted(); }, 60000))
            return 0;
        PumpFor(1500);
        const double t = Now();
        PressKey(VK_SPACE);
        p.WaitExit(30000);
        closing.push_back(Now() - t);
    }
    return Median(closing);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && strcmp(argv[1], "--watch") == 0)
        return Watch(argv[2], argc == 4 && strcmp(argv[3], "--sound") == 0);
    if (argc >= 3 && strcmp(argv[1], "--click") == 0)
        return Click(atoi(argv[2]), argc == 4 ? atof(argv[3]) : 0.5);

    const std::string clip = ExeDir() + "clips\\bench720.avi";
    ScopedSettingsKey keyGuard;
    MoveMouseTo(5, 5);

    // Peer: a process that starts and ends at once, the same way.
    std::vector<double> bare;
    for (int i = 0; i < kRuns; ++i) {
        double t0 = Now();
        RunSaver("/x");
        bare.push_back(Now() - t0);
    }

    std::vector<double> firstFrame, closing;
    WriteSettings(clip, 2, 1);
    for (int i = 0; i < kRuns; ++i) {
        SaverProcess p;
        double t0 = Now();
        if (!p.Start("/s"))
            return 1;
        if (!PumpUntil([] { return CentreIsPainted(); }, 60000)) {
            printf("no picture within 60 s\n");
            return 1;
        }
        firstFrame.push_back(Now() - t0);
        PumpFor(1000);
        double t1 = Now();
        PressKey(VK_SPACE);
        p.WaitExit(30000);
        closing.push_back(Now() - t1);
    }

    // Every frame of the clip, once, full screen.
    WriteSettings(clip, 2, 0);
    SaverProcess p;
    p.Start("/s");
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, p.Id());
    SaverCounters c, last;
    double playStart = 0, lastChange = Now();
    for (;;) {
        PumpFor(250);
        if (!ReadPlaybackCounters(hProcess, &c))
            continue;
        if (c.decoded && !playStart)
            playStart = Now();
        if (c.decoded != last.decoded) {
            last = c;
            lastChange = Now();
        } else if (c.decoded && Now() - lastChange > 3000) {
            break;  // the pass is over
        }
        if (Now() - lastChange > 120000)
            break;
    }
    double playMs = lastChange - playStart;
    ::CloseHandle(hProcess);
    PressKey(VK_SPACE);
    p.WaitExit(30000);

    const double clipFrames = 300.0, clipMs = 12000.0;
    printf("playback of a 1280x720 25 fps clip (%d frames, 12 s), full screen:\n", static_cast<int>(clipFrames));
    printf("  frames decoded %ld, frames shown %ld: shown/decoded = %.3f\n", c.decoded, c.shown,
           c.decoded ? static_cast<double>(c.shown) / c.decoded : 0.0);
    printf("  decoded/clip frames = %.3f, playing time/clip length = %.3f (%.0f ms)\n", c.decoded / clipFrames,
           playMs / clipMs, playMs);
    printf("median of %d runs; peer: a bare start and exit of the same program (/x) = %.0f ms\n", kRuns,
           Median(bare));
    printf("  /s to first picture: %.0f ms = %.2f x peer\n", Median(firstFrame), Median(firstFrame) / Median(bare));
    printf("  closing key to process exit: %.0f ms = %.2f x peer\n", Median(closing), Median(closing) / Median(bare));

    // A folder's clips one after another (1 to 4 s each, MJPEG, loop off), against the
    // frame interval within a clip and the seam of one clip looping.
    int folderBlack = 0, loopBlack = 0;
    const std::string folder = ExeDir() + "clips\\folder-avi";
    const std::vector<double> folderGaps = FrameGaps(folder, 0, 14000, &folderBlack);
    const std::vector<double> loopGaps = FrameGaps(ExeDir() + "clips\\colors.avi", 1, 7000, &loopBlack);
    if (folderGaps.size() > 10 && loopGaps.size() > 10) {
        // Three changes of clip: the three longest gaps; the frame interval: the median.
        const double change = Median(std::vector<double>(folderGaps.begin(), folderGaps.begin() + 3));
        const double frame = Median(folderGaps), seam = loopGaps.front();
        printf("a folder of four clips, one after another (and a broken one passed over):\n");
        printf("  last frame of a clip to the next clip's first: %.0f ms (median of 3) = %.1f x the frame interval "
               "(%.0f ms), %.2f x one clip's loop seam (%.0f ms)\n", change, change / frame, frame, change / seam, seam);
        printf("  looks at the screen that found it black after the first picture: %d (one clip looping: %d)\n",
               folderBlack, loopBlack);
    }
    const double withResume = CloseMs(folder, 1), without = CloseMs(folder, 0);
    printf("closing a folder's playback, key to process exit: %.0f ms writing the resume point = %.2f x without "
           "(%.0f ms)\n", withResume, without > 0 ? withResume / without : 0.0, without);
    return 0;
}
