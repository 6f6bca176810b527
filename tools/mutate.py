#!/usr/bin/env python3
"""Mutation sample: how many small faults planted in the song, reader, writer
and reversal code does the test suite notice?

    tools/mutate.py [--list] [--only ID[,ID...]] [--baseline] [--commit REV]
                    [--no-shared] [--json FILE]

Each mutant changes one line of one source file (a flipped comparison, a
constant off by one, a dropped statement). The script never edits the work
tree: it copies the tracked and untracked-but-not-ignored files into
build-mutate/src, mutates that copy, rebuilds rovanta_tests and rovanta-cli in
build-mutate/build and runs the core tests there. The copy's file is put back
after every mutant, also on Ctrl-C.

A mutant is killed when at least one test fails (or the run times out),
survives when every test passes, and counts as neither when it does not
compile. The summary gives the share killed and lists the survivors.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build-mutate"
SRC = WORK / "src"
BUILD = WORK / "build"
JOBS = min(int(os.environ.get("ROVANTA_JOBS", "2")), 2)
TEST_TIMEOUT = 900  # seconds for one whole ctest run
EXCLUDE = "gui|screens|install"

# (id, file, exact line text (stripped), replacement line text (stripped)).
# A replacement of "" drops the statement. The line must occur exactly once.
MUTANTS = [
    # Pairing: note ons meet their note offs.
    ("pair-group", "song/TrackPasses.cpp",
     "if (e.delta != 0) ++group;",
     "if (e.delta == 0) ++group;"),
    ("pair-claim-reset", "song/TrackPasses.cpp",
     "if (key.claimGroup != group) key.claimGroup = group, key.claims = 0;",
     "if (key.claimGroup == group) key.claimGroup = group, key.claims = 0;"),
    ("pair-claim-count", "song/TrackPasses.cpp",
     "} else if (key.claimGroup == group && key.claims > 0) {",
     "} else if (key.claimGroup == group && key.claims >= 0) {"),
    ("pair-start", "song/TrackPasses.cpp",
     "key.start = tick;",
     "key.start = tick + 1;"),
    ("drop-carry", "song/TrackPasses.cpp",
     "carried = event.delta;",
     "carried = 0;"),
    # Unpairing: note offs placed back.
    ("unpair-silent", "song/TrackPasses.cpp",
     "if (e.kind == kind::kPairedNote && e.velocity == 0) e.kind = kind::kInvalid;",
     ""),
    ("unpair-excess", "song/TrackPasses.cpp",
     "std::int64_t drop = (excess + 1) / 2;",
     "std::int64_t drop = excess / 2;"),
    # A note off waits until an event stands at or after its tick, then goes
    # before it; pending ends leave the heap earliest first, at one tick the
    # later note's first.
    ("unpair-bound", "song/TrackPasses.cpp",
     "while (!waiting.empty() && waiting.front().tick <= upTo) {",
     "while (!waiting.empty() && waiting.front().tick < upTo) {"),
    ("unpair-later-first", "song/TrackPasses.cpp",
     "auto popsLater = [](const Off& a, const Off& b) { return a.tick != b.tick ? a.tick > b.tick : a.on < b.on; };",
     "auto popsLater = [](const Off& a, const Off& b) { return a.tick != b.tick ? a.tick > b.tick : a.on > b.on; };"),
    ("unpair-tick-order", "song/TrackPasses.cpp",
     "auto popsLater = [](const Off& a, const Off& b) { return a.tick != b.tick ? a.tick > b.tick : a.on < b.on; };",
     "auto popsLater = [](const Off& a, const Off& b) { return a.tick != b.tick ? a.tick < b.tick : a.on < b.on; };"),
    ("unpair-first-delta", "song/TrackPasses.cpp",
     "if (!events_.empty()) events_[0].delta = ClampTicks(laterTick);",
     ""),
    ("unpair-eot-delta", "song/TrackPasses.cpp",
     "eot->delta = 0;",
     ""),
    # Same-tick reordering.
    ("first-keep-delta", "song/TrackPasses.cpp",
     "events_[from + p].delta = deltas[p];",
     ""),
    ("first-group", "song/TrackPasses.cpp",
     "if (j > 0) rearrange(groupStart, j);",
     "if (j > 1) rearrange(groupStart, j);"),
    ("controls-first-eot", "song/TrackPasses.cpp",
     "MoveFirstInTicks([](const MusicEvent& e) { return !e.IsNote() && !e.IsEndOfTrack(); });",
     "MoveFirstInTicks([](const MusicEvent& e) { return !e.IsNote(); });"),
    ("offs-first-group", "song/TrackPasses.cpp",
     "if (events_[i].delta != 0) noteOns.clear();",
     ""),
    ("offs-first-silent", "song/TrackPasses.cpp",
     "if (sounding[events_[on]] <= 0) continue;",
     "if (sounding[events_[on]] < 0) continue;"),
    ("restrike-group", "song/TrackPasses.cpp",
     "if (key.group == group) later = std::max(later, key.firstInGroup);",
     "if (key.group != group) later = std::max(later, key.firstInGroup);"),
    ("restrike-later", "song/TrackPasses.cpp",
     "std::size_t later = key.head + 1;",
     "std::size_t later = key.head;"),
    ("restrike-rank", "song/TrackPasses.cpp",
     "return a.at != b.at ? a.at < b.at : a.rank != b.rank ? a.rank < b.rank : a.index < b.index;",
     "return a.at != b.at ? a.at < b.at : a.rank != b.rank ? a.rank > b.rank : a.index < b.index;"),
    # Merging tracks.
    ("merge-tie", "song/TrackMerge.cpp",
     "const bool fromSource = !next || (j < right.size() && next->delta >= right[j].delta);",
     "const bool fromSource = !next || (j < right.size() && next->delta > right[j].delta);"),
    ("merge-name-join", "song/TrackMerge.cpp",
     'std::string joined = a.empty() ? b : a + " / " + b;',
     'std::string joined = a + " / " + b;'),
    ("merge-name-delta", "song/TrackMerge.cpp",
     "if (at >= 0 && i + 1 < events.size()) events[i + 1].delta = AddTicks(events[i + 1].delta, events[i].delta);",
     ""),
    ("merge-held-end", "song/TrackMerge.cpp",
     "e.delta = AddTicks(e.delta, heldEnd->delta);",
     ""),
    ("merge-full", "song/TrackMerge.cpp",
     "if (merged.size() >= limit) {  // a full table gives its last place to the end",
     "if (merged.size() > limit) {"),
    ("sweep-oversize", "song/TrackMerge.cpp",
     "if (first->second.oversize) --oversizeInSong;",
     ""),
    ("sweep-last-tie", "song/TrackMerge.cpp",
     "if (!songEmpty && (lastAt < 0 || endTick >= lastTick)) {",
     "if (!songEmpty && (lastAt < 0 || endTick > lastTick)) {"),
    ("sweep-before", "song/TrackMerge.cpp",
     "before[t] += tracks[t].Events()[next[t]].delta;",
     ""),
    ("drums-default", "song/MidiTrackData.cpp",
     "std::uint32_t drums = 1u << 9;",
     "std::uint32_t drums = 1u << 10;"),
    # Vertical Reverse.
    ("vertical-lowest", "mirror/Mirror.cpp",
     "lowest.fill(127);",
     "lowest.fill(126);"),
    ("vertical-middle", "mirror/Mirror.cpp",
     "const std::int64_t middle = (std::int64_t{lowest[c]} + highest[c]) / 2;",
     "const std::int64_t middle = (std::int64_t{lowest[c]} + highest[c] + 1) / 2;"),
    ("vertical-c-below", "mirror/Mirror.cpp",
     "twiceCentre[c] = static_cast<std::int32_t>(2 * (middle / 12 * 12));",
     "twiceCentre[c] = static_cast<std::int32_t>(2 * middle);"),
    ("vertical-drums", "mirror/Mirror.cpp",
     "if (!e.IsNote() || e.channel > 15 || IsDrum(drums, e.channel)) continue;",
     "if (!e.IsNote() || e.channel > 15) continue;"),
    ("octave-fold", "mirror/Mirror.cpp",
     "if (note > 127) note -= (note - 127 + 11) / 12 * 12;",
     "if (note > 127) note -= (note - 127 + 10) / 12 * 12;"),
    # Horizontal Reverse; a note end trades places with the start it ends,
    # the notes of one key first in, first out.
    ("match-fifo", "mirror/Mirror.cpp",
     "const std::size_t i = key.starts[key.head++];",
     "const std::size_t i = key.starts.back(); ++key.head;"),
    ("horizontal-swap-delta", "mirror/Mirror.cpp",
     "std::swap(events[i].delta, events[j].delta);",
     ""),
    ("horizontal-shift", "mirror/Mirror.cpp",
     "for (std::size_t k = last; k-- > 1;) events[k].delta = events[k - 1].delta;",
     "for (std::size_t k = last; k-- > 2;) events[k].delta = events[k - 1].delta;"),
    ("horizontal-first-delta", "mirror/Mirror.cpp",
     "firsts[c].delta = 0;",
     ""),
    ("horizontal-program-slot", "mirror/Mirror.cpp",
     "if (!programs[c].empty()) arranged[16 - c] = std::move(firsts[c]);",
     "if (!programs[c].empty()) arranged[15 - c] = std::move(firsts[c]);"),
    ("horizontal-tempo-value", "mirror/Mirror.cpp",
     "arranged[lastTempo].value = arranged[i].value;",
     ""),
    ("horizontal-tempo-last", "mirror/Mirror.cpp",
     "arranged[lastTempo].kind = kind::kInvalid;",
     ""),
    # Reading.
    ("read-velocity-zero", "smf/SmfReader.cpp",
     "if ((status & 0xF0) == 0x90 && d2 == 0) {",
     "if ((status & 0xF0) == 0x90 && d2 <= 1) {"),
    ("read-running-pos", "smf/SmfReader.cpp",
     "statusPos = pos_ - 1;  // the data bytes follow the position, as after a status byte",
     "statusPos = pos_;"),
    ("read-running-keep", "smf/SmfReader.cpp",
     "ctx_.runningStatus = status;",
     ""),
    ("read-sysex-span", "smf/SmfReader.cpp",
     "const std::uint32_t span = end - at + 1;",
     "const std::uint32_t span = end - at;"),
    ("read-escape-span", "smf/SmfReader.cpp",
     "std::uint32_t span = std::uint32_t{count} + 2;",
     "std::uint32_t span = std::uint32_t{count} + 1;"),
    ("read-vlq", "smf/SmfReader.cpp",
     "value = grow((value + chunk_[pos] - 128) * 128);",
     "value = grow((value + chunk_[pos] - 128) * 127);"),
    ("read-program", "smf/SmfReader.cpp",
     "if (d1 >= 128) {",
     "if (d1 > 128) {"),
    ("read-classify", "smf/SmfReader.cpp",
     "if (status == 0xF0) ClassifySysEx(event);",
     ""),
    ("read-skip", "smf/SmfReader.cpp",
     "pos_ = dataPos + 1;  // skip the byte, so a bad chunk cannot hold the reader in place",
     "pos_ = dataPos + 2;"),
    ("read-time-signature", "smf/SmfReader.cpp",
     "const std::uint32_t size = Truncated(at, 7);",
     "const std::uint32_t size = Truncated(at, 6);"),
    ("read-f1-tracks", "smf/MidiF1Data.cpp",
     "if (header.tracks > 63) {",
     "if (header.tracks >= 63) {"),
    ("read-f1-early", "smf/MidiF1Data.cpp",
     "if (readPosition >= dataLength) {",
     "if (readPosition > dataLength) {"),
    ("split-channel", "smf/MidiF1Data.cpp",
     "return e.channel <= 15 ? e.channel + 1 : 1;",
     "return e.channel < 15 ? e.channel + 1 : 1;"),
    ("split-one-end", "smf/MidiF1Data.cpp",
     "if (track.Count() > 0 && track.At(track.Count() - 1).IsEndOfTrack()) continue;",
     ""),
    ("split-running", "smf/MidiF1Data.cpp",
     "running[static_cast<std::size_t>(k)] = 0;",
     ""),
    ("read-f0-count", "smf/Format0Reader.cpp",
     "if (Be16(bytes + base + 10) != 1) return refuse(m0dt::kBadTrackCount);",
     "if (Be16(bytes + base + 10) > 1) return refuse(m0dt::kBadTrackCount);"),
    # Writing.
    ("write-sysex-whole", "smf/SmfWriter.cpp",
     "if (complete && at + length == stored.size()) {",
     "if (complete && at + length != stored.size()) {"),
    ("write-sysex-length", "smf/SmfWriter.cpp",
     "AppendVlq(out, static_cast<std::uint32_t>(stored.size() - 1));",
     "AppendVlq(out, static_cast<std::uint32_t>(stored.size()));"),
    ("write-vlq", "smf/SmfWriter.cpp",
     "while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));",
     "while (n > 2) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));"),
    ("write-tempo", "smf/SmfWriter.cpp",
     "out.insert(out.end(), {0xFF, 0x51, 0x03, Low(e.value >> 16), Low(e.value >> 8), Low(e.value)});",
     "out.insert(out.end(), {0xFF, 0x51, 0x03, Low(e.value >> 15), Low(e.value >> 8), Low(e.value)});"),
    ("write-oversize", "smf/SmfWriter.cpp",
     "if (e.length > 128 && e.type != meta::kSequencerSpecific) track.ReportWarning(mdtk::kOversizeEvent);",
     "if (e.length >= 128 && e.type != meta::kSequencerSpecific) track.ReportWarning(mdtk::kOversizeEvent);"),
    ("write-time-signature", "smf/SmfWriter.cpp",
     "for (std::size_t i = 0; i < 4; ++i) out.push_back(i < bytes.size() ? bytes[i] : 0);",
     "for (std::size_t i = 0; i < 4; ++i) out.push_back(i < 3 && i < bytes.size() ? bytes[i] : 0);"),
    ("write-margin", "smf/SmfWriter.cpp",
     "if (needed > capacity - kMargin ||",
     "if (needed >= capacity - kMargin ||"),
    ("write-room", "smf/SmfWriter.cpp",
     "needed + static_cast<std::int64_t>(bytes.size()) > usable - kEndOfTrackRoom) {",
     "needed + static_cast<std::int64_t>(bytes.size()) >= usable - kEndOfTrackRoom) {"),
    ("write-carry", "smf/SmfWriter.cpp",
     "carried = AddTicks(carried, e.delta);",
     ""),
    ("write-cut-room", "smf/SmfWriter.cpp",
     "if (length + kNoteOffRoom > usable - kEndOfTrackRoom) return;",
     "if (length + kNoteOffRoom >= usable - kEndOfTrackRoom) return;"),
    ("write-cut-ended", "smf/SmfWriter.cpp",
     "if (key.head < key.size()) ons_[key[key.head++]] = nullptr;",
     ""),
    ("write-sysex-first", "smf/SmfWriter.cpp",
     "track.MoveSysExFirst();",
     ""),
]


def tree_files(root):
    out = subprocess.run(
        ["git", "ls-files", "-co", "--exclude-standard", "-z"],
        cwd=root, check=True, capture_output=True).stdout
    return [f for f in out.decode().split("\0") if f]


def export_commit(rev):
    """The tree of a commit, unpacked beside the copy, to measure an older suite."""
    where = WORK / "commit"
    shutil.rmtree(where, ignore_errors=True)
    where.mkdir(parents=True)
    archive = subprocess.run(["git", "archive", rev], cwd=ROOT, check=True, capture_output=True).stdout
    subprocess.run(["tar", "-x", "-C", str(where)], input=archive, check=True)
    subprocess.run(["git", "init", "-q"], cwd=where, check=True)
    subprocess.run(["git", "add", "-A"], cwd=where, check=True)
    return where


def sync_copy(origin, use_shared=True):
    """Brings the copy up to date with `origin` (the work tree, or an exported
    commit), touching only files whose bytes differ so that the build stays
    incremental."""
    SRC.mkdir(parents=True, exist_ok=True)
    names = tree_files(origin)
    # Files gone from the work tree go from the copy too (the build globs).
    wanted = {SRC / n for n in names}
    for path in SRC.rglob("*"):
        if path.is_file() and path not in wanted:
            path.unlink()
    for name in names:
        src = origin / name
        dst = SRC / name
        if not src.is_file():
            continue
        data = src.read_bytes()
        if dst.is_file() and dst.read_bytes() == data:
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        dst.write_bytes(data)
        shutil.copymode(src, dst)
    # The tests find the shared corpus beside the source folder.
    shared = ROOT.parent / "shared"
    link = WORK / "shared"
    if link.is_symlink() and not use_shared:
        link.unlink()
    if use_shared and shared.is_dir() and not link.exists():
        link.symlink_to(shared)


def configure():
    if (BUILD / "CMakeCache.txt").is_file():
        return
    subprocess.run(
        ["cmake", "-S", str(SRC), "-B", str(BUILD), "-G", "Ninja",
         "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DROVANTA_GUI=OFF",
         "-DROVANTA_BENCH=OFF", "-DROVANTA_TESTS=ON", "-DROVANTA_WERROR=OFF"],
        check=True, stdout=subprocess.DEVNULL)


def build():
    r = subprocess.run(
        ["cmake", "--build", str(BUILD), "-j", str(JOBS), "--target",
         "rovanta_tests", "rovanta-cli"],
        capture_output=True, text=True)
    return r.returncode == 0, r.stdout + r.stderr


def run_tests():
    """Returns (all passed, names of the failed tests)."""
    log = WORK / "last-ctest.log"
    try:
        r = subprocess.run(
            ["ctest", "--test-dir", str(BUILD), "-j", str(JOBS), "-E", EXCLUDE,
             "--timeout", "120"],
            capture_output=True, text=True, timeout=TEST_TIMEOUT)
    except subprocess.TimeoutExpired:
        return False, ["(whole run timed out)"]
    log.write_text(r.stdout + r.stderr)
    # Only the list under "FAILED"; skipped tests are listed the same way.
    failed_part = r.stdout.split("tests FAILED:", 1)[1] if "tests FAILED:" in r.stdout else ""
    failed = re.findall(r"^\s*\d+ - (\S+) \((?!Skipped|Not Run)", failed_part, re.M)
    if r.returncode != 0 and not failed:
        failed = ["(ctest failed: see last-ctest.log)"]
    return r.returncode == 0, failed


def sites(root, name, original):
    """How often the line occurs in the file under `root` (0 when the file is gone)."""
    path = root / name
    if not path.is_file():
        return 0
    return sum(1 for line in path.read_text().split("\n") if line.strip() == original)


def mutate_text(text, original, replacement):
    """The file's text with the one line whose stripped text is `original`
    replaced (indentation kept); a dropped statement becomes an empty one, so
    an unbraced body stays a body."""
    lines = text.split("\n")
    hits = [i for i, line in enumerate(lines) if line.strip() == original]
    if len(hits) != 1:
        return None, len(hits)
    i = hits[0]
    indent = lines[i][: len(lines[i]) - len(lines[i].lstrip())]
    lines[i] = indent + (replacement or ";  // dropped")
    return "\n".join(lines), 1


class Restorer:
    """Puts the copy's file back however the run ends."""

    def __init__(self):
        self.path = None
        self.original = None

    def hold(self, path, original):
        self.path, self.original = path, original

    def restore(self):
        if self.path is not None:
            self.path.write_text(self.original)
            self.path = None


