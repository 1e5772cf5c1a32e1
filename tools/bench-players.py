#!/usr/bin/env python3
"""Plays the same clip full screen with the saver's two engines, their bare loops, ffplay
and mpv on the virtual screen of this run and prints, for each, the processor time (the
player's own process plus the X server, plus wineserver for Wine's programs), its peak
resident memory, the time to its first picture and the frames it showed, then the saver's
figures as ratios of the others'. Engine 1 (DirectShow) plays in the normal prefix, engine
2 (Media Foundation) in the prefix without Wine's catch-all DirectShow splitter, where
engine 1 first refuses the clip as on Windows 7-11. The bare loops are soak_peer's: the
same platform calls without the program. Run by tools/bench.sh, inside the environment,
after wine_start (DISPLAY, WINEPREFIX and BUILD_DIR are set)."""
import collections
import os
import re
import statistics
import subprocess
import sys
import threading
import time

ROUNDS = 3
CLIP_FRAMES = 250  # 10 s at 25 fps
TICK = os.sysconf("SC_CLK_TCK")

build = os.environ["BUILD_DIR"]
bindir = os.path.join(build, "bin")
clip = os.path.join(bindir, "clips", "bench264.mp4")
# Where scaling dominates: shrunk from 1080p, enlarged from 320 x 240 (engine 2 and the peers).
# A phone's clips: the 720p picture stored turned by 90 degrees, and as HDR (HLG).
PHONE_CLIPS = [os.path.join(bindir, "clips", name) for name in ("bench264-turned.mp4", "bench264-hlg.mp4")]
SCALING_CLIPS = [os.path.join(bindir, "clips", f"bench264-{size}.mp4") for size in ("1920x1080", "320x240")]
screen_w, screen_h = (int(v) for v in os.environ.get("LUMASPIRE_SCREEN", "1024x768x24").split("x")[:2])


def wine_command(*args):
    preload = os.environ.get("LUMASPIRE_WINE_PRELOAD")
    if preload:
        return ["env", "LD_PRELOAD=" + preload, "/usr/lib/wine/wine", *args]
    return ["wine", *args]


