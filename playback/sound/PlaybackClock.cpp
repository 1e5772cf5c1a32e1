#include "playback/sound/PlaybackClock.h"

LONGLONG TicksToTime(LONGLONG ticks, LONGLONG frequency)
{
    if (frequency <= 0)
        return 0;
    // Whole seconds and the rest apart, so neither the product overflows nor a step is
    // rounded: ticks * 10^7 alone overflows after 10 days at 10 MHz.
    const LONGLONG seconds = ticks / frequency, rest = ticks % frequency;
    return seconds * 10000000 + rest * 10000000 / frequency;
}

CPlaybackClock::CPlaybackClock()
{
    LARGE_INTEGER f;
    m_frequency = ::QueryPerformanceFrequency(&f) ? f.QuadPart : 0;
}

LONGLONG CPlaybackClock::Counter() const
{
    LARGE_INTEGER now;
    if (m_frequency > 0 && ::QueryPerformanceCounter(&now))
        return now.QuadPart;
    // No performance counter (some old machines): the millisecond tick count instead.
    return static_cast<LONGLONG>(::GetTickCount());
}

void CPlaybackClock::Start(LONGLONG mediaTime)
{
    m_originCounter = Counter();
    m_originTime = mediaTime;
    m_running = true;
    m_paused = false;
}

LONGLONG CPlaybackClock::Now() const
{
    if (!m_running)
        return m_originTime;
    if (m_paused)
        return m_pausedAt;
    const LONGLONG elapsed = Counter() - m_originCounter;
    return m_originTime + (m_frequency > 0 ? TicksToTime(elapsed, m_frequency) : elapsed * 10000);
}

void CPlaybackClock::Pause()
{
    if (m_running && !m_paused) {
        m_pausedAt = Now();
        m_paused = true;
    }
}

void CPlaybackClock::Resume()
{
    if (m_running && m_paused)
        Start(m_pausedAt);
}

void CPlaybackClock::Follow(LONGLONG mediaTime)
{
    if (m_running && !m_paused)
        Start(mediaTime);
}

bool CPlaybackClock::WaitFor(LONGLONG mediaTime, const volatile LONG* pPlaying) const
{
    for (;;) {
        if (!*pPlaying)
            return false;
        const LONGLONG early = mediaTime - Now();  // 100 ns units
        if (early <= 0)
            return true;
        const LONGLONG ms = early / 10000;
        ::Sleep(ms > 10 ? 10 : static_cast<DWORD>(ms));
    }
}
