#!/usr/bin/env python3
"""Writes the hand-made seed files of the load fuzzer into fuzz/corpus/.

Each seed is small and shows one thing a real file does (running status,
system exclusive, metas, several tracks) or one way a file can be broken
(a chunk longer than the file, events cut off, a 128-byte prefix), so the
fuzzer starts from inputs that already reach deep into the reader.

    tools/make-fuzz-seeds.py [OUTPUT_DIR]

The output is the same on every run; the files are committed with the script.
"""

import pathlib
import struct
import sys


def vlq(value):
    """A variable-length quantity, most significant group first."""
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append((value & 0x7F) | 0x80)
        value >>= 7
    return bytes(reversed(groups))


def header(fmt, tracks, division):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, tracks, division)


def chunk(events, chunk_id=b"MTrk", length=None):
    """A track chunk; `length` overrides the stored length to break it."""
    body = b"".join(events)
    stored = len(body) if length is None else length
    return chunk_id + struct.pack(">I", stored) + body


def ev(delta, *data):
    return vlq(delta) + bytes(data)


def meta(delta, meta_type, payload):
    return vlq(delta) + bytes([0xFF, meta_type]) + vlq(len(payload)) + payload


def sysex(delta, body):
    """An F0 message; `body` ends with F7 like the message on the wire."""
    return vlq(delta) + b"\xF0" + vlq(len(body)) + body


END = meta(0, 0x2F, b"")
TEMPO_120 = meta(0, 0x51, (500000).to_bytes(3, "big"))
FOUR_FOUR = meta(0, 0x58, bytes([4, 2, 24, 8]))
GM_ON = sysex(0, bytes([0x7E, 0x7F, 0x09, 0x01, 0xF7]))
MASTER_VOLUME = sysex(0, bytes([0x7F, 0x7F, 0x04, 0x01, 0x00, 0x64, 0xF7]))
GS_DRUM_PART = sysex(0, bytes([0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x0F, 0xF7]))


def melody(channel, notes, step=96, start_delta=0):
    """Notes one after another under running status; note-on velocity 0 ends each."""
    events = []
    status = 0x90 | channel
    first = True
    delta = start_delta
    for note in notes:
        if first:
            events.append(ev(delta, status, note, 100))
            first = False
        else:
            events.append(ev(delta, note, 100))  # running status
        events.append(ev(step, note, 0))  # note off as note on with velocity 0
        delta = 0
    return events


def format0_song():
    events = [
        meta(0, 0x03, b"Seed song"),
        meta(0, 0x01, b"format 0, running status"),
        TEMPO_120,
        FOUR_FOUR,
        meta(0, 0x59, bytes([0xFE, 0x00])),  # key signature
        GM_ON,
        MASTER_VOLUME,
        ev(0, 0xC0, 5),
        ev(0, 0xB0, 7, 100),
        ev(0, 10, 64),  # running status on the controller
        ev(0, 0xC9, 0),
    ]
    events += melody(0, [60, 62, 64, 65, 67])
    events += [
        ev(0, 0x99, 36, 90),  # drums, running status, note off as 0x89
        ev(48, 42, 80),
        ev(48, 0x89, 36, 64),
        ev(0, 42, 64),
        ev(0, 0xE0, 0x00, 0x50),  # pitch bend
        ev(24, 0x00, 0x40),
        ev(0, 0xA0, 60, 30),  # polyphonic pressure
        ev(0, 0xD0, 40),  # channel pressure
        meta(0, 0x05, b"la"),  # lyric
        meta(0, 0x51, (400000).to_bytes(3, "big")),  # tempo change
    ]
    events += melody(0, [72, 71], step=48)
    events.append(END)
    return header(0, 1, 96) + chunk(events)


