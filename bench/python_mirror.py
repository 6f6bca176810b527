#!/usr/bin/env python3
"""Files per second mirroring a corpus with Horizontal and Vertical Reverse:

  module, 1 thread    rovanta.mirror() on each file's bytes, the result written
                      by Python
  module, 2 threads   the same on a pool of two threads
  mirror_file, 2 threads
                      rovanta.mirror_file() on a pool of two threads: the file
                      written as the command line writes it (a temporary file
                      put on disk with fsync, then renamed)
  rovanta-cli -j 2    one `rovanta-cli mirror -H -V FILES... --out-dir DIR -j 2`
  mido                a plain mirror written with mido (below), one thread,
                      over one copy of the corpus (it is two orders slower)

Every way reads each file and writes its result into a folder of its own. A
batch is the corpus taken --copies times (as links named apart), so that one
batch runs long enough to time. The ways take turns within each repetition,
so the load of a shared machine falls on all of them alike; the table gives
the median over the repetitions of the wall time and of the CPU time (all
threads, or the child process).

    PYTHONPATH=build/python python3 bench/python_mirror.py [--cli build/cli/rovanta-cli] [CORPUS] [-r 7] [--copies 5]

CORPUS defaults to ../shared/corpus beside the repository.
"""

import argparse
import concurrent.futures
import pathlib
import resource
import statistics
import subprocess
import sys
import tempfile
import time

REPO = pathlib.Path(__file__).resolve().parents[1]
MIDI_SUFFIXES = {".mid", ".midi", ".kar"}

try:
    import rovanta
except ImportError:
    sys.path.insert(0, str(REPO / "build" / "python"))
    import rovanta


def module_mirror(source, out_dir):
    result = rovanta.mirror(source.read_bytes(), horizontal=True, vertical=True)
    if result.ok:
        (out_dir / source.name).write_bytes(result.data)
    return result.ok


def module_mirror_file(source, out_dir):
    return rovanta.mirror_file(source, out_dir / source.name, horizontal=True, vertical=True).ok


def mido_mirror(source, out_dir):
    """A straightforward Horizontal and Vertical Reverse with mido: all tracks
    merged on absolute ticks; a key sounds from its note on to its next note
    on or note off (or the end); each melodic channel's notes reflected about
    the C at or below the middle of its range and raised an octave (channel
    10 is left alone); every note and every other message moved to its
    mirrored tick; tempo and program changes moved to the start of the
    stretch they governed, so every passage keeps its tempo and program;
    written as format 0."""
    import mido

    song = mido.MidiFile(source, clip=True)
    events, end = [], 0
    for track in song.tracks:
        tick = 0
        for message in track:
            tick += message.time
            end = max(end, tick)
            if message.type != "end_of_track":
                events.append((tick, message))
    events.sort(key=lambda item: item[0])

    lowest, highest = {}, {}
    for _, m in events:
        if m.type in ("note_on", "note_off"):
            lowest[m.channel] = min(lowest.get(m.channel, 127), m.note)
            highest[m.channel] = max(highest.get(m.channel, 0), m.note)

    def reflect(channel, note):
        if channel == 9:
            return note
        centre = (lowest[channel] + highest[channel]) // 2 // 12 * 12
        note = 2 * centre - note + 12
        return min(max(note, 0), 127)

    out, sounding, state_changes = [], {}, {}

    def end_note(key, tick):
        start, velocity = sounding.pop(key)
        note = reflect(key[0], key[1])
        out.append((end - tick, 1, mido.Message("note_on", channel=key[0], note=note, velocity=velocity)))
        out.append((end - start, 0, mido.Message("note_off", channel=key[0], note=note)))

    for tick, m in events:
        key = (getattr(m, "channel", None), getattr(m, "note", None))
        if m.type in ("note_on", "note_off") and key in sounding:
            end_note(key, tick)  # a note on of a sounding key ends it too
        if m.type == "note_on" and m.velocity > 0:
            sounding[key] = (tick, m.velocity)
        elif m.type in ("set_tempo", "program_change"):
            state_changes.setdefault((m.type, getattr(m, "channel", None)), []).append((tick, m))
        elif m.type not in ("note_on", "note_off"):
            out.append((end - tick, 1, m))
    for key in list(sounding):
        end_note(key, end)
    for changes in state_changes.values():
        for i, (tick, m) in enumerate(changes):
            stretch_end = changes[i + 1][0] if i + 1 < len(changes) else end
            out.append((end - stretch_end, 0, m))
    out.sort(key=lambda item: (item[0], item[1]))

    track, last = mido.MidiTrack(), 0
    for tick, _, m in out:
        track.append(m.copy(time=tick - last))
        last = tick
    track.append(mido.MetaMessage("end_of_track", time=end - last))
    mirrored = mido.MidiFile(type=0, ticks_per_beat=song.ticks_per_beat)
    mirrored.tracks.append(track)
    mirrored.save(out_dir / source.name)
    return True