def run_mutants(selected):
    restorer = Restorer()

    def on_signal(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGHUP, on_signal)
    results = []
    try:
        for ident, name, original, replacement in selected:
            path = SRC / name
            text = path.read_text()
            mutated, hits = mutate_text(text, original, replacement)
            if mutated is None:
                sys.exit(f"{ident}: the line occurs {hits} times in {name}; fix the mutant list")
            restorer.hold(path, text)
            path.write_text(mutated)
            started = time.monotonic()
            built, log = build()
            if not built:
                outcome, failed = "no-compile", []
                (WORK / f"{ident}.build.log").write_text(log)
            else:
                passed, failed = run_tests()
                outcome = "survived" if passed else "killed"
            restorer.restore()
            seconds = time.monotonic() - started
            results.append({"id": ident, "file": name, "line": original,
                            "replacement": replacement or "(dropped)",
                            "outcome": outcome, "failed": failed})
            print(f"{ident:26} {outcome:10} {len(failed):3} failed  {seconds:5.0f}s", flush=True)
    except KeyboardInterrupt:
        restorer.restore()
        print("interrupted; the copy is restored", file=sys.stderr)
        raise SystemExit(130)
    finally:
        restorer.restore()
    return results


def summarize(results):
    killed = [r for r in results if r["outcome"] == "killed"]
    survived = [r for r in results if r["outcome"] == "survived"]
    broken = [r for r in results if r["outcome"] == "no-compile"]
    judged = len(killed) + len(survived)
    share = 100.0 * len(killed) / judged if judged else 0.0
    print()
    print(f"killed {len(killed)} of {judged} ({share:.1f}%), "
          f"{len(broken)} did not compile")
    for r in survived:
        print(f"  survived {r['id']}: {r['file']}: {r['line']}  ->  {r['replacement']}")
    for r in broken:
        print(f"  no compile {r['id']}: see build-mutate/{r['id']}.build.log")
    # Tests that alone kill some mutant: dropping them would lose that fault.
    only = {}
    for r in killed:
        if len(r["failed"]) == 1:
            only.setdefault(r["failed"][0], []).append(r["id"])
    if only:
        print("sole killers:")
        for test, ids in sorted(only.items()):
            print(f"  {test}: {', '.join(ids)}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--list", action="store_true", help="print the mutants and stop")
    ap.add_argument("--only", help="comma-separated mutant ids")
    ap.add_argument("--json", help="write the results here as well")
    ap.add_argument("--baseline", action="store_true",
                    help="only build and test the unmutated copy")
    ap.add_argument("--commit", help="test the suite of this commit instead of the work tree")
    ap.add_argument("--no-shared", action="store_true",
                    help="run without the shared corpus, as a fresh clone would")
    args = ap.parse_args()
    ids = [m[0] for m in MUTANTS]
    if len(set(ids)) != len(ids):
        sys.exit("duplicate mutant ids")
    if args.list:
        for ident, name, original, replacement in MUTANTS:
            hits = sites(ROOT, name, original)
            mark = "" if hits == 1 else f"  [line found {hits} times]"
            print(f"{ident:26} {name}: {original}  ->  {replacement or '(dropped)'}{mark}")
        return
    selected = MUTANTS
    if args.only:
        wanted = args.only.split(",")
        unknown = set(wanted) - set(ids)
        if unknown:
            sys.exit(f"unknown mutants: {', '.join(sorted(unknown))}")
        selected = [m for m in MUTANTS if m[0] in wanted]
    # Mutants of one file in a row: each then costs one compile.
    selected = sorted(selected, key=lambda m: m[1])

    sync_copy(export_commit(args.commit) if args.commit else ROOT, not args.no_shared)
    # Every site checked before hours of builds, not when its turn comes.
    missing = [f"{m[0]} ({sites(SRC, m[1], m[2])} times in {m[1]})" for m in selected if sites(SRC, m[1], m[2]) != 1]
    if missing:
        sys.exit("lines not found exactly once; fix the mutant list: " + ", ".join(missing))
    configure()
    built, log = build()
    if not built:
        sys.exit("the unmutated copy does not build:\n" + log[-4000:])
    passed, failed = run_tests()
    if not passed:
        sys.exit("the unmutated copy fails: " + ", ".join(failed))
    if args.baseline:
        print("the unmutated copy passes")
        return
    print(f"{len(selected)} mutants; the unmutated copy passes", flush=True)

    results = run_mutants(selected)
    summarize(results)
    if args.json:
        Path(args.json).write_text(json.dumps(results, indent=1) + "\n")


if __name__ == "__main__":
    main()
