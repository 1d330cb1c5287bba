#!/usr/bin/env bash
# Times each peer's fastest form of our blur and sketch cases on the benchmark's 6000 × 4000
# picture (G'MIC's in-place blur, OpenCV's GaussianBlur and Sobel on every core, ImageMagick's
# -blur and -gaussian-blur) and prints each as a ratio to our own case from the same run, since
# the machines differ from day to day, with the exact command behind each figure.
# Usage: bench/peers.sh OURS.json (Google Benchmark's JSON output of vividra_bench).
set -euo pipefail

ours=${1:?usage: bench/peers.sh OURS.json}
[ -f "$ours" ] || { echo "peers: no $ours" >&2; exit 1; }

# The distribution's Python, where python3-opencv installs (not a virtualenv's).
py=/usr/bin/python3
need=()
command -v gmic >/dev/null 2>&1 || need+=(gmic)
"$py" -c 'import cv2' 2>/dev/null || need+=(python3-opencv)
command -v magick >/dev/null 2>&1 || command -v convert >/dev/null 2>&1 || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "peers: installing ${need[*]}"
    if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
        $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"; } >/dev/null; then
        echo "peers: could not install ${need[*]}; no peer figures" >&2
        exit 0
    fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

exec "$py" - "$ours" "$work" <<'EOF'
import json, os, re, shutil, statistics, subprocess, sys, time
import numpy as np
import cv2

ours_file, work = os.path.abspath(sys.argv[1]), sys.argv[2]
W, H, RUNS, LIMIT_S = 6000, 4000, 3, 60
CORES = os.cpu_count() or 1
# The peers read the picture by this name in the temporary folder, so the commands printed
# are the ones run.
os.chdir(work)
picture = "picture.png"

