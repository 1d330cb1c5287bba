#!/usr/bin/env bash
# Times G'MIC's blur and OpenCV's GaussianBlur and Sobel on the benchmark's 6000 × 4000 picture
# and prints each as a ratio to our own case from the same run, since the machines differ from
# day to day. Usage: bench/peers.sh OURS.json (Google Benchmark's JSON output of vividra_bench).
set -euo pipefail

ours=${1:?usage: bench/peers.sh OURS.json}
[ -f "$ours" ] || { echo "peers: no $ours" >&2; exit 1; }

# The distribution's Python, where python3-opencv installs (not a virtualenv's).
py=/usr/bin/python3
need=()
command -v gmic >/dev/null 2>&1 || need+=(gmic)
"$py" -c 'import cv2' 2>/dev/null || need+=(python3-opencv)
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
import json, re, statistics, subprocess, sys, time
import numpy as np
import cv2

ours_file, work = sys.argv[1], sys.argv[2]
W, H, RUNS = 6000, 4000, 3

# The benchmark's picture: std::mt19937(1) noise over stripes, gradients and bands, BGRA.
raw = np.random.RandomState(1).randint(0, 2**32, size=W * H, dtype=np.uint64).astype(np.uint32)
n = (raw & 15).reshape(H, W).astype(np.int64)
y, x = np.mgrid[0:H, 0:W].astype(np.int64)
bgra = np.empty((H, W, 4), np.uint8)
bgra[..., 0] = (x // 24 + n) & 0xFF
bgra[..., 1] = (y // 16 + (x * y) // 90000 + n) & 0xFF
bgra[..., 2] = (np.where((x + y) // 40 % 2 == 1, 200, 40) + n) & 0xFF
bgra[..., 3] = 255
picture = f"{work}/picture.png"
cv2.imwrite(picture, bgra)

def median_ms(f):
    f()  # once to warm caches and thread pools
    times = []
    for _ in range(RUNS):
        t = time.perf_counter()
        f()
        times.append((time.perf_counter() - t) * 1000)
    return statistics.median(times)

def gmic_ms(sigma):
    # G'MIC's own clock around the blurs alone, so reading the file is not counted.
    script = (f"v -1 input {picture} +blur[0] {sigma} rm[-1] "
              f"tic repeat {RUNS} +blur[0] {sigma} rm[-1] done toc")
    out = subprocess.run(["gmic"] + script.split(), capture_output=True, text=True)
    m = re.search(r"Elapsed time: ([0-9.]+) s", out.stdout + out.stderr)
    return float(m.group(1)) * 1000 / RUNS if m else None

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

print(f"\nPeers on the same {W} x {H} picture, {cv2.getNumberOfCPUs()} cores "
      f"(OpenCV {cv2.__version__}); ratio = peer time / our time, above 1 means we are faster")
rows = []
for r in (5, 35, 100):
    rows.append((f"blur {r}", f"BM_GaussianBlur/{r}", "G'MIC blur", gmic_ms(r)))
    # OpenCV's kernel grows with the radius: at 100 one run takes half a minute.
    if r <= 35:
        rows.append((f"blur {r}", f"BM_GaussianBlur/{r}", "OpenCV GaussianBlur",
                     median_ms(lambda: cv2.GaussianBlur(bgra, (0, 0), r))))
rows.append(("sketch", "BM_Sketch", "OpenCV Sobel magnitude", median_ms(sobel)))
for case, key, peer, theirs in rows:
    mine = ours.get(key)
    mine_s = f"{mine:8.1f} ms" if mine else "     n/a   "
    theirs_s = f"{theirs:8.1f} ms" if theirs else "     n/a   "
    ratio = f"{theirs / mine:6.2f}x" if mine and theirs else "   n/a"
    print(f"  {case:9} ours {mine_s}   {peer:24} {theirs_s}   ratio {ratio}")
EOF
