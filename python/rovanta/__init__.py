"""Mirror Standard MIDI Files (format 0 or 1): backwards in time, upside down
in pitch, or both.

Horizontal Reverse plays the piece backwards while every note and every
passage stays intact; Vertical Reverse reflects the pitches of each melodic
channel (drums stay as they are), raised by an octave unless told otherwise.
The result is a format-0 file.

Every call runs the same Load and Save as ``rovanta-cli mirror``, with a fresh
run state of its own, and gives the same bytes and the same report lines. The
work runs without the interpreter's lock, so threads mirror files in parallel.

    >>> import rovanta
    >>> with open("song.mid", "rb") as f:
    ...     result = rovanta.mirror(f.read(), horizontal=True, vertical=True)
    >>> result.ok, result.reports
    (True, [])
"""

import struct
import threading

from ._rovanta import __version__
from ._rovanta import mirror_bytes as _mirror_bytes
from ._rovanta import mirror_file as _mirror_file
from ._rovanta import note_rows as _note_rows

__all__ = ["Result", "NoteList", "mirror", "mirror_file", "notes", "__version__"]

# How a file given as bytes is named in a report line about the file.
_BYTES_NAME = "<bytes>"


class Result:
    """What one mirror call gave.

    data: the saved format-0 file as bytes, or None when nothing was written
        (mirror_file writes to its out_path and leaves this None).
    reports: the report lines in the order raised, exactly as
        ``rovanta-cli mirror`` prints them on stderr; a report about a file
        is followed by a line indented by two blanks naming the file and the
        reason.
    ok: True when the mirror image was made (and, for mirror_file, written).
    """

    __slots__ = ("data", "reports", "ok")

    def __init__(self, data, reports, ok):
        self.data = data
        self.reports = reports
        self.ok = ok

    def __repr__(self):
        size = "no data" if self.data is None else f"{len(self.data)} bytes"
        return f"<rovanta.Result ok={self.ok}, {size}, {len(self.reports)} reports>"


def mirror(data, *, horizontal=False, vertical=False, raise_octave=True, controls="instants",
           axis=None, diatonic=None, trim=False, name=_BYTES_NAME):
    """Mirror a whole Standard MIDI File given as bytes; return a Result.

    data: the file's bytes (bytes, bytearray or any contiguous buffer).
    horizontal: Horizontal Reverse, the piece played backwards.
    vertical: Vertical Reverse, each melodic channel's pitches reflected.
    raise_octave: with vertical, raise the reflected notes by an octave.
    controls: with horizontal, "instants" moves each controller change to its
        mirrored instant; "curves" mirrors pedals, controllers, pitch bend and
        pressure as curves.
    axis: with vertical, reflect every melodic channel about this pitch
        instead of the C at or below the middle of each channel's range: a
        note name ("E4", "Bb3"), a note number (64 or "64") or a half step
        between two ("64.5").
    diatonic: with vertical, None inverts by half steps; True inverts within
        the song's key (its first key signature, else C major); a key name
        ("Am", "Bb", "F#m") inverts within that key.
    trim: start the result at the measure of its first note.
    name: how report lines name the file (only a file that is no MIDI file
        is named).

    The same bytes and reports as ``rovanta-cli mirror`` with the matching
    options on the same file. A file that cannot be mirrored (not MIDI,
    damaged beyond use) gives ok False and says why in reports; wrong
    argument types raise TypeError, values that name nothing ValueError.
    """
    return Result(*_mirror_bytes(data, name, horizontal, vertical, raise_octave, controls, axis, diatonic,
                                 trim))


def mirror_file(path, out_path, *, horizontal=False, vertical=False, raise_octave=True,
                controls="instants", axis=None, diatonic=None, trim=False):
    """Mirror the file at path into out_path; return a Result.

    ``rovanta-cli mirror IN -o OUT`` as a call: the same file is written and
    reports holds the same lines, file lines included (for example a line
    "  out/x.mid: No such file or directory" after the report it explains).
    ok tells whether out_path was written; data stays None. An out_path that
    is the input itself (under any name) raises ValueError. The options are
    those of mirror().
    """
    return Result(*_mirror_file(path, out_path, horizontal, vertical, raise_octave, controls, axis, diatonic,
                                trim))


class NoteList(list):
    """The notes as (start_tick, duration, channel, key, velocity) tuples,
    with the song's division, tempo_map, reports and ok as attributes."""


_NOTE_FIELDS = ("start", "duration", "channel", "key", "velocity")
_NOTE_ATTRIBUTES = ("division", "tempo_map", "reports", "ok")
_NOTE_ROW = struct.Struct("=qiBBBx")  # python/Runs.h: NoteRow
_note_array = None
_note_array_lock = threading.Lock()


def _note_array_type(numpy):
    global _note_array
    with _note_array_lock:
        if _note_array is None:
            class NoteArray(numpy.ndarray):
                """A structured array of notes (start, duration, channel, key,
                velocity) with the song's division, tempo_map, reports and ok
                as attributes; views and slices keep them."""

                def __array_finalize__(self, obj):
                    for attribute in _NOTE_ATTRIBUTES:
                        setattr(self, attribute, getattr(obj, attribute, None))

            NoteArray.dtype_of_rows = numpy.dtype({
                "names": list(_NOTE_FIELDS),
                "formats": ["=i8", "=i4", "u1", "u1", "u1"],
                "offsets": [0, 8, 12, 13, 14],
                "itemsize": _NOTE_ROW.size,
            })
            NoteArray.__module__ = __name__
            NoteArray.__qualname__ = "NoteArray"
            _note_array = NoteArray
        return _note_array


def notes(data, *, horizontal=False, vertical=False, raise_octave=True, controls="instants", axis=None,
          diatonic=None, trim=False, name=_BYTES_NAME):
    """The notes of the song in data, or of its mirror when a reversal is asked.

    Each note is (start_tick, duration, channel, key, velocity), in the
    song's order, as playback hears them: without horizontal and vertical
    the loaded song, otherwise the mirrored copy that playing it would play.
    With NumPy installed the result is a structured array with the fields
    start, duration, channel, key and velocity; without it, a NoteList.
    Either carries these attributes:

    division: ticks per quarter note (None when nothing was loaded).
    tempo_map: every tempo change as (tick, microseconds per quarter note).
    reports: the report lines raised while loading and mirroring.
    ok: True when a song was loaded.

    The options are those of mirror().
    """
    rows, division, tempo_map, reports, ok = _note_rows(data, name, horizontal, vertical, raise_octave,
                                                        controls, axis, diatonic, trim)
    try:
        import numpy
    except ImportError:
        numpy = None
    if numpy is not None:
        kind = _note_array_type(numpy)
        result = numpy.frombuffer(rows, dtype=kind.dtype_of_rows).view(kind)
    else:
        result = NoteList(_NOTE_ROW.iter_unpack(rows))
    result.division = division
    result.tempo_map = tempo_map
    result.reports = reports
    result.ok = ok
    return result