# The benchmark's picture: std::mt19937(1) noise over stripes, gradients and bands, BGRA.
raw = np.random.RandomState(1).randint(0, 2**32, size=W * H, dtype=np.uint64).astype(np.uint32)
n = (raw & 15).reshape(H, W).astype(np.int64)
y, x = np.mgrid[0:H, 0:W].astype(np.int64)
bgra = np.empty((H, W, 4), np.uint8)
bgra[..., 0] = (x // 24 + n) & 0xFF
bgra[..., 1] = (y // 16 + (x * y) // 90000 + n) & 0xFF
bgra[..., 2] = (np.where((x + y) // 40 % 2 == 1, 200, 40) + n) & 0xFF
bgra[..., 3] = 255
cv2.imwrite(picture, bgra)
del raw, n, y, x

cv2.setNumThreads(CORES)
out = np.empty_like(bgra)  # OpenCV writes into it: no allocation in the timed call


def median_ms(f):
    t = time.perf_counter()
    f()  # once to warm caches and thread pools
    first = (time.perf_counter() - t) * 1000
    if first > LIMIT_S * 1000 / 10:
        return first  # a slow one is ranked on that run alone
    times = []
    for _ in range(RUNS):
        t = time.perf_counter()
        f()
        times.append((time.perf_counter() - t) * 1000)
    return statistics.median(times)


def gmic(sigma):
    # In place, on G'MIC's own clock around each blur alone: loading is not counted. The first
    # blur warms up untimed; blurring a blurred picture costs the same.
    cmd = ["gmic", "v", "-1", "input", picture, "blur", str(sigma),
           "repeat", str(RUNS), "tic", "blur", str(sigma), "toc", "done"]
    try:
        run = subprocess.run(cmd, capture_output=True, text=True, timeout=LIMIT_S * (RUNS + 2))
    except subprocess.TimeoutExpired:
        return None, "timed out", cmd
    found = re.findall(r"Elapsed time: ([0-9.]+) s", run.stdout + run.stderr)
    if len(found) != RUNS:
        return None, "failed", cmd
    return statistics.median(float(t) * 1000 for t in found), "", cmd


def wall_ms(cmd):
    """Median wall time of a whole command; None when a run passes LIMIT_S seconds."""
    times = []
    for _ in range(RUNS):
        t = time.perf_counter()
        try:
            subprocess.run(cmd, check=True, capture_output=True, timeout=LIMIT_S)
        except subprocess.TimeoutExpired:
            return None
        times.append((time.perf_counter() - t) * 1000)
        if times[-1] > LIMIT_S * 1000 / 10:
            break  # one slow run is enough to rank it
    return statistics.median(times)


magick = ["magick"] if shutil.which("magick") else ["convert"]
load_cmd = magick + [picture, "null:"]
load_ms = wall_ms(load_cmd)


def imagemagick(option, sigma, skip):
    # ImageMagick times nothing itself: a whole run less one that only reads the picture.
    cmd = magick + [picture, option, f"0x{sigma}", "null:"]
    if skip:
        return None, "not run: timed out at a smaller sigma", cmd
    ms = wall_ms(cmd)
    if ms is None:
        return None, f"timed out (over {LIMIT_S} s)", cmd
    return max(ms - load_ms, 0.0), "", cmd


def sobel():
    grey = cv2.cvtColor(bgra, cv2.COLOR_BGRA2GRAY)
    gx = cv2.Sobel(grey, cv2.CV_32F, 1, 0)
    gy = cv2.Sobel(grey, cv2.CV_32F, 0, 1)
    return cv2.magnitude(gx, gy)


# Ours: the median of repetitions when there are some, else the one run.
ours = {}
for b in json.load(open(ours_file)).get("benchmarks", []):
    name = b.get("run_name", b["name"]).replace("/real_time", "")
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
        continue
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    ours[name] = b["real_time"] * scale

cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo")
            if l.startswith("model name")), "unknown processor")
resources = subprocess.run(magick + ["-list", "resource"], capture_output=True, text=True).stdout
limits = re.findall(r"^ *(Memory|Map): *(\S+)", resources, re.M)
im_limits = ", ".join(f"{k} {v}" for k, v in limits)
print(f"\nPeers on the same {W} x {H} picture: {cpu}, {CORES} cores, "
      f"VIVIDRA_ISA={os.environ.get('VIVIDRA_ISA') or 'unset (the best path)'}")
print("  ratio = peer time / our time, above 1 means we are faster; the commands run in a "
      "temporary folder holding picture.png")
print(f"  medians of {RUNS} runs, or the one run where that takes over {LIMIT_S // 10} s")
print(f"  OpenCV {cv2.__version__}: {cv2.getNumThreads()} threads, in memory into a ready output")
print("  G'MIC: its own clock around the in-place blur alone")
print(f"  ImageMagick: whole runs less `{' '.join(load_cmd)}` ({load_ms:.0f} ms), each run "
      f"stopped after {LIMIT_S} s; its policy's limits: {im_limits or 'unknown'}")

rows = []
im_timed_out = {"-blur": False, "-gaussian-blur": False}
for r in (5, 35, 100):
    case, key = f"blur {r}", f"BM_GaussianBlur/{r}"
    ms, note, cmd = gmic(r)
    rows.append((case, key, "G'MIC blur, in place", ms, note, " ".join(cmd)))
    ms = median_ms(lambda: cv2.GaussianBlur(bgra, (0, 0), r, dst=out))
    rows.append((case, key, "OpenCV GaussianBlur", ms, "",
                 f"cv2.GaussianBlur(bgra, (0, 0), {r}, dst=out)"))
    for option in ("-blur", "-gaussian-blur"):
        ms, note, cmd = imagemagick(option, r, im_timed_out[option])
        im_timed_out[option] |= note.startswith("timed out")
        rows.append((case, key, f"ImageMagick {option}", ms, note, " ".join(cmd)))
rows.append(("sketch", "BM_Sketch", "OpenCV Sobel magnitude", median_ms(sobel), "",
             "grey = cv2.cvtColor(bgra, cv2.COLOR_BGRA2GRAY); cv2.magnitude("
             "cv2.Sobel(grey, cv2.CV_32F, 1, 0), cv2.Sobel(grey, cv2.CV_32F, 0, 1))"))
for case, key, peer, theirs, note, command in rows:
    mine = ours.get(key)
    mine_s = f"{mine:8.1f} ms" if mine else "     n/a   "
    if theirs is None:
        print(f"  {case:9} ours {mine_s}   {peer:27} {note}")
    else:
        ratio = f"{theirs / mine:6.2f}x" if mine else "   n/a"
        print(f"  {case:9} ours {mine_s}   {peer:27} {theirs:8.1f} ms   ratio {ratio}")
    print(f"      $ {command}")
EOF
