#include "playback/WaveOut.h"

#include <cstdlib>
#include <cstring>

CWaveOut::~CWaveOut()
{
    if (m_hWave) {
        ::waveOutReset(m_hWave);
        for (Block& b : m_blocks) {
            if (b.header.dwFlags & WHDR_PREPARED)
                ::waveOutUnprepareHeader(m_hWave, &b.header, sizeof(b.header));
        }
        ::waveOutClose(m_hWave);
    }
    for (Block& b : m_blocks)
        std::free(b.data);
}

bool CWaveOut::Open(const WAVEFORMATEX& format)
{
    if (::waveOutOpen(&m_hWave, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        m_hWave = nullptr;
        return false;
    }
    Pause();
    return true;
}

bool CWaveOut::Free(Block& b) const
{
    return !(b.header.dwFlags & WHDR_PREPARED) || (b.header.dwFlags & WHDR_DONE);
}

bool CWaveOut::Write(const BYTE* data, DWORD bytes, const volatile LONG* pPlaying)
{
    if (!m_hWave || !bytes)
        return false;
    for (;;) {
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
            std::memcpy(b.data, data, bytes);
            b.header = WAVEHDR();
            b.header.lpData = reinterpret_cast<LPSTR>(b.data);
            b.header.dwBufferLength = bytes;
            if (::waveOutPrepareHeader(m_hWave, &b.header, sizeof(b.header)) != MMSYSERR_NOERROR)
                return false;
            return ::waveOutWrite(m_hWave, &b.header, sizeof(b.header)) == MMSYSERR_NOERROR;
        }
        // A paused device frees nothing: the caller starts the clock instead of waiting.
        if (m_paused || !*pPlaying)
            return false;
        ::Sleep(5);
    }
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
    Pause();
}
