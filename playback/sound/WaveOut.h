// PCM sound through waveOut, fed block by block from the playback thread. Started with
// the pass's clock; its position (what has been heard) is then the pass's clock. A device
// that fails or stops playing (a USB headset pulled, HDMI sound gone) is given up: the
// clip goes on without sound, and no wait for the device lasts longer than a few seconds.
#pragma once

#include <windows.h>
#include <mmsystem.h>

class CWaveOut {
public:
    CWaveOut() = default;
    ~CWaveOut();
    CWaveOut(const CWaveOut&) = delete;
    CWaveOut& operator=(const CWaveOut&) = delete;

    // False where there is no sound device or it refuses the format. Opens paused.
    bool Open(const WAVEFORMATEX& format);
    // The same device with another format (the clip's sound changed mid-stream); what was
    // queued is dropped, and the next block starts the sound again.
    bool Reopen(const WAVEFORMATEX& format);
    bool IsOpen() const { return m_hWave != nullptr; }
    // Plays from now on; mediaTime is the stream time of the first byte that follows.
    void Start(LONGLONG mediaTime);
    // Queues a copy of the block of stream time mediaTime (silence first where the stream
    // leaves a gap). When every buffer is queued it waits for one to play out, for a few
    // seconds at most (false at once when paused, and when *pPlaying is cleared).
    bool Write(const BYTE* data, DWORD bytes, LONGLONG mediaTime, const volatile LONG* pPlaying);
    void Pause();
    void Resume();
    bool Paused() const { return m_paused; }
    // Drops everything queued and pauses: the start of a pass.
    void Reset();
    // The stream time being heard; false when nothing is playing (not started, paused,
    // or everything queued has played out).
    bool Position(LONGLONG* pMediaTime);
    // The stream time at the end of what is queued; before any time when not started.
    LONGLONG QueuedEnd() const;
    // At least that many blocks are free, so a Write that needs no more would not wait.
    bool CanQueue(int blocks) const;
    // Playing, and everything queued since Start has been played: the device ran dry.
    bool RanDry() const;
    // Closes the device, keeping the memory of any block it will not give back.
    void Close();

    // No block came back from the device for this long while it played: it is given up.
    enum : DWORD { kStuckMs = 3000 };
    // Refused writes in a row after which the device is given up.
    enum { kMaxFailures = 3 };

private:
    static const int kBuffers = 32;
    struct Block {
        WAVEHDR header;
        BYTE* data;
        DWORD capacity;
    };
    static bool Free(const Block& b);
    bool Queue(const BYTE* data, DWORD bytes, const volatile LONG* pPlaying);

    HWAVEOUT m_hWave = nullptr;
    WAVEFORMATEX m_format = {};
    bool m_paused = false;
    bool m_started = false;
    int m_failures = 0;
    LONGLONG m_baseTime = 0;      // stream time of the first byte since Start
    ULONGLONG m_bytesQueued = 0;  // since Start
    ULONGLONG m_bytesPlayed = 0;  // the device's position, widened past 32 bits
    DWORD m_lastPosition = 0;
    Block m_blocks[kBuffers] = {};
};
