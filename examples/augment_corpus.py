#!/usr/bin/env python3
"""Augment a corpus of MIDI files with their mirror images.

    augment_corpus.py [-j N] DIR OUT_DIR

For every MIDI file under DIR (.mid, .midi, .kar, .smf, in any subfolder)
writes three versions into the same subfolder of OUT_DIR: NAME.H.mid
(Horizontal Reverse), NAME.V.mid (Vertical Reverse, an octave up) and
NAME.HV.mid (both). The files are mirrored on a pool of threads: rovanta
releases the interpreter's lock while it works, so the threads really run at
once. A progress line shows how far it got; at the end the files that could
not be mirrored and the ones with reports are listed. Exit status 1 when any
file failed.

Run from a build tree with PYTHONPATH=build/python.
"""

import argparse
import concurrent.futures
import os
import pathlib
import sys

import rovanta

VERSIONS = {
    "H": {"horizontal": True},
    "V": {"vertical": True},
    "HV": {"horizontal": True, "vertical": True},
}
MIDI_SUFFIXES = {".mid", ".midi", ".kar", ".smf"}


def midi_files(root, out_root):
    """Every MIDI file under root, outputs of an earlier run in out_root aside."""
    for path in sorted(root.rglob("*")):
        if path.suffix.lower() in MIDI_SUFFIXES and path.is_file() and out_root not in path.parents:
            yield path


def augment(source, root, out_root):
    """Writes the three versions of one file; returns (version, target or None, reports) for each."""
    try:
        data = source.read_bytes()
    except OSError as error:
        return [(version, None, [f"cannot read: {error.strerror}"]) for version in VERSIONS]
    relative = source.relative_to(root)
    folder = out_root / relative.parent
    outcomes = []
    for version, options in VERSIONS.items():
        result = rovanta.mirror(data, name=str(source), **options)
        target = None
        if result.ok:
            target = folder / f"{relative.stem}.{version}.mid"
            folder.mkdir(parents=True, exist_ok=True)
            target.write_bytes(result.data)
        outcomes.append((version, target, result.reports))
    return outcomes


def main():
    parser = argparse.ArgumentParser(description="Write the H, V and HV mirror images of every MIDI file under DIR.")
    parser.add_argument("dir", type=pathlib.Path, metavar="DIR")
    parser.add_argument("out_dir", type=pathlib.Path, metavar="OUT_DIR")
    parser.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 1, help="threads (default: one per CPU)")
    args = parser.parse_args()
    root, out_root = args.dir.resolve(), args.out_dir.resolve()
    if not root.is_dir():
        parser.error(f"{args.dir} is not a folder")

    files = list(midi_files(root, out_root))
    terminal = sys.stderr.isatty()
    written = failed = 0
    problems = []
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        futures = {pool.submit(augment, source, root, out_root): source for source in files}
        for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
            source = futures[future]
            for version, target, reports in future.result():
                written += target is not None
                failed += target is None
                if reports:
                    problems.append((source.relative_to(root), version, target is None, reports))
            line = f"[{done}/{len(files)}] {written} written, {failed} failed: {source.relative_to(root)}"
            if terminal:
                print(f"\r\033[K{line}", end="", file=sys.stderr, flush=True)
            elif done == len(files) or done % 100 == 0:
                print(line, file=sys.stderr, flush=True)
    if terminal and files:
        print(file=sys.stderr)

    for relative, version, nothing_written, reports in sorted(problems):
        state = "failed, nothing written" if nothing_written else "written with reports"
        print(f"{relative} [{version}] {state}:", file=sys.stderr)
        for line in reports:
            print(f"  {line}", file=sys.stderr)
    print(f"files: {len(files)}, versions written: {written}, failed: {failed}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
