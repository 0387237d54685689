#!/usr/bin/env python3
"""A night in the stand-in host, compressed: qkhost runs the three plug-ins under
Xvfb while this script rewrites the overlay's documents every 100 ms, changes
the pictures every few seconds, starts sounds and presses pads every few hundred
milliseconds. Every sample interval it prints qkhost's resident memory and open
descriptors and the sizes of the logs; at the end the video frames and audio
blocks that came late.

    python3 bench/soak/soak.py [SECONDS] [--build DIR] [--every SECONDS]

Needs a release build (bash scripts/run.sh builds one in build/release), ffmpeg
and xvfb-run.
"""
import argparse
import base64
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

parser = argparse.ArgumentParser()
parser.add_argument("seconds", nargs="?", type=float, default=1800)
parser.add_argument("--build", default="build/release")
parser.add_argument("--every", type=float, default=60, help="seconds between samples")
args = parser.parse_args()

build = os.path.abspath(args.build)
qkhost = os.path.join(build, "bin", "qkhost")
plugins = [os.path.join(build, "plugins", n + ".so") for n in ("QuorvaleKaraoke", "QuorvaleOverlay", "QuorvaleSound")]
for f in [qkhost] + plugins:
    if not os.path.exists(f):
        sys.exit(f"soak: {f} is missing; build first (bash scripts/run.sh)")
if not os.path.exists(os.path.join(build, "plugins", "ui", "index.html")):
    sys.exit("soak: the manager page is not beside the plug-in; build the QuorvaleKaraokeUi target")

home = tempfile.mkdtemp(prefix="qk-soak-")
data = os.path.join(home, "QuorvaleKaraoke")
tmp = os.path.join(home, "tmp")  # the karaoke plug-in's log goes to the temporary folder
os.makedirs(data)
os.makedirs(tmp)


def ffmpeg(*a):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", *a], check=True)


sounds = []
for i, hz in enumerate((440, 523, 659)):
    path = os.path.join(home, f"sound{i}.wav")
    ffmpeg("-f", "lavfi", "-i", f"sine=frequency={hz}:duration={0.4 + i * 0.3}", "-ac", "2", "-ar", "48000", path)
    sounds.append(path)
pictures = []
for i, colour in enumerate(("red", "green", "blue", "orange")):
    path = os.path.join(home, f"pic{i}.png")
    ffmpeg("-f", "lavfi", "-i", f"color=c={colour}:s=640x360", "-frames:v", "1", path)
    with open(path, "rb") as f:
        pictures.append("data:image/png;base64," + base64.b64encode(f.read()).decode())


def replace(name, text):
    """Writes the file whole and renames it into place, as the page's writes do."""
    path = os.path.join(data, name)
    fd, temp = tempfile.mkstemp(dir=data, prefix=".soak")
    with os.fdopen(fd, "w") as f:
        f.write(text)
    os.replace(temp, path)


def audience(n, assets_ver, slides_ver):
    singers = [{"singer": f"Singer {(n + k) % 50}", "title": f"Song {(n * 7 + k) % 300}", "wait": f"~{k * 4} min",
                "isNew": (n + k) % 5 == 0} for k in range(12)]
    return json.dumps({
        "renderer": "pipeline", "visible": True, "isPlaying": n % 600 < 400, "edge": "bottom", "speed": 110,
        "title": "Soak night", "venue": "The Test Bar", "subtitle": f"tick {n}",
        "message": f"Message {n % 97} \u2b50", "rotation": singers, "current": singers[0], "next": singers[1:4],
        "bgNow": {"title": f"Background {n % 13}", "artist": "Loop"},
        "dance": {"gfxVer": slides_ver, "cta": "Dance!" if n % 300 < 150 else "", "title": "Song", "artist": "Band"},
        "qr": {"url": f"https://example.org/request/{n % 1000}", "label": "Requests"},
        "appearance": {"assetsVer": assets_ver, "slides": {"ver": slides_ver, "enabled": True, "secs": 2}},
    })


def rss_and_fds(pid):
    rss = 0
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    return rss // 1024, len(os.listdir(f"/proc/{pid}/fd"))


def log_sizes():
    sizes = {}
    for folder in (data, tmp):
        for name in os.listdir(folder):
            if name.endswith(".log"):
                sizes[name] = os.path.getsize(os.path.join(folder, name))
    return sizes