def timed(run):
    """(wall seconds, CPU seconds of this process and its children, files written)."""
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    wall, cpu = time.perf_counter(), time.process_time()
    written = run()
    wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu += (after.ru_utime - children.ru_utime) + (after.ru_stime - children.ru_stime)
    return wall, cpu, written


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("corpus", nargs="?", type=pathlib.Path, default=REPO.parent / "shared" / "corpus")
    parser.add_argument("--cli", type=pathlib.Path, default=REPO / "build" / "cli" / "rovanta-cli")
    parser.add_argument("-r", "--repetitions", type=int, default=7)
    parser.add_argument("--copies", type=int, default=5, help="times the corpus is taken in one batch")
    args = parser.parse_args()
    corpus = sorted(p for p in args.corpus.iterdir() if p.suffix.lower() in MIDI_SUFFIXES)
    if not corpus:
        sys.exit(f"no MIDI files in {args.corpus}")
    scratch = tempfile.TemporaryDirectory()
    batch = pathlib.Path(scratch.name, "batch")
    batch.mkdir()
    files = []
    for copy in range(args.copies):
        for source in corpus:
            files.append(batch / f"{copy}-{source.name}")
            files[-1].symlink_to(source.resolve())

    def serially(mirror, out_dir):
        return sum(1 for source in files if mirror(source, out_dir))

    def on_threads(count, mirror, out_dir):
        with concurrent.futures.ThreadPoolExecutor(count) as pool:
            return sum(pool.map(lambda source: mirror(source, out_dir), files))

    def cli(out_dir):
        subprocess.run([str(args.cli), "mirror", "-H", "-V", *map(str, files), "--out-dir", str(out_dir), "-j", "2"],
                       stderr=subprocess.DEVNULL, check=False)
        return sum(1 for source in files if (out_dir / source.name).exists())

    def plain_mido(out_dir):
        written = 0
        for source in files[:len(corpus)]:
            try:
                written += mido_mirror(source, out_dir)
            except Exception:  # mido refuses a few files of the corpus (key signatures it cannot name)
                pass
        return written

    ways = {
        "module, 1 thread": lambda out: serially(module_mirror, out),
        "module, 2 threads": lambda out: on_threads(2, module_mirror, out),
        "mirror_file, 2 threads": lambda out: on_threads(2, module_mirror_file, out),
        "rovanta-cli mirror --out-dir -j 2": cli,
        "mido (plain H+V mirror), 1 thread": plain_mido,
    }
    times = {name: [] for name in ways}
    with scratch:
        for repetition in range(args.repetitions):
            order = list(ways.items())
            order = order[repetition % len(order):] + order[:repetition % len(order)]
            for number, (name, run) in enumerate(order):
                out_dir = pathlib.Path(scratch.name, f"out-{repetition}-{number}")
                out_dir.mkdir()
                times[name].append(timed(lambda: run(out_dir)))

    print(f"{len(files)} files a batch ({len(corpus)} from {args.corpus}, {args.copies} times), "
          f"{args.repetitions} repetitions, medians")
    print(f"{'way':36} {'written':>9} {'wall s':>7} {'files/s':>9} {'CPU s':>8} {'CPU ms/file':>12}")
    for name, runs in times.items():
        count = len(corpus) if name.startswith("mido") else len(files)
        wall = statistics.median(r[0] for r in runs)
        cpu = statistics.median(r[1] for r in runs)
        written = runs[-1][2]
        print(f"{name:36} {written:>4}/{count:<4} {wall:>7.3f} {count / wall:>9.1f} {cpu:>8.3f} {1000 * cpu / count:>12.2f}")


if __name__ == "__main__":
    main()
