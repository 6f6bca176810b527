#!/usr/bin/env bash
# Times whole-process `rovanta-cli mirror -H -V` against bench/mirror_floor, a
# plain straight-line program doing the same job, on the largest files: two
# synthetic files of exactly 393,216 bytes (formats 0 and 1) and, when the
# shared corpus is beside the repository, its largest file the product loads.
# Runs are paired (floor and product alternate, in changing order) so that the
# load of a shared machine hits both alike; medians of the repetitions.
#
#   bench/compare.sh [BUILD_DIR] [REPETITIONS]      (default: build-release, 15)
#
# Prints per file the median wall times, their ratio, the product's peak RSS
# and minor page faults, and checks them against the targets: time ratio at
# most 2.0, peak RSS at most 15 MB, page faults at most 3,000.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build-release}
[[ "$build" = /* ]] || build="$root/$build"
reps=${2:-15}
cli="$build/cli/rovanta-cli"
floor="$build/bench/mirror_floor"
for program in "$cli" "$floor"; do
    if [[ ! -x "$program" ]]; then
        echo "compare: $program is missing; build it first, e.g." >&2
        echo "  scripts/build build-release -DCMAKE_BUILD_TYPE=Release -DROVANTA_GUI=OFF -DROVANTA_BENCH=ON" >&2
        exit 2
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/bench/make_large_midi.py" "$work/in"
corpus="$root/../shared/corpus"
[[ -f "$corpus/planetblupi-music-midi--music002.mid" ]] && cp "$corpus/planetblupi-music-midi--music002.mid" "$work/in/"

python3 - "$cli" "$floor" "$work" "$reps" <<'PY'
import os, resource, statistics, subprocess, sys, time
cli, floor, work, reps = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

def run(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        fd = os.open(os.devnull, os.O_WRONLY)
        os.dup2(fd, 1); os.dup2(fd, 2)
        os.execv(argv[0], argv)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    return elapsed, usage.ru_maxrss / 1024.0, usage.ru_minflt

worst = {"ratio": 0.0, "rss": 0.0, "faults": 0}
print(f"{'file':<44} {'floor':>9} {'rovanta':>9} {'ratio':>6} {'RSS MB':>7} {'faults':>7}   (floor RSS, faults)")
for name in sorted(os.listdir(os.path.join(work, "in"))):
    src = os.path.join(work, "in", name)
    out = os.path.join(work, "out.mid")
    times = {"floor": [], "cli": []}
    rss, faults, frss, ffaults = 0.0, 0, 0.0, 0
    for i in range(reps):
        order = ["floor", "cli"] if i % 2 == 0 else ["cli", "floor"]
        for who in order:
            argv = [floor, src, out] if who == "floor" else [cli, "mirror", "-H", "-V", src, "-o", out]
            t, m, f = run(argv)
            times[who].append(t)
            if who == "cli":
                rss, faults = max(rss, m), max(faults, f)
            else:
                frss, ffaults = max(frss, m), max(ffaults, f)
    tf, tc = statistics.median(times["floor"]), statistics.median(times["cli"])
    ratio = tc / tf
    worst = {"ratio": max(worst["ratio"], ratio), "rss": max(worst["rss"], rss), "faults": max(worst["faults"], faults)}
    print(f"{name:<44} {tf*1000:7.1f}ms {tc*1000:7.1f}ms {ratio:6.2f} {rss:7.1f} {faults:7d}   ({frss:.1f}, {ffaults})")
ok = worst["ratio"] <= 2.0 and worst["rss"] <= 15.0 and worst["faults"] <= 3000
print(f"worst: time ratio {worst['ratio']:.2f} (target <= 2.0), peak RSS {worst['rss']:.1f} MB (<= 15), "
      f"page faults {worst['faults']} (<= 3000): {'met' if ok else 'NOT met'}")
PY