def cpu_seconds(pid):
    """utime + stime of a running process, in seconds."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK
    except (OSError, IndexError, ValueError):
        return 0.0


def xvfb_pid():
    with open(os.path.join(build, "xvfb.pid")) as f:
        return int(f.read().strip())


PREFIXES = {"main": os.environ["WINEPREFIX"], "win7": os.path.join(build, "wineprefix-win7"),
            "twomon": os.environ.get("LUMASPIRE_TWOMON_PREFIX", "")}


def prefix_env(prefix):
    env = dict(os.environ, WINEPREFIX=PREFIXES[prefix])
    if prefix == "twomon":  # every Wine process of that prefix reads the stand-in Xinerama
        env.update(LD_LIBRARY_PATH=os.environ["LUMASPIRE_TWOMON_LIB"],
                   LUMASPIRE_XINERAMA_HEADS=os.environ["LUMASPIRE_XINERAMA_HEADS"])
    return env


def wineserver_pid(prefix="main"):
    """The wineserver of that prefix (other runs on the machine have their own)."""
    want = ("WINEPREFIX=" + PREFIXES[prefix]).encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm") as f:
                if not f.read().startswith("wineserver"):
                    continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if want in f.read().split(b"\0"):
                    return int(entry)
        except OSError:
            pass
    return None


class ThreadSampler:
    """CPU seconds per thread name of a running process, sampled from /proc until stop()
    (the last reading of each thread counts, so threads that end early are kept)."""

    def __init__(self, pid):
        self.pid, self.last, self.done = pid, {}, threading.Event()
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while not self.done.is_set():
            try:
                tids = os.listdir(f"/proc/{self.pid}/task")
            except OSError:
                tids = []
            for tid in tids:
                try:
                    with open(f"/proc/{self.pid}/task/{tid}/stat") as f:
                        data = f.read()
                except OSError:
                    continue
                name = data[data.index("(") + 1:data.rindex(")")]
                if name in ("lumaspire.scr", "soak_peer.exe"):  # Wine names them after the program
                    name = "(the program's threads)"
                self.last[tid] = (name, cpu_seconds(f"{self.pid}/task/{tid}"))
            time.sleep(0.2)

    def stop(self):
        self.done.set()
        self.thread.join()
        by_name = collections.Counter()
        for name, cpu in self.last.values():
            by_name[name] += cpu
        return by_name


def run_measured(cmd, servers, env=None, sample_threads=False):
    """Runs cmd to its end; returns (cpu s of it and of the servers, peak RSS MiB, stderr,
    CPU by thread name or None)."""
    before = {pid: cpu_seconds(pid) for pid in servers if pid}
    proc = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    sampler = ThreadSampler(proc.pid) if sample_threads else None
    err = proc.stderr.read().decode(errors="replace")
    threads = sampler.stop() if sampler else None
    _, _, usage = os.wait4(proc.pid, 0)
    proc.returncode = 0
    served = {pid: cpu_seconds(pid) - cpu for pid, cpu in before.items()}
    if threads is not None:
        for pid, cpu in served.items():
            threads["(Xvfb)" if pid == xvfb_pid() else "(wineserver)"] += cpu
    own = usage.ru_utime + usage.ru_stime
    return own + sum(served.values()), usage.ru_maxrss / 1024.0, err, threads


last_threads = {}  # by player: CPU by thread name in the last round


def play_saver(prefix, engine, clip=clip, saver=os.path.join(bindir, "lumaspire.scr")):
    env = prefix_env(prefix)
    watcher = subprocess.Popen(wine_command(os.path.join(bindir, "playback_bench.exe"), "--watch", clip), env=env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    line = watcher.stdout.readline().decode(errors="replace").strip()
    if line != "ready":
        sys.exit("benchmark helper did not start: " + line)
    cpu, rss, _, threads = run_measured(wine_command(saver, "/s"),
                                        [xvfb_pid(), wineserver_pid(prefix)], env=env, sample_threads=True)
    if prefix != "twomon":
        last_threads[f"engine {engine}"] = threads
    out = watcher.stdout.read().decode(errors="replace")
    watcher.wait()
    m = re.search(r"frames decoded (\d+) shown (\d+) engine (\d+) first picture (\d+)", out)
    if m and int(m.group(3)) != engine:
        sys.exit(f"engine {m.group(3)} played the clip in the {prefix} prefix, not engine {engine}")
    return cpu, rss, int(m.group(4)) if m else 0, int(m.group(2)) if m else 0


def play_peer(prefix, reader, clip=clip):
    args = [os.path.join(bindir, "soak_peer.exe"), clip, "0"] + (["--reader"] if reader else [])
    proc_out = os.path.join(build, "bench-peer.out")
    with open(proc_out, "w") as out:
        before = {pid: cpu_seconds(pid) for pid in (xvfb_pid(), wineserver_pid(prefix)) if pid}
        proc = subprocess.Popen(wine_command(*args), env=prefix_env(prefix), stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.DEVNULL)
        sampler = ThreadSampler(proc.pid)
        _, _, usage = os.wait4(proc.pid, 0)
        threads = sampler.stop()
        served = sum(cpu_seconds(pid) - cpu for pid, cpu in before.items())
        last_threads["bare 2" if reader else "bare 1"] = threads
    with open(proc_out) as f:
        text = f.read()
    first = re.search(r"first frame after (\d+) ms", text)
    frames = re.search(r"frames shown (\d+)", text)
    return (usage.ru_utime + usage.ru_stime + served, usage.ru_maxrss / 1024.0, int(first.group(1)) if first else 0,
            int(frames.group(1)) if frames else 0)


def engine1_refusal():
    """How long DirectShow's OpenFile takes to refuse the clip where Windows has no source
    for it (the wait before engine 2 starts), measured by the bare loop."""
    before = {pid: cpu_seconds(pid) for pid in (xvfb_pid(), wineserver_pid("win7")) if pid}
    proc = subprocess.Popen(wine_command(os.path.join(bindir, "soak_peer.exe"), clip, "0"), env=prefix_env("win7"),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = proc.stdout.read().decode(errors="replace")
    _, _, usage = os.wait4(proc.pid, 0)
    cpu = usage.ru_utime + usage.ru_stime + sum(cpu_seconds(pid) - c for pid, c in before.items())
    m = re.search(r"refused after (\d+) ms", out)
    return (int(m.group(1)), cpu) if m else None


def play_ffplay(clip=clip):
    env = dict(os.environ, SDL_RENDER_DRIVER="software", SDL_AUDIODRIVER="dummy")
    cmd = ["ffplay", "-hide_banner", "-autoexit", "-an", "-fs", "-x", str(screen_w), "-y", str(screen_h),
           "-left", "0", "-top", "0", clip]
    cpu, rss, err, _ = run_measured(cmd, [xvfb_pid()], env=env)
    # The status line counts the frames it dropped ("fd=").
    drops = re.findall(r"fd=\s*(\d+)", err)
    return cpu, rss, float("nan"), CLIP_FRAMES - int(drops[-1]) if drops else 0


def play_mpv(clip=clip):
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bench-mpv-frames.lua")
    cmd = ["mpv", "--no-config", "--really-quiet", "--fs", f"--geometry={screen_w}x{screen_h}+0+0", "--vo=x11",
           "--hwdec=no", "--no-audio", "--ao=null", "--no-input-default-bindings", "--script=" + script, clip]
    cpu, rss, err, _ = run_measured(cmd, [xvfb_pid()])
    m = re.search(r"frames shown (\d+)", err)
    return cpu, rss, float("nan"), int(m.group(1)) if m else 0


def main():
    if not os.path.exists(clip):
        sys.exit("no benchmark clip (ffmpeg with libx264 is needed at build time): " + clip)
    players = [("engine 1", lambda: play_saver("main", 1)), ("bare 1", lambda: play_peer("main", False)),
               ("engine 2", lambda: play_saver("win7", 2)), ("bare 2", lambda: play_peer("win7", True)),
               ("ffplay", play_ffplay), ("mpv", play_mpv)]
    if PREFIXES["twomon"]:
        players.insert(1, ("engine 1x2", lambda: play_saver("twomon", 1)))
    results = {name: [] for name, _ in players}
    refusals = []
    for _ in range(ROUNDS):
        for name, play in players:
            results[name].append(play())
            time.sleep(1)
        refusals.append(engine1_refusal())
    med = {name: tuple(statistics.median(r[i] for r in rounds) for i in range(4)) for name, rounds in results.items()}
    print(f"the same 10 s, 1280x720, 25 fps H.264 clip ({CLIP_FRAMES} frames), full screen {screen_w}x{screen_h}, "
          f"no sound, median of {ROUNDS} rounds")
    print("  CPU s: the player's process + Xvfb (+ wineserver for Wine's programs); first picture: from the start")
    print("  of the process; bare n: soak_peer making engine n's platform calls without the program")
    print(f"  {'player':10} {'CPU s':>7} {'peak RSS MiB':>13} {'first ms':>9} {'frames shown':>13}")
    for name, (cpu, rss, first, frames) in med.items():
        first_text = "-" if first != first else f"{first:.0f}"
        print(f"  {name:10} {cpu:7.2f} {rss:13.1f} {first_text:>9} {frames:13.0f}")
    for ours, bare in (("engine 1", "bare 1"), ("engine 2", "bare 2")):
        print(f"  {ours}/{bare}: CPU {med[ours][0] / med[bare][0]:.3f}")
    print(f"  engine 2/engine 1: CPU {med['engine 2'][0] / med['engine 1'][0]:.2f}")
    if "engine 1x2" in med:
        extra = med["engine 1x2"][0] - med["engine 1"][0]
        print(f"  a second monitor (engine 1x2: two view areas, one more blit a frame): "
              f"+{extra:.2f} CPU s, {med['engine 1x2'][0] / med['engine 1'][0]:.3f} x one monitor")
    for peer in ("ffplay", "mpv"):
        for ours in ("engine 1", "engine 2"):
            a, b = med[ours], med[peer]
            print(f"  {ours}/{peer}: CPU {a[0] / b[0]:.2f}, memory {a[1] / b[1]:.2f}, frames {a[3] / b[3]:.2f}")
    known = [r for r in refusals if r is not None]
    if known:
        print(f"  DirectShow refusing the clip where Windows has no source for it (bare OpenFile): "
              f"{statistics.median(r[0] for r in known):.0f} ms, its whole process "
              f"{statistics.median(r[1] for r in known):.2f} CPU s; "
              f"engine 2's own first frame (bare 2): {med['bare 2'][2]:.0f} ms")
    # Wine names its own and GStreamer's threads; the program's threads keep the
    # process's name.
    for n in (1, 2):
        ours, bare = last_threads.get(f"engine {n}"), last_threads.get(f"bare {n}")
        if not ours or not bare:
            continue
        print(f"where engine {n}'s CPU went in the last round (s, by thread name; its bare loop beside it):")
        for name, cpu in ours.most_common(10):
            print(f"  {cpu:6.2f}  {name}  (bare {n}: {bare.get(name, 0):.2f})")
    scaling()
    phone()


def phone():
    """Engine 2 and ffplay on the upright clip, the turned one and the HDR one: what the turn
    and the tone-map add to engine 2's processor time (ratios against the upright clip of the
    same run) and engine 2 against ffplay on each. With LUMASPIRE_BENCH_SAVER_BEFORE naming
    another build's lumaspire.scr, that saver plays the upright clip in the same rounds."""
    clips = [("upright", clip)] + [(name, path) for name, path in zip(("turned", "HDR"), PHONE_CLIPS)
                                   if os.path.exists(path)]
    players = []
    for name, path in clips:
        players += [(name, lambda path=path: play_saver("win7", 2, path)),
                    (name + " ffplay", lambda path=path: play_ffplay(path))]
    before = os.environ.get("LUMASPIRE_BENCH_SAVER_BEFORE")
    if before:
        players.insert(1, ("before", lambda: play_saver("win7", 2, clip, before)))
    results = {name: [] for name, _ in players}
    for _ in range(ROUNDS):
        for name, play in players:
            results[name].append(play())
            time.sleep(1)
    med = {name: (statistics.median(r[0] for r in rounds), statistics.median(r[3] for r in rounds))
           for name, rounds in results.items()}
    print(f"engine 2 and ffplay on a phone's clips, full screen {screen_w}x{screen_h}, median of {ROUNDS} rounds "
          f"(CPU s, frames shown):")
    for name, _ in clips:
        (cpu, frames), (peer, peer_frames) = med[name], med[name + " ffplay"]
        print(f"  {name:8} {cpu:7.2f} {frames:6.0f}   {cpu / med['upright'][0]:.3f} of upright   "
              f"ffplay {peer:6.2f} {peer_frames:4.0f}   engine 2/ffplay: {cpu / peer:.2f}")
    if before:
        cpu, frames = med["before"]
        print(f"  upright, {before}: {cpu:.2f} CPU s, {frames:.0f} frames; "
              f"this build/that one: {med['upright'][0] / cpu:.3f}")


