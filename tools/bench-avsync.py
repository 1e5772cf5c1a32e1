#!/usr/bin/env python3
"""Picture against sound over a long clip. A clip with a white flash and a 1 kHz beep at
every whole second (MJPEG and 16-bit PCM in AVI, played by the saver's second engine in
the prefix without Wine's catch-all DirectShow splitter) plays full screen with its sound
into a PulseAudio null sink. This script watches one pixel of the X screen (when each flash
appears) and records the sink (when each beep is heard), both on this machine's monotonic
clock, and prints how far each beep falls after its flash: over the first 10 seconds and the
last 10, and the change between them. The sound path's own delay (Wine to PulseAudio to the
sink), which the saver's clock cannot see, is measured first with clicks written straight to
waveOut (playback_bench.exe --click) and taken off. mpv, with its sound into the same sink,
plays the same clip as the peer. One frame of the clip is 40 ms.
Run by tools/bench.sh avsync [minutes] (10 unless given), inside the environment, after
wine_start."""
import array
import bisect
import ctypes
import importlib.util
import os
import statistics
import subprocess
import sys
import threading
import time

RATE = 48000
FRAME_MS = 40.0
minutes = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
seconds = int(minutes * 60)

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.environ["BUILD_DIR"]
bindir = os.path.join(build, "bin")
clip = os.path.join(bindir, "clips", f"avsync-{seconds}s.avi")
sink_dir = os.path.join(build, "avsync-sink")
win7 = dict(os.environ, WINEPREFIX=os.path.join(build, "wineprefix-win7"),
            PULSE_SERVER=f"unix:{sink_dir}/native")
screen_w, screen_h = (int(v) for v in os.environ.get("LUMASPIRE_SCREEN", "1024x768x24").split("x")[:2])


# How Wine's programs are started, as the other players' benchmark starts them.
_spec = importlib.util.spec_from_file_location("bench_players", os.path.join(root, "tools", "bench-players.py"))
_players = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_players)
wine_command = _players.wine_command


def make_clip():
    if os.path.exists(clip):
        return
    os.makedirs(os.path.dirname(clip), exist_ok=True)
    # Frames 0-2 of every second white, the rest black; 60 ms of tone from every whole second.
    video = (f"color=c=black:s=320x240:r=25:d={seconds},"
             "drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='lt(mod(n,25),3)'")
    audio = f"aevalsrc='0.6*sin(2*PI*1000*t)*lt(mod(t,1),0.06)':s={RATE}:d={seconds}"
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", video, "-f", "lavfi", "-i", audio,
                    "-c:v", "mjpeg", "-q:v", "5", "-c:a", "pcm_s16le", "-ac", "1", clip + ".tmp.avi"], check=True)
    os.replace(clip + ".tmp.avi", clip)


