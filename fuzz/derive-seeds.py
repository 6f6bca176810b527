#!/usr/bin/env python3
"""Writes the seeds of the track-chunk and round-trip fuzz targets from the
files in fuzz/corpus/ (themselves made by tools/make-fuzz-seeds.py):

  fuzz/corpus/fuzz_track_chunk/  every track chunk's events behind a selector
                                 byte and a running status (TrackChunkPath.h)
  fuzz/corpus/fuzz_roundtrip/    every file behind settings bytes
                                 (RoundTripPath.h)

    fuzz/derive-seeds.py

The output is the same on every run; the files are committed with the script.
"""

import pathlib
import struct

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"
ALL_PASSES = 3 << 3  # selector bits 3-4
SMALL_TABLE = 4  # selector bits 0-2: 384 bytes, 128 events


def chunks(data):
    """(id, events) of every chunk after the header, as far as the file holds them."""
    at = data.find(b"MThd")
    at += 8 + struct.unpack(">I", data[at + 4:at + 8])[0]
    while at + 8 <= len(data):
        size = struct.unpack(">I", data[at + 4:at + 8])[0]
        yield data[at:at + 4], data[at + 8:at + 8 + size]
        at += 8 + size


def main():
    tracks = CORPUS / "fuzz_track_chunk"
    trips = CORPUS / "fuzz_roundtrip"
    tracks.mkdir(exist_ok=True)
    trips.mkdir(exist_ok=True)
    for source in sorted(CORPUS.glob("*.mid")):
        data = source.read_bytes()
        for n, (chunk_id, events) in enumerate(chunks(data)):
            if chunk_id != b"MTrk" or not events:
                continue
            for selector in (ALL_PASSES, ALL_PASSES | SMALL_TABLE):
                name = f"{source.stem}-track{n}-{selector:02x}"
                (tracks / name).write_bytes(bytes([selector, 0]) + events)
        # none, H, V, V without the octave; H with curves, V within the key,
        # H trimmed, V about E4, V between E4 and F4
        for settings in (0, 1, 2, 6, 9, 18, 33, 66, 130):
            (trips / f"{source.stem}-{settings}").write_bytes(bytes([settings]) + data)


if __name__ == "__main__":
    main()
