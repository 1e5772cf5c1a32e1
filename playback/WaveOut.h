// PCM sound through waveOut, fed block by block from the playback thread. Paused until
// the pass's clock starts, so sound and picture begin together.
#pragma once

#include <windows.h>
#include <mmsystem.h>

class CWaveOut {
public:
    CWaveOut() = default;
    ~CWaveOut();
    CWaveOut(const CWaveOut&) = delete;
    CWaveOut& operator=(const CWaveOut&) = delete;

    // False where there is no sound device or it refuses the format.
    bool Open(const WAVEFORMATEX& format);
    bool IsOpen() const { return m_hWave != nullptr; }
    // Queues a copy of the block. When every buffer is queued it waits for one to play
    // out (returns false at once when the device is paused, and when *pPlaying is cleared).
    bool Write(const BYTE* data, DWORD bytes, const volatile LONG* pPlaying);
    void Pause();
    void Resume();
    bool Paused() const { return m_paused; }
    // Drops everything queued and pauses: the start of a pass.
    void Reset();

private:
    static const int kBuffers = 32;
    struct Block {
        WAVEHDR header;
        BYTE* data;
        DWORD capacity;
    };
    bool Free(Block& b) const;

    HWAVEOUT m_hWave = nullptr;
    bool m_paused = false;
    Block m_blocks[kBuffers] = {};
};
