import os, sys, time, subprocess, threading, collections
sys.path.insert(0, "tools")
bp = __import__("bench-players")
snap = {}
def poll(pid, stop):
    while not stop.is_set():
        try:
            for tid in os.listdir(f"/proc/{pid}/task"):
                try:
                    with open(f"/proc/{pid}/task/{tid}/stat") as f:
                        data = f.read()
                    comm = data[data.index("(")+1:data.rindex(")")]
                    fields = data.rsplit(")",1)[1].split()
                    snap[tid] = (comm, (int(fields[11]) + int(fields[12])) / bp.TICK)
                except OSError:
                    pass
        except OSError:
            pass
        time.sleep(0.2)
watcher = subprocess.Popen(bp.wine_command(os.path.join(bp.bindir, "playback_bench.exe"), "--watch", bp.clip), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
print(watcher.stdout.readline())
xs = bp.xvfb_pid(); ws = bp.wineserver_pid()
x0, w0 = bp.cpu_seconds(xs), bp.cpu_seconds(ws)
proc = subprocess.Popen(bp.wine_command(os.path.join(bp.bindir, "lumaspire.scr"), "/s"), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
stop = threading.Event(); t = threading.Thread(target=poll, args=(proc.pid, stop)); t.start()
print(watcher.stdout.read())
proc.wait(); stop.set(); t.join()
print("xvfb", bp.cpu_seconds(xs) - x0, "wineserver", bp.cpu_seconds(ws) - w0)
agg = collections.Counter()
for tid, (comm, cpu) in snap.items():
    agg[comm] += cpu
for comm, cpu in agg.most_common():
    print(f"{cpu:7.2f} {comm}")
