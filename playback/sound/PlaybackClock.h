// The clock that paces the second engine's frames: the performance counter, in the
// stream's 100 ns units, from the time of the pass's first sample; paused while the
// display is off.
#pragma once

#include <windows.h>

class CPlaybackClock {
public:
    CPlaybackClock();
    bool Running() const { return m_running; }
    // The clock reads mediaTime now, and runs on from there.
    void Start(LONGLONG mediaTime);
    // The stream time it is now (the start time while it is not running).
    LONGLONG Now() const;
    // Holds the clock at its current time until Resume.
    void Pause();
    void Resume();
    // Waits until mediaTime is due; false when a stop request came first.
    bool WaitFor(LONGLONG mediaTime, const volatile LONG* pPlaying) const;
    // Takes the clock to mediaTime from now on (the sound device's position, which is
    // what is heard): picture and sound stay in step over a long clip.
    void Follow(LONGLONG mediaTime);

private:
    LONGLONG Counter() const;
    LONGLONG m_frequency = 0;
    LONGLONG m_originCounter = 0;
    LONGLONG m_originTime = 0;
    LONGLONG m_pausedAt = 0;
    bool m_running = false;
    bool m_paused = false;
};

// Counter ticks in 100 ns units, exactly (no rounding of the frequency): at 3,579,545 Hz a
// frequency / 1000 step would run the clock 152 ppm fast.
LONGLONG TicksToTime(LONGLONG ticks, LONGLONG frequency);
