// What the saver window asks a playback engine to play, gathered once on the playback
// thread when it starts, and what the engine answers.
#pragma once

#include <windows.h>

class CSettingsDlg;

// How far an engine has come in the clip it plays, for carrying on there next time.
// Written by the playback thread only; read by the UI thread once that thread has ended.
struct PlaybackProgress {
    LONGLONG position;  // 100 ns units: the time of the frame last shown
    LONGLONG duration;  // 100 ns units: the clip's length; 0 when unknown
};

struct PlaybackRequest {
    HWND hWnd;                 // the saver window the picture goes to
    const char* clipPath;      // ANSI; the settings record's own text
    LONGLONG startTime;        // 100 ns units; 0 when the start time is off
    LONGLONG endTime;          // 100 ns units
    bool useEndTime;
    bool loop;
    bool mute;
    // The end time is at or before the start: the first picture is shown and held (drawn
    // again now and then, so a repaint does not wipe it) until the stop request.
    bool holdStill;
    // The view size option and custom size of the settings record (CalcViewRect).
    const CSettingsDlg* pGeometry;
    // Cleared by the UI thread to stop playback; polled before every frame and after
    // every pass. A plain 32-bit flag.
    const volatile LONG* pPlaying;
    // Counted up by the UI thread at every change of the displays (WM_DISPLAYCHANGE);
    // the monitors are looked up again before the next frame. A plain 32-bit counter.
    const volatile LONG* pDisplayChanges;
    // Set by the UI thread while the display is off, cleared when it is back: the engines
    // hold decoding and sound meanwhile. A plain 32-bit flag; null: never off.
    const volatile LONG* pDisplayOff;
    // Set by an engine that found the clip's video in a format this Windows has no
    // decoder for (a MissingDecoder); null: not asked. A plain 32-bit value.
    volatile LONG* pMissingDecoder;
    // Where the engine keeps the time of each frame it shows and the clip's length; null:
    // not wanted.
    PlaybackProgress* pProgress = nullptr;
};

// Video formats Windows decodes only with an extension from Microsoft's store (10 and
// 11), or not at all (HEVC on 7).
enum MissingDecoder { kNoDecoderMissing = 0, kHevcMissing, kVp9Missing, kAv1Missing };

enum class PlayResult {
    Played,       // passes were played (frames shown counted by the engine)
    CannotOpen,   // the clip could not be opened: the next engine may try it
    FirstFrameFailed,  // it opened, but its first pass put no frame on the screen
    DisplayChanged,    // the display mode changed under it: open everything anew
};

// Frames decoded and frames put on the screen since the process started, and the engine
// (1 DirectShow, 2 Media Foundation) that showed the last one. Exported so a benchmark or
// a test can read them from outside; written by the playback thread only.
struct PlaybackCounters {
    volatile LONG framesDecoded;
    volatile LONG framesShown;
    volatile LONG engine;
    volatile LONG framesDropped;  // decoded but too late to show: dropped, not rushed
    // The sound device found with nothing left to play while the clip's sound went on:
    // the saver did not feed it in time (what a listener hears as a dropout).
    volatile LONG soundStarved;
};
extern "C" __declspec(dllexport) PlaybackCounters g_playbackCounters;

// The pause before a pass is tried again after one that showed nothing; returns as soon
// as *pPlaying is cleared (a stop request), and at once when it already is.
void PauseAfterEmptyPass(const volatile LONG* pPlaying);

// True while the request's display is off and no stop was asked for.
bool DisplayIsOff(const PlaybackRequest& request);

// While the request's display is off, waits (in short steps, so a stop request ends it);
// true when it waited at all, so that the caller resumes what it held.
bool WaitWhileDisplayOff(const PlaybackRequest& request);