# Pads every few hundred milliseconds through qkhost's own schedule: next singer,
# background music on and off, skip, and the audience screen on and off.
pad_args = []
t, rng = 3.0, random.Random(1)
while t < args.seconds - 1:
    pad_args += ["--pad", f"{rng.choice((1, 2, 3, 4))}@{t:.2f}"]
    t += rng.uniform(0.3, 0.9)

replace("audience.json", audience(0, 0, 0))
env = dict(os.environ, TMPDIR=tmp)
cmd = [qkhost, "--home", home, "run", "--seconds", str(args.seconds), "--fps", "30",
       "--size", "1280x720"] + pad_args + plugins
if not os.environ.get("DISPLAY"):
    cmd = ["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24"] + cmd
out = open(os.path.join(home, "qkhost.out"), "w")
proc = subprocess.Popen(cmd, env=env, stdout=out, stderr=subprocess.STDOUT)
time.sleep(2)
# The qkhost process itself (under xvfb-run it is a grandchild).
pid = None
for _ in range(50):
    found = subprocess.run(["pgrep", "-P", str(proc.pid)], capture_output=True, text=True).stdout.split()
    candidates = [proc.pid] + [int(p) for p in found]
    for c in list(candidates):
        candidates += [int(p) for p in subprocess.run(["pgrep", "-P", str(c)], capture_output=True,
                                                      text=True).stdout.split()]
    for c in candidates:
        try:
            if os.readlink(f"/proc/{c}/exe").endswith("/qkhost"):
                pid = c
        except OSError:
            pass
    if pid:
        break
    time.sleep(0.2)
if pid is None:
    proc.wait()
    sys.exit("soak: qkhost did not start; see " + os.path.join(home, "qkhost.out"))

print(f"soak: qkhost {pid}, home {home}, {args.seconds:.0f} s")
print(f"{'minute':>7} {'rss MiB':>8} {'fds':>5}  logs (bytes)")
start = time.monotonic()
next_sample, n, assets_ver, slides_ver, next_sound = 0.0, 0, 0, 0, 0.5
while proc.poll() is None:
    now = time.monotonic() - start
    if now >= args.seconds + 10:
        break
    n += 1
    replace("audience.json", audience(n, assets_ver, slides_ver))
    if n % 40 == 0:  # new pictures every 4 s
        assets_ver += 1
        replace("audience-assets.json", json.dumps({"bg": pictures[n % 4], "logo": pictures[(n + 1) % 4]}))
    if n % 70 == 0:
        slides_ver += 1
        replace("audience-slides.json", json.dumps(pictures[(n // 70) % 4:] + [{"data": pictures[0]}]))
        replace("dance-graphics.json", json.dumps([{"data": pictures[(n // 70) % 4]}]))
    if now >= next_sound:
        with open(os.path.join(data, "sound-inbox.jsonl"), "a") as f:
            f.write(json.dumps({"op": "play", "id": f"s{n % 6}", "path": rng.choice(sounds), "vol": 0.5}) + "\n")
            if n % 25 == 0:
                f.write('{"op":"stop_all"}\n')
        next_sound = now + rng.uniform(0.3, 0.8)
    if now >= next_sample:
        try:
            rss, fds = rss_and_fds(pid)
        except OSError:
            break
        logs = " ".join(f"{k}={v}" for k, v in sorted(log_sizes().items()))
        print(f"{now / 60:7.1f} {rss:8d} {fds:5d}  {logs}", flush=True)
        next_sample += args.every
    time.sleep(0.1)

proc.wait()
out.close()
with open(os.path.join(home, "qkhost.out")) as f:
    report = [line.rstrip() for line in f if line.startswith("qkhost: ")]
print("\n".join(report))
# Frames never drawn: the render loop keeps to its schedule, so a slow stretch
# shows as frames late, and one it never caught up as frames missing.
for line in report:
    if " video frames at " in line:
        drawn = int(line.split()[1])
        print(f"soak: {max(0, round(args.seconds * 30) - drawn)} of {round(args.seconds * 30)} video frames missing")
inbox = os.path.getsize(os.path.join(data, "sound-inbox.jsonl"))
print(f"soak: {n} document rewrites, sound inbox {inbox} bytes; logs: " +
      " ".join(f"{k}={v}" for k, v in sorted(log_sizes().items())))
if os.environ.get("QK_SOAK_KEEP"):
    print(f"soak: kept {home}")
else:
    shutil.rmtree(home, ignore_errors=True)
sys.exit(proc.returncode)