def scaling():
    """Engine 2, its bare loop, ffplay and mpv on the clips where scaling dominates."""
    for path in SCALING_CLIPS:
        if not os.path.exists(path):
            continue
        players = [("engine 2", lambda: play_saver("win7", 2, path)), ("bare 2", lambda: play_peer("win7", True, path)),
                   ("ffplay", lambda: play_ffplay(path)), ("mpv", lambda: play_mpv(path))]
        results = {name: [] for name, _ in players}
        for _ in range(ROUNDS):
            for name, play in players:
                results[name].append(play())
                time.sleep(1)
        med = {name: tuple(statistics.median(r[i] for r in rounds) for i in range(4))
               for name, rounds in results.items()}
        print(f"{os.path.basename(path)} full screen {screen_w}x{screen_h}, median of {ROUNDS} rounds:")
        for name, (cpu, rss, first, frames) in med.items():
            first_text = "-" if first != first else f"{first:.0f}"
            print(f"  {name:10} {cpu:7.2f} {rss:13.1f} {first_text:>9} {frames:13.0f}")
        e2 = med["engine 2"][0]
        print(f"  engine 2/bare 2: CPU {e2 / med['bare 2'][0]:.3f}, engine 2/ffplay: {e2 / med['ffplay'][0]:.2f}, "
              f"engine 2/mpv: {e2 / med['mpv'][0]:.2f}")


if __name__ == "__main__":
    phone() if sys.argv[1:] == ["phone"] else main()