class Recorder:
    """The sink's monitor through parec, each chunk stamped when it arrives."""

    def __init__(self):
        self.proc = subprocess.Popen(["parec", "-d", "lumaspire_test.monitor", "--format=s16le", f"--rate={RATE}",
                                      "--channels=1", "--raw", "--latency-msec=5"],
                                     env=win7, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.samples = array.array("h")
        self.stamps = []  # (samples received so far, arrival)
        self.pending = b""
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        fd = self.proc.stdout.fileno()
        while True:
            data = os.read(fd, 65536)
            now = time.monotonic()
            if not data:
                return
            data = self.pending + data
            whole = len(data) - len(data) % 2
            self.pending = data[whole:]
            self.samples.frombytes(data[:whole])
            self.stamps.append((len(self.samples), now))

    def stop(self):
        self.proc.terminate()
        self.thread.join()

    def time_of(self, index):
        """When sample index was heard: the earliest-arriving chunks within 5 s of it say
        where the recording's sample 0 lies (a chunk arrives no earlier than its last
        sample was heard)."""
        counts = [c for c, _ in self.stamps]
        lo = bisect.bisect_left(counts, index - 5 * RATE)
        hi = bisect.bisect_right(counts, index + 5 * RATE)
        base = min(t - c / RATE for c, t in self.stamps[lo:max(hi, lo + 1)])
        return base + index / RATE

    def onsets(self, since=0.0, quiet=0.3):
        """Times at which sound starts after at least `quiet` seconds of silence."""
        found, last_loud = [], -RATE
        first = 0
        for count, arrival in self.stamps:
            if arrival >= since:
                break
            first = count
        for i in range(max(0, first - RATE), len(self.samples)):
            if abs(self.samples[i]) > 3000:
                if i - last_loud > quiet * RATE:
                    t = self.time_of(i)
                    if t >= since:
                        found.append(t)
                last_loud = i
        return found


class Screen:
    """The pixel at the screen's centre, polled every millisecond through Xlib; the times
    at which it turns bright."""

    def __init__(self):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.c_void_p
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XGetPixel.restype = ctypes.c_ulong
        x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.x, self.display = x, x.XOpenDisplay(None)
        if not self.display:
            sys.exit("cannot open the X display " + os.environ.get("DISPLAY", ""))
        self.root = x.XDefaultRootWindow(self.display)
        self.flashes, self.done = [], threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def bright(self):
        image = self.x.XGetImage(self.display, self.root, screen_w // 2, screen_h // 2, 1, 1, 0xFFFFFFFF, 2)
        if not image:
            return False
        pixel = self.x.XGetPixel(image, 0, 0)
        self.x.XDestroyImage(image)
        return (pixel >> 8 & 0xFF) > 128

    def run(self):
        was = self.bright()
        while not self.done.is_set():
            now = self.bright()
            if now and not was:
                self.flashes.append(time.monotonic())
            was = now
            time.sleep(0.001)

    def stop(self):
        self.done.set()
        self.thread.join()


def click_delays(recorder, count):
    """(when, delay in s) for each of count clicks half a second apart: from waveOut's
    position reaching the click to the click being heard, what the saver's clock, which
    follows that position, cannot see."""
    proc = subprocess.Popen(wine_command(os.path.join(bindir, "playback_bench.exe"), "--click", str(count)),
                            env=win7, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    reached = []
    for line in proc.stdout:
        arrived = time.monotonic()
        parts = line.decode(errors="replace").split()
        if len(parts) == 4 and parts[0] == "click":
            reached.append(arrived - (int(parts[3]) - int(parts[1])) / RATE)
    proc.wait()
    time.sleep(0.5)
    heard = recorder.onsets(since=reached[0] - 0.6) if reached else []
    delays = []
    for r in reached:
        near = [h for h in heard if abs(h - r) < 0.25]
        if near:
            delays.append((r, min(near, key=lambda h: abs(h - r)) - r))
    if not delays:
        sys.exit("the clicks were not heard: no sound path to measure")
    return delays


def pairs(flashes, beeps):
    """(flash time, beep time less flash time) for every flash with a beep within 0.5 s."""
    out = []
    for f in flashes:
        near = [b for b in beeps if abs(b - f) < 0.5]
        if near:
            out.append((f, min(near, key=lambda b: abs(b - f)) - f))
    return out


def report(name, found, delay, detail=""):
    if len(found) < 20:
        print(f"  {name}: {len(found)} flashes with a beep: too few to measure")
        return None
    offsets = [(o - delay) * 1000.0 for _, o in found]
    first, last = statistics.median(offsets[:10]), statistics.median(offsets[-10:])
    spread = statistics.pstdev(offsets)
    if os.environ.get("LUMASPIRE_AVSYNC_ALL"):  # every second's offset, for a closer look
        print(" ".join(f"{o:.0f}" for o in offsets))
    print(f"  {name:15} {len(found):6} {offsets[0]:9.1f} {first:11.1f} {last:10.1f} {last - first:8.1f} "
          f"{spread:7.1f}  {detail}")
    return first, last, spread


def measure(name, start, recorder, delay):
    """Plays the clip with start(), which returns when the clip is over with a text and the
    times at which the player counted each second's first frame as shown (empty where it
    cannot tell); prints the offsets, on the screen and by the count; returns them."""
    began = time.monotonic()
    screen = Screen()
    detail, counted = start()
    screen.stop()
    time.sleep(0.5)
    beeps = recorder.onsets(since=began)
    on_screen = report(name + " (screen)" if counted else name, pairs(screen.flashes, beeps), delay, detail)
    if counted:
        report(name + " (counted)", pairs(counted, beeps), delay)
        lag = [min(screen.flashes, key=lambda f: abs(f - c)) - c for c in counted if screen.flashes]
        if lag:
            print(f"  {'':15} from counted as shown to on the screen: {statistics.median(lag) * 1000:.1f} ms "
                  f"(median)")
    return on_screen


def play_saver():
    watcher = subprocess.Popen(wine_command(os.path.join(bindir, "playback_bench.exe"), "--watch", clip, "--sound"),
                               env=win7, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    if watcher.stdout.readline().decode(errors="replace").strip() != "ready":
        sys.exit("benchmark helper did not start")
    saver = subprocess.Popen(wine_command(os.path.join(bindir, "lumaspire.scr"), "/s"), env=win7,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    counted, out = [], ""
    for line in watcher.stdout:
        arrived = time.monotonic()
        text = line.decode(errors="replace").strip()
        if text.startswith("frame ") and text.endswith(" shown"):
            counted.append(arrived)
        else:
            out = text
    watcher.wait()
    saver.wait()
    return out, counted


def play_mpv():
    subprocess.run(["mpv", "--no-config", "--really-quiet", "--fs", f"--geometry={screen_w}x{screen_h}+0+0",
                    "--vo=x11", "--hwdec=no", "--ao=pulse", "--no-input-default-bindings", clip],
                   env=win7, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return "(its own sound delay is its own to allow for: shown as measured)", []


def main():
    make_clip()
    sink = os.path.join(root, "tests", "common", "sound_sink.sh")
    subprocess.run([sink, "start", sink_dir], check=True)
    # The fixture's own recording is not needed here.
    subprocess.run(["sh", "-c", f"kill $(cat {sink_dir}/parec.pid); rm -f {sink_dir}/parec.pid "
                    f"{sink_dir}/recording.raw"])
    recorder = Recorder()
    try:
        time.sleep(0.5)
        # The first stream of a new sink is heard later than every one after it: a
        # stream of clicks first, not counted.
        click_delays(recorder, 8)
        delays = [d for _, d in click_delays(recorder, 8)]
        delay = statistics.median(delays)
        print(f"picture against sound, {seconds} s clip of a flash and a beep every second, "
              f"full screen {screen_w}x{screen_h}; one frame is {FRAME_MS:.0f} ms")
        print(f"  the sound path's own delay (waveOut's position at a click to its sound): {delay * 1000:.1f} ms "
              f"(of {', '.join(f'{d * 1000:.1f}' for d in delays)}); taken off the saver's figures")
        print("  ms the beep comes after its flash (negative: before)")
        print(f"  {'player':15} {'pairs':>6} {'first':>9} {'first 10 s':>11} {'last 10 s':>10} {'change':>8} "
              f"{'spread':>7}")
        ours = measure("saver", play_saver, recorder, delay)
        peer = measure("mpv", play_mpv, recorder, 0.0)
        # The same sound path with nothing but waveOut behind it, as long as the clip: how
        # far its own delay moves in that time under Wine.
        path = click_delays(recorder, 2 * seconds)
        ms = [d * 1000.0 for _, d in path]
        if len(ms) >= 40:
            first, last = statistics.median(ms[:20]), statistics.median(ms[-20:])
            print(f"  the sound path alone for {seconds} s (clicks through waveOut, no picture): its delay "
                  f"{first:.1f} ms in the first 10 s, {last:.1f} in the last, change {last - first:.1f}, "
                  f"spread {statistics.pstdev(ms):.1f}")
            if os.environ.get("LUMASPIRE_AVSYNC_ALL"):
                print(" ".join(f"{v:.0f}" for v in ms))
            # Wine's waveOut counts what it has copied into the shared buffer, not what is
            # heard, and the buffer's delay steps down as the stream runs: the saver's clock
            # follows that count, so the path's own change is not the saver's.
            if ours:
                print(f"  the saver's own change (its change less the sound path's): "
                      f"{(ours[1] - ours[0]) - (last - first):.1f} ms over {seconds} s")
        if ours and peer:
            print(f"  saver/mpv: spread {ours[2] / peer[2]:.2f}, |change| {abs(ours[1] - ours[0]):.1f} against "
                  f"{abs(peer[1] - peer[0]):.1f} ms")
    finally:
        recorder.stop()
        subprocess.run([sink, "stop", sink_dir])


if __name__ == "__main__":
    main()
