#!/usr/bin/env python3
"""Writes Standard MIDI Files of exactly 393,216 bytes, the most one track of
the product may hold, with a realistic mix of events: notes on every channel
(note offs as note ons of velocity 0, running status), controllers, pitch
bends, program changes, tempo changes, a few system-exclusive messages and
texts. The same seed gives the same bytes.

    make_large_midi.py OUT_DIR     writes large-format0.mid and large-format1.mid
"""
import random
import struct
import sys
from pathlib import Path

SIZE = 393216


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def events(rng, channels, budget):
    """Event bytes (delta included) of one track, close to `budget` bytes."""
    out = bytearray()
    running = None
    sounding = []
    tick_gap = 0

    def put(delta, status, data):
        nonlocal running
        out.extend(vlq(delta))
        if status != running or status >= 0xF0:
            out.append(status)
        out.extend(data)
        running = status if status < 0xF0 else None

    while len(out) + 4 * len(sounding) < budget - 64:
        delta = rng.choice((0, 0, 0, 5, 10, 20, 40, 120))
        r = rng.random()
        ch = rng.choice(channels)
        if r < 0.42 or not sounding:
            key = rng.randrange(36, 96) if ch != 9 else rng.choice((36, 38, 42, 46))
            put(delta, 0x90 | ch, bytes((key, rng.randrange(40, 120))))
            sounding.append((ch, key))
        elif r < 0.84:
            ch, key = sounding.pop(rng.randrange(len(sounding)))
            put(delta, 0x90 | ch, bytes((key, 0)))
        elif r < 0.92:
            put(delta, 0xB0 | ch, bytes((rng.choice((1, 7, 10, 11, 64)), rng.randrange(128))))
        elif r < 0.96:
            put(delta, 0xE0 | ch, bytes((rng.randrange(128), rng.randrange(128))))
        elif r < 0.97:
            put(delta, 0xC0 | ch, bytes((rng.randrange(128),)))
        elif r < 0.975:
            tempo = rng.randrange(300000, 900000)
            out.extend(vlq(delta) + b"\xff\x51\x03" + tempo.to_bytes(3, "big"))
            running = None
        elif r < 0.977:
            out.extend(vlq(delta) + b"\xf0\x0a\x41\x10\x42\x12\x40\x00\x7f\x00\x41\xf7")
            running = None
        else:
            tick_gap += 1
            put(delta, 0xA0 | ch, bytes((rng.randrange(36, 96), rng.randrange(128))))
    for ch, key in sounding:
        put(0, 0x90 | ch, bytes((key, 0)))
    return out


def chunk(body):
    return b"MTrk" + struct.pack(">I", len(body)) + body


def pad_to(track_bodies, header):
    """Pads the last track with texts so the whole file is exactly SIZE bytes."""
    used = len(header) + sum(8 + len(b) + 4 for b in track_bodies)
    room = SIZE - used
    if room < 0:
        sys.exit(f"the events take {used} bytes, more than {SIZE}")
    last = track_bodies[-1]
    while room > 0:
        take = min(room, 120)
        if 0 < room - take < 4:
            take -= 4
        last.extend(b"\x00\xff\x01" + bytes((take - 4,)) + b"x" * (take - 4))
        room -= take
    return [chunk(bytes(b) + b"\x00\xff\x2f\x00") for b in track_bodies]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    rng = random.Random(20261207)

    header0 = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480)
    body = events(rng, list(range(16)), SIZE - len(header0) - 12 - 200)
    (out / "large-format0.mid").write_bytes(header0 + b"".join(pad_to([body], header0)))

    header1 = b"MThd" + struct.pack(">IHHH", 6, 1, 16, 480)
    share = (SIZE - len(header1) - 16 * 12 - 400) // 16
    bodies = [events(rng, [t], share) for t in range(16)]
    (out / "large-format1.mid").write_bytes(header1 + b"".join(pad_to(bodies, header1)))

    for name in ("large-format0.mid", "large-format1.mid"):
        size = (out / name).stat().st_size
        if size != SIZE:
            sys.exit(f"{name}: {size} bytes, not {SIZE}")


if __name__ == "__main__":
    main()