def format1_song():
    conductor = [
        meta(0, 0x03, b"Conductor"),
        TEMPO_120,
        FOUR_FOUR,
        meta(384, 0x58, bytes([3, 2, 24, 8])),
        meta(0, 0x51, (600000).to_bytes(3, "big")),
        END,
    ]
    piano = [meta(0, 0x03, b"Piano"), ev(0, 0xC1, 0), ev(0, 0xB1, 7, 90)]
    piano += melody(1, [60, 64, 67, 72], step=120)
    piano.append(END)
    strings = [meta(0, 0x03, b"Strings"), GS_DRUM_PART, ev(0, 0x92, 48, 70)]
    # Running status survives a meta event between two notes.
    strings += [meta(0, 0x01, b"between"), ev(240, 48, 0), ev(0, 55, 70), ev(240, 55, 0)]
    strings += [ev(0, 0xF7, 3, 0xF0, 0x43, 0xF7)]  # escape
    strings.append(END)
    return header(1, 3, 480) + chunk(conductor) + chunk(piano) + chunk(strings)


def format1_karaoke():
    """A karaoke chunk read like a track, and metas the reader repairs or drops."""
    words = [meta(0, 0x01, b"@KMIDI KARAOKE FILE"), meta(0, 0x05, b"Twin"), meta(96, 0x05, b"kle"), END]
    odd = [
        meta(0, 0x51, b"\x00\x00\x00"),  # tempo 0
        meta(0, 0x58, bytes([3, 0, 24, 8])),  # denominator exponent 0
        meta(0, 0x09, b"device"),  # becomes an instrument name
        meta(10, 0x21, b"\x00"),  # port: dropped, its time moves on
        meta(0, 0x03, b""),  # empty name
        meta(0, 0x00, b"\x00\x01"),
        meta(0, 0x20, b"\x00"),
        meta(0, 0x54, bytes([0x60, 0, 0, 0, 0])),
        meta(0, 0x7F, b"\x00\x00\x41\x01"),
        ev(0, 0x93, 0x80, 100),  # a note number beyond 127
        ev(0, 0xC3, 0x80),  # a program beyond 127
        ev(30, 0x83, 0, 0),
        END,
    ]
    return header(1, 2, 96) + chunk(words, b"XFKM") + chunk(odd)


def truncated_chunk():
    """The second chunk claims more bytes than the file holds."""
    good = [TEMPO_120] + melody(0, [60, 62]) + [END]
    cut = chunk([ev(0, 0x90, 60, 100), ev(96, 60, 0), END], length=4000)
    return header(1, 2, 96) + chunk(good) + cut


def truncated_events():
    """A well-sized chunk whose last events run past its end."""
    events = melody(0, [60, 62]) + [
        vlq(0) + b"\xFF\x01\x7F" + b"cut off",  # text longer than the chunk
    ]
    body = b"".join(events)
    tail = b"\x81\x82\x83"  # a delta time whose continuation bytes reach the end
    return header(0, 1, 96) + b"MTrk" + struct.pack(">I", len(body) + len(tail)) + body + tail


def sysex_unterminated():
    """A system-exclusive message without its closing F7, then running status after it."""
    events = [ev(0, 0x90, 60, 100), sysex(0, bytes([0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7])), ev(5, 0x10)]
    body = b"".join(events) + vlq(0) + bytes([0xF0, 0x05, 0x41, 0x10, 0x42])
    return header(0, 1, 480) + b"MTrk" + struct.pack(">I", len(body)) + body


def prefixed(song):
    """A 128-byte block before the header, as some old systems attached."""
    prefix = bytearray(128)
    prefix[1:10] = b"seed.mid "
    return bytes(prefix) + song


SEEDS = {
    "format0-running-status.mid": format0_song,
    "format1-three-tracks.mid": format1_song,
    "format1-karaoke-odd-metas.mid": format1_karaoke,
    "format1-truncated-chunk.mid": truncated_chunk,
    "format0-truncated-events.mid": truncated_events,
    "format0-unterminated-sysex.mid": sysex_unterminated,
    "prefix128-format0.mid": lambda: prefixed(format0_song()),
    "prefix128-format1.mid": lambda: prefixed(format1_song()),
}


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "fuzz" / "corpus"
    out.mkdir(parents=True, exist_ok=True)
    for name, make in SEEDS.items():
        data = make()
        (out / name).write_bytes(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
