// The sound output against a stand-in device that refuses blocks or never plays them (a
// USB headset pulled, HDMI sound gone): the clip goes on without sound, and no wait for
// the device lasts for ever. And the clock's counter arithmetic.
#include <gtest/gtest.h>

#include <vector>

#include "common/TestSupport.h"
#include "playback/sound/PlaybackClock.h"
#include "playback/sound/WaveOut.h"
#include "StandIns.h"

namespace {

WAVEFORMATEX Stereo16()
{
    WAVEFORMATEX f = {};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 48000;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 192000;
    return f;
}

}  // namespace

TEST(SoundDevice, ADeviceThatFailsOrStopsIsGivenUpAndNoWaitLastsForEver)
{
    const volatile LONG playing = 1;
    const std::vector<BYTE> block(7680);  // 20 ms
    const struct {
        const char* what;
        Device device;
        int blocks;        // written in a row
        bool openAfter;    // still playing sound
    } cases[] = {
        { "a device that plays", Device::Plays, 100, true },
        // Every block released again: without that the 33rd write waited for ever.
        { "a device that refuses every block", Device::Refuses, 100, false },
        { "a device that takes blocks and never plays them", Device::NeverPlays, 40, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandInDevice device(c.device);
        CWaveOut wave;
        ASSERT_TRUE(wave.Open(Stereo16()));
        wave.Start(0);
        const DWORD began = ::GetTickCount();
        for (int i = 0; i < c.blocks; ++i)
            wave.Write(block.data(), static_cast<DWORD>(block.size()), i * 200000LL, &playing);
        EXPECT_EQ(c.openAfter, wave.IsOpen());
        // Given up after a few refusals, or after one bounded wait: not 100 tries, not for ever.
        if (c.device == Device::Refuses) {
            EXPECT_EQ(static_cast<int>(CWaveOut::kMaxFailures), g_writes);
        }
        EXPECT_LT(::GetTickCount() - began, 3 * CWaveOut::kStuckMs);
        // Muted from here on: writes return at once, and closing does not wait.
        EXPECT_FALSE(!c.openAfter && wave.Write(block.data(), 4, 0, &playing));
        wave.Reset();
    }
}

TEST(SoundDevice, SilenceFillsWhereTheSoundStartsLaterThanThePicture)
{
    StandInDevice device(Device::Plays);
    const volatile LONG playing = 1;
    CWaveOut wave;
    ASSERT_TRUE(wave.Open(Stereo16()));
    wave.Start(0);  // the clock starts with the picture at 0
    const std::vector<BYTE> block(1920);
    // The first sound at 0.5 s: half a second of silence goes before it (five blocks of
    // 0.1 s), so the device's position stays on the stream's time.
    ASSERT_TRUE(wave.Write(block.data(), static_cast<DWORD>(block.size()), 5000000, &playing));
    EXPECT_EQ(6, g_writes);
    // A gap of 10 ms is no gap.
    ASSERT_TRUE(wave.Write(block.data(), static_cast<DWORD>(block.size()), 5000000 + 100000 + 100000, &playing));
    EXPECT_EQ(7, g_writes);
}

// What the second engine reads sound ahead by: how far the queue reaches, and whether a
// write would wait (it must not while a frame is due). 32 blocks, none of them played here.
TEST(SoundDevice, TheQueueSaysHowFarItReachesAndWhetherAWriteWouldWait)
{
    StandInDevice device(Device::NeverPlays);
    const volatile LONG playing = 1;
    CWaveOut wave;
    ASSERT_TRUE(wave.Open(Stereo16()));
    EXPECT_LT(wave.QueuedEnd(), 0);  // nothing started: any sound is wanted
    wave.Start(10000000);            // a pass from 1 s
    const std::vector<BYTE> block(3840);  // 20 ms
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(wave.Write(block.data(), static_cast<DWORD>(block.size()), 10000000 + i * 200000LL, &playing));
    EXPECT_EQ(12000000, wave.QueuedEnd());
    EXPECT_TRUE(wave.CanQueue(22));
    EXPECT_FALSE(wave.CanQueue(23));
    wave.Reset();  // every block back: all free again
    EXPECT_TRUE(wave.CanQueue(32));
}

// The device's position is the clock while it plays: it holds where the position steps
// back (the sound moved to a new default device, which counts from its own start), and it
// is no clock once everything queued has been played.
TEST(SoundDevice, ThePositionHoldsWhereTheDeviceStepsBackAndEndsWithWhatWasQueued)
{
    StandInDevice device(Device::NeverPlays);
    const volatile LONG playing = 1;
    CWaveOut wave;
    ASSERT_TRUE(wave.Open(Stereo16()));
    wave.Start(10000000);  // a pass from 1 s
    const std::vector<BYTE> block(3840);  // 20 ms
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(wave.Write(block.data(), static_cast<DWORD>(block.size()), 10000000 + i * 200000LL, &playing));
    const struct {
        const char* what;
        DWORD position;  // bytes, as the device says
        bool playing;
        LONGLONG time;
    } steps[] = {
        { "100 ms played", 19200, true, 11000000 },
        { "a new device, from its own start", 3840, true, 11000000 },
        { "50 ms more there", 3840 + 9600, true, 11500000 },
        { "everything queued played", 3840 + 9600 + 9600, false, 0 },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        g_position = step.position;
        LONGLONG time = 0;
        EXPECT_EQ(step.playing, wave.Position(&time));
        if (step.playing) {
            EXPECT_EQ(step.time, time);
        }
    }
    wave.Reset();
}

// Paused, the clock holds where it was then, not where it started; resumed, it runs on
// from there.
TEST(PlaybackClock, APauseHoldsTheTimeItCameAt)
{
    CPlaybackClock clock;
    clock.Start(10000000);
    ::Sleep(300);
    clock.Pause();
    const LONGLONG paused = clock.Now();
    EXPECT_GE(paused, 10000000 + 2500000);
    ::Sleep(200);
    EXPECT_EQ(paused, clock.Now());
    clock.Resume();
    const DWORD resumed = ::GetTickCount();
    ::Sleep(100);
    const LONGLONG ran = clock.Now() - paused;
    EXPECT_GE(ran, 500000);
    EXPECT_LE(ran, static_cast<LONGLONG>(::GetTickCount() - resumed + 20) * 10000);
}

TEST(PlaybackClock, CounterTicksBecomeStreamTimeExactly)
{
    const struct {
        LONGLONG ticks, frequency, time;
    } cases[] = {
        { 3579545, 3579545, 10000000 },                 // one second of an ACPI timer
        { 3579545LL * 3600, 3579545, 36000000000LL },   // an hour, to the tick (152 ppm off before)
        { 1, 3579545, 2 },                              // 2.79 x 100 ns, truncated
        { 10000000LL * 86400 * 30, 10000000, 10000000LL * 86400 * 30 },  // 30 days at 10 MHz
        { 5, 0, 0 },                                    // no counter
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.time, TicksToTime(c.ticks, c.frequency)) << c.ticks << " at " << c.frequency;
}
