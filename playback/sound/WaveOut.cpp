#include "playback/sound/WaveOut.h"

#include <cstdlib>
#include <cstring>

#include "playback/sound/PlaybackClock.h"

namespace {
// Gaps in the sound shorter than this are not filled; longer ones at most this long.
const LONGLONG kGapTolerance = 200000;     // 20 ms
const LONGLONG kLongestSilence = 20000000;  // 2 s
}  // namespace

CWaveOut::~CWaveOut()
{
    Close();
    for (Block& b : m_blocks)
        std::free(b.data);
}

void CWaveOut::Close()
{
    if (!m_hWave)
        return;
    ::waveOutReset(m_hWave);  // every block that reached the device comes back done
    for (Block& b : m_blocks) {
        if ((b.header.dwFlags & WHDR_PREPARED) &&
            ::waveOutUnprepareHeader(m_hWave, &b.header, sizeof(b.header)) != MMSYSERR_NOERROR) {
            // A device that keeps a block may still write into it: its memory is left to it.
            b.data = nullptr;
            b.capacity = 0;
        }
        b.header = WAVEHDR();
    }
    ::waveOutClose(m_hWave);
    m_hWave = nullptr;
    m_started = false;
}

bool CWaveOut::Open(const WAVEFORMATEX& format)
{
    if (::waveOutOpen(&m_hWave, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        m_hWave = nullptr;
        return false;
    }
    m_format = format;
    m_failures = 0;
    m_started = false;
    Pause();
    return true;
}

bool CWaveOut::Reopen(const WAVEFORMATEX& format)
{
    const bool paused = m_paused;
    Close();
    if (!Open(format))
        return false;
    if (!paused)
        m_paused = false;  // the next block starts it (Write)
    return true;
}

bool CWaveOut::Free(const Block& b)
{
    return !(b.header.dwFlags & WHDR_PREPARED) || (b.header.dwFlags & WHDR_DONE);
}

bool CWaveOut::CanQueue(int blocks) const
{
    for (const Block& b : m_blocks)
        if (Free(b) && --blocks <= 0)
            return true;
    return false;
}

bool CWaveOut::RanDry() const
{
    if (!m_hWave || !m_started || m_paused || m_bytesQueued == 0)
        return false;
    for (const Block& b : m_blocks)
        if (!Free(b))
            return false;
    return true;
}

LONGLONG CWaveOut::QueuedEnd() const
{
    if (!m_started)
        return -0x7FFFFFFFFFFFFFFFLL;
    return m_baseTime + TicksToTime(static_cast<LONGLONG>(m_bytesQueued), m_format.nAvgBytesPerSec);
}

void CWaveOut::Start(LONGLONG mediaTime)
{
    if (!m_hWave)
        return;
    m_baseTime = mediaTime;
    m_bytesQueued = m_bytesPlayed = 0;
    m_lastPosition = 0;
    m_started = true;
    Resume();
}

bool CWaveOut::Queue(const BYTE* data, DWORD bytes, const volatile LONG* pPlaying)
{
    DWORD waitedSince = ::GetTickCount();
    for (;;) {
        if (!m_hWave)
            return false;
        for (Block& b : m_blocks) {
            if (!Free(b))
                continue;
            if (b.header.dwFlags & WHDR_PREPARED)
                ::waveOutUnprepareHeader(m_hWave, &b.header, sizeof(b.header));
            if (b.capacity < bytes) {
                BYTE* bigger = static_cast<BYTE*>(std::realloc(b.data, bytes));
                if (!bigger)
                    return false;
                b.data = bigger;
                b.capacity = bytes;
            }
            if (data)
                std::memcpy(b.data, data, bytes);
            else  // silence: the middle value for 8-bit samples, 0 otherwise
                std::memset(b.data, m_format.wBitsPerSample == 8 ? 0x80 : 0, bytes);
            b.header = WAVEHDR();
            b.header.lpData = reinterpret_cast<LPSTR>(b.data);
            b.header.dwBufferLength = bytes;
            if (::waveOutPrepareHeader(m_hWave, &b.header, sizeof(b.header)) == MMSYSERR_NOERROR &&
                ::waveOutWrite(m_hWave, &b.header, sizeof(b.header)) == MMSYSERR_NOERROR) {
                m_failures = 0;
                m_bytesQueued += bytes;
                return true;
            }
            // A block the device refused never comes back done: released here, or the
            // next writes would wait for it for ever.
            if (b.header.dwFlags & WHDR_PREPARED)
                ::waveOutUnprepareHeader(m_hWave, &b.header, sizeof(b.header));
            b.header = WAVEHDR();
            if (++m_failures >= kMaxFailures)
                Close();  // the device is gone: on without sound
            return false;
        }
        // A paused device frees nothing.
        if (m_paused || !*pPlaying)
            return false;
        if (::GetTickCount() - waitedSince > kStuckMs) {
            Close();  // it plays nothing any more: on without sound
            return false;
        }
        ::Sleep(5);
    }
}

bool CWaveOut::Write(const BYTE* data, DWORD bytes, LONGLONG mediaTime, const volatile LONG* pPlaying)
{
    if (!m_hWave || !bytes || !m_format.nAvgBytesPerSec || !m_format.nBlockAlign)
        return false;
    if (!m_started)
        Start(mediaTime);
    // Sound that begins a little before the picture that started the clock: the device's
    // first byte is that sound's, so its position is counted from there.
    if (m_bytesQueued == 0 && mediaTime < m_baseTime)
        m_baseTime = mediaTime;
    // Where the stream's sound starts later than what was queued (a picture that comes
    // first, a gap), silence keeps the device's position on the stream's time.
    LONGLONG gap = mediaTime - QueuedEnd();
    if (gap > kGapTolerance) {
        if (gap > kLongestSilence)
            gap = kLongestSilence;
        ULONGLONG silence = static_cast<ULONGLONG>(gap) * m_format.nAvgBytesPerSec / 10000000;
        silence -= silence % m_format.nBlockAlign;
        const DWORD chunk = m_format.nAvgBytesPerSec / 10 - (m_format.nAvgBytesPerSec / 10) % m_format.nBlockAlign;
        while (silence > 0 && chunk > 0) {
            const DWORD n = silence > chunk ? chunk : static_cast<DWORD>(silence);
            if (!Queue(nullptr, n, pPlaying))
                return false;
            silence -= n;
        }
    }
    return Queue(data, bytes, pPlaying);
}

bool CWaveOut::Position(LONGLONG* pMediaTime)
{
    if (!m_hWave || !m_started || m_paused)
        return false;
    MMTIME t = {};
    t.wType = TIME_BYTES;
    if (::waveOutGetPosition(m_hWave, &t, sizeof(t)) != MMSYSERR_NOERROR)
        return false;
    DWORD bytes;
    if (t.wType == TIME_BYTES)
        bytes = t.u.cb;
    else if (t.wType == TIME_SAMPLES)
        bytes = t.u.sample * m_format.nBlockAlign;
    else
        return false;
    // The device counts in 32 bits: past 4 GB (hours of sound) it starts again from 0, and
    // the step across is still a small one forward. A position that steps back (the sound
    // moved to a new default device, which counts from its own start) adds nothing: what
    // was heard stays heard.
    const LONG step = static_cast<LONG>(bytes - m_lastPosition);
    if (step > 0)
        m_bytesPlayed += static_cast<ULONGLONG>(step);
    m_lastPosition = bytes;
    if (m_bytesPlayed >= m_bytesQueued)
        return false;  // played out: the sound is not what paces the picture now
    *pMediaTime = m_baseTime + TicksToTime(static_cast<LONGLONG>(m_bytesPlayed), m_format.nAvgBytesPerSec);
    return true;
}

void CWaveOut::Pause()
{
    if (m_hWave && ::waveOutPause(m_hWave) == MMSYSERR_NOERROR)
        m_paused = true;
}

void CWaveOut::Resume()
{
    if (m_hWave && ::waveOutRestart(m_hWave) == MMSYSERR_NOERROR)
        m_paused = false;
}

void CWaveOut::Reset()
{
    if (!m_hWave)
        return;
    ::waveOutReset(m_hWave);  // every queued block comes back done
    m_started = false;
    Pause();
}
