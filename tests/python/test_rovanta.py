"""The Python module rovanta: the command line's expected results byte for
byte, threads, bad input, files read back with mido, notes() on a song worked
out by hand, and the install folder.

Run by ctest (python_module) with PYTHONPATH=build/python; ROVANTA_CLI names
the command-line tool the module is compared with, ROVANTA_BUILD_DIR the build
to install from. The shared corpus (ROVANTA_SHARED_DIR, ../shared beside the
repository) widens the byte-identity test when it is there.
"""

import concurrent.futures
import io
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

import rovanta

REPO = pathlib.Path(__file__).resolve().parents[2]
DATA = pathlib.Path(os.environ.get("ROVANTA_TEST_DATA", REPO / "tests" / "data"))
SHARED = pathlib.Path(os.environ.get("ROVANTA_SHARED_DIR", REPO.parent / "shared"))
CLI = os.environ.get("ROVANTA_CLI")
BUILD = os.environ.get("ROVANTA_BUILD_DIR")

# The settings of EXPECTED.tsv: keywords of mirror() and the command line's flags.
SETTINGS = {
    "none": ({}, []),
    "H": ({"horizontal": True}, ["-H"]),
    "V": ({"vertical": True}, ["-V"]),
    "HV": ({"horizontal": True, "vertical": True}, ["-H", "-V"]),
    "V-no-octave": ({"vertical": True, "raise_octave": False}, ["-V", "--no-octave"]),
}


def expected_rows(expected_dir):
    """(file, setting, exit status, written, report lines) per row of EXPECTED.tsv."""
    lines = (expected_dir / "EXPECTED.tsv").read_text(encoding="utf-8").splitlines()
    for line in lines[1:]:
        file, setting, status, written, reports = (line.split("\t") + [""])[:5]
        yield file, setting, int(status), written == "yes", reports.split(" | ") if reports else []


def report_lines(lines):
    """The report lines without the detail lines, as EXPECTED.tsv holds them."""
    return [line for line in lines if not line.startswith("  ")]


def run_cli(args, cwd=None):
    """Exit status and stderr lines of rovanta-cli mirror."""
    done = subprocess.run([CLI, "mirror", *args], cwd=cwd, capture_output=True)
    return done.returncode, os.fsdecode(done.stderr).splitlines()


def tiny_song(rest=0, first=b""):
    """Format 0, 96 ticks a quarter, ending at tick 192: tempo 500,000 at 0
    and 400,000 at 96; channel 0 plays C4 (60) from 0 to 96 at velocity 100
    and E4 (64) from 96 to 192 at 80; drum channel 9 plays 36 from 0 to 48
    at 120. With a rest (below 16,384 ticks), everything after the first
    tempo comes that much later; `first` are events put in front."""
    delay = bytes([0x80 | rest >> 7, rest & 0x7F]) if rest >= 0x80 else bytes([rest])
    track = first + bytes.fromhex("00FF510307A120") + delay + bytes.fromhex(
        "903C64" "00992478" "30892440" "30803C40"
        "00904050" "00FF5103061A80" "60804040" "00FF2F00")
    return b"MThd" + bytes.fromhex("000000060000000100" "60") + b"MTrk" + len(track).to_bytes(4, "big") + track


class ByteIdentity(unittest.TestCase):
    """Every file and setting of EXPECTED.tsv: the same bytes and report lines."""

    def check_set(self, corpus, expected_dir):
        rows = list(expected_rows(expected_dir))
        self.assertGreater(len(rows), 0)
        for file, setting, status, written, reports in rows:
            with self.subTest(file=file, setting=setting):
                result = rovanta.mirror((corpus / file).read_bytes(), name=file, **SETTINGS[setting][0])
                self.assertEqual(report_lines(result.reports), reports)
                self.assertEqual(result.ok, status == 0)
                self.assertEqual(result.ok, written)
                if written:
                    self.assertEqual(result.data, (expected_dir / f"{file}.{setting}.mid").read_bytes())
                else:
                    self.assertIsNone(result.data)

    def test_bundled_files(self):
        self.check_set(DATA, DATA / "expected")

    def test_shared_corpus(self):
        if not (SHARED / "expected" / "EXPECTED.tsv").is_file() or not (SHARED / "corpus").is_dir():
            self.skipTest(f"shared: skipped, no expected results at {SHARED / 'expected'}")
        self.check_set(SHARED / "corpus", SHARED / "expected")

    def test_mirror_file_writes_the_expected_files(self):
        with tempfile.TemporaryDirectory() as out:
            for file, setting, status, written, reports in expected_rows(DATA / "expected"):
                with self.subTest(file=file, setting=setting):
                    target = pathlib.Path(out, f"{file}.{setting}.mid")
                    result = rovanta.mirror_file(DATA / file, target, **SETTINGS[setting][0])
                    self.assertEqual((report_lines(result.reports), result.ok), (reports, status == 0))
                    self.assertIsNone(result.data)
                    self.assertEqual(target.is_file(), written)
                    if written:
                        self.assertEqual(target.read_bytes(), (DATA / "expected" / f"{file}.{setting}.mid").read_bytes())


@unittest.skipUnless(CLI, "ROVANTA_CLI does not name rovanta-cli")
class SameAsTheCommandLine(unittest.TestCase):
    """What EXPECTED.tsv does not cover, against rovanta-cli on the same input."""

    # The musical options: each row changes the output of at least one file.
    OPTIONS = [
        ({"horizontal": True, "controls": "curves"}, ["-H", "--controls", "curves"]),
        ({"vertical": True, "axis": "E4"}, ["-V", "--axis", "E4"]),
        ({"vertical": True, "axis": 64, "raise_octave": False}, ["-V", "--axis", "64", "--no-octave"]),
        ({"vertical": True, "axis": "64.5"}, ["-V", "--axis", "64.5"]),
        ({"vertical": True, "diatonic": True}, ["-V", "--diatonic"]),
        ({"vertical": True, "diatonic": "C"}, ["-V", "--diatonic=C"]),
        ({"vertical": True, "diatonic": "F#m"}, ["-V", "--diatonic=F#m"]),
        ({"vertical": True, "trim": True}, ["-V", "--trim"]),
    ]

    # Damaged and foreign input, by name: the bytes and how the CLI sees them.
    real = (DATA / "mma--lullaby2.mid").read_bytes()
    BAD_FILES = {
        "empty.mid": b"",
        "text.mid": b"not a MIDI file at all\n",
        "header-only.mid": real[:14],
        "cut-in-header.mid": real[:9],
        "cut-in-track.mid": real[: len(real) // 2],
        "huge-chunk.mid": real[:14] + b"MTrk\xff\xff\xff\xf0" + bytes.fromhex("00903C64 60803C40 00FF2F00"),
        "huge-header.mid": b"MThd\xff\xff\xff\xff" + real[8:],
        "over-the-limit.mid": real[:14] + b"MTrk" + (1 << 20).to_bytes(4, "big") + bytes(1 << 20),
    }

    def cli_result(self, folder, source, flags):
        out = pathlib.Path(folder, "cli-out.mid")
        out.unlink(missing_ok=True)
        status, lines = run_cli([*flags, str(source), "-o", str(out)])
        return status, lines, out.read_bytes() if out.exists() else None

    def test_musical_options(self):
        with tempfile.TemporaryDirectory() as folder:
            # Two empty measures to trim, in E major (no bundled file names a key but C).
            late = pathlib.Path(folder, "late-in-e.mid")
            late.write_bytes(tiny_song(rest=2 * 4 * 96, first=bytes.fromhex("00FF59020400")))
            for keywords, flags in self.OPTIONS:
                changed = False
                for source in [*sorted(DATA.glob("*.mid")), late]:
                    with self.subTest(file=source.name, flags=flags):
                        status, lines, data = self.cli_result(folder, source, flags)
                        result = rovanta.mirror(source.read_bytes(), name=str(source), **keywords)
                        self.assertEqual((result.data, result.reports, result.ok), (data, lines, status == 0))
                        plain = {k: v for k, v in keywords.items() if k in ("horizontal", "vertical", "raise_octave")}
                        changed = changed or result.data != rovanta.mirror(source.read_bytes(), **plain).data
                self.assertTrue(changed, f"{flags} changed no output")

    def test_bad_input_reports_as_the_command_line_does(self):
        with tempfile.TemporaryDirectory() as folder:
            for name, data in self.BAD_FILES.items():
                source = pathlib.Path(folder, name)
                source.write_bytes(data)
                for setting, (keywords, flags) in SETTINGS.items():
                    with self.subTest(file=name, setting=setting):
                        status, lines, written = self.cli_result(folder, source, flags)
                        result = rovanta.mirror(data, name=str(source), **keywords)
                        self.assertEqual((result.data, result.reports, result.ok), (written, lines, status == 0))

    def test_notes_as_dump_shows_them(self):
        """notes() reads the song `rovanta-cli dump` prints, with the same
        reports; a long system exclusive reports again wherever a copy of the
        song is released, but the loaded song goes quietly."""
        long_sysex = b"\xf0\x82\x2c" + bytes([0x43] * 299) + b"\xf7"
        track = b"\x00" + long_sysex + bytes.fromhex("00903C64" "60803C40" "00FF2F00")
        with tempfile.TemporaryDirectory() as folder:
            long_song = pathlib.Path(folder, "long.mid")
            long_song.write_bytes(tiny_song()[:14] + b"MTrk" + len(track).to_bytes(4, "big") + track)
            for source in [long_song, DATA / "mma--lullaby2.mid", DATA / "mma--midivolume.mid"]:
                for setting in ("none", "H", "V"):
                    keywords, flags = SETTINGS[setting]
                    with self.subTest(file=source.name, setting=setting):
                        done = subprocess.run([CLI, "dump", *flags, str(source)], capture_output=True, text=True)
                        result = rovanta.notes(source.read_bytes(), **keywords)
                        self.assertEqual(result.reports, done.stderr.splitlines())
                        if setting != "none":
                            continue  # dump shows the mirror as note ons and offs
                        notes, tempos = [], []
                        for line in done.stdout.splitlines()[1:]:
                            fields = dict(field.split("=", 1) for field in line.split() if "=" in field)
                            if " paired " in line:
                                notes.append(tuple(int(fields[k]) for k in ("tick", "dur", "ch", "note", "vel")))
                            elif " type=0x51 " in line:
                                tempos.append((int(fields["tick"]), int(fields["tempo"])))
                        self.assertGreater(len(notes), 0)
                        self.assertEqual([tuple(int(v) for v in note) for note in result], notes)
                        self.assertEqual(result.tempo_map, tempos)

    def test_file_lines_of_mirror_file(self):
        with tempfile.TemporaryDirectory() as folder:
            song = pathlib.Path(folder, "song.mid")
            song.write_bytes(tiny_song())
            text = pathlib.Path(folder, "text.mid")
            text.write_bytes(b"plain text")
            missing = pathlib.Path(folder, "missing.mid")
            cases = [  # input, output, the detail line that must be among the reports
                (missing, pathlib.Path(folder, "a.mid"), f"  {missing}: No such file or directory"),
                (song, pathlib.Path(folder, "no-folder", "b.mid"), f"  {folder}/no-folder/b.mid: No such file or directory"),
                (song, pathlib.Path(folder), f"  {folder}: Is a directory"),
                (text, pathlib.Path(folder, "c.mid"), f"  {text}: not a Standard MIDI File"),
            ]
            for source, target, detail in cases:
                with self.subTest(input=source.name, output=str(target)):
                    status, lines = run_cli(["-H", str(source), "-o", str(target)])
                    result = rovanta.mirror_file(str(source), str(target), horizontal=True)
                    self.assertIn(detail, result.reports)
                    self.assertEqual((result.reports, result.ok), (lines, status == 0))
                    self.assertFalse(result.ok)

    def test_output_that_is_the_input_is_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            song = pathlib.Path(folder, "song.mid")
            song.write_bytes(tiny_song())
            os.symlink(song, pathlib.Path(folder, "link.mid"))
            other_names = (song, pathlib.Path(folder, "link.mid"), f"{folder}/./song.mid",
                           f"{folder}/../{pathlib.Path(folder).name}/song.mid")
            for output in other_names:
                with self.subTest(output=str(output)), self.assertRaises(ValueError):
                    rovanta.mirror_file(song, output, vertical=True)
            self.assertEqual(song.read_bytes(), tiny_song())


class Arguments(unittest.TestCase):
    def test_wrong_types_and_values_raise(self):
        cases = [
            (TypeError, ("text",), {}),
            (TypeError, (None,), {}),
            (TypeError, (42,), {}),
            (TypeError, (b"",), {"horizontal": "yes"}),
            (TypeError, (b"",), {"controls": 1}),
            (TypeError, (b"",), {"axis": 64.5}),
            (TypeError, (b"",), {"axis": True}),
            (TypeError, (b"",), {"diatonic": 5}),
            (TypeError, (b"",), {"name": 3}),
            (TypeError, (b"",), {"colour": "red"}),
            (TypeError, (b"", True), {}),  # the options are keywords only
            (ValueError, (b"",), {"controls": "wobbly"}),
            (ValueError, (b"",), {"axis": "H9"}),
            (ValueError, (b"",), {"axis": 128}),
            (ValueError, (b"",), {"axis": -1}),
            (ValueError, (b"",), {"axis": ""}),
            (ValueError, (b"",), {"diatonic": "Q"}),
            (ValueError, (b"",), {"diatonic": ""}),
        ]
        for call in (rovanta.mirror, rovanta.notes):
            for error, args, keywords in cases:
                with self.subTest(call=call.__name__, args=args, keywords=keywords), self.assertRaises(error):
                    call(*args, **keywords)
        with self.assertRaises(TypeError):
            rovanta.mirror_file(3, "out.mid")

    def test_any_contiguous_buffer_is_taken_as_bytes(self):
        song = tiny_song()
        expected = rovanta.mirror(song, horizontal=True).data
        self.assertIsNotNone(expected)
        for data in (bytearray(song), memoryview(song), memoryview(b"xx" + song)[2:]):
            with self.subTest(kind=type(data).__name__):
                self.assertEqual(rovanta.mirror(data, horizontal=True).data, expected)

    def test_what_is_no_midi_file_is_named_in_the_detail_line(self):
        expected = ["MDLD17000002 This is not a Midi file!", "  <bytes>: not a Standard MIDI File"]
        for data in (b"", b"RIFF....WAVE"):
            result = rovanta.mirror(data, horizontal=True)
            self.assertEqual((result.ok, result.data, result.reports), (False, None, expected))
        self.assertEqual(rovanta.mirror(b"", name="x.mid").reports[1], "  x.mid: not a Standard MIDI File")


class Threads(unittest.TestCase):
    def test_threads_at_once_give_what_one_thread_gives(self):
        jobs = [(path.read_bytes(), keywords) for path in sorted(DATA.glob("*.mid")) for keywords, _ in SETTINGS.values()]
        jobs += [(b"junk", {}), (tiny_song()[:30], {"horizontal": True})]

        def run(job):
            result = rovanta.mirror(job[0], **job[1])
            return result.data, result.reports, result.ok

        alone = [run(job) for job in jobs]
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            for round_ in range(3):
                self.assertEqual(list(pool.map(run, jobs)), alone, f"round {round_}")


class ReadBack(unittest.TestCase):
    def test_mido_reads_every_output(self):
        try:
            import mido
        except ImportError:
            self.skipTest("mido is not installed (python3-mido)")
        sets = [(DATA, DATA / "expected")]
        if (SHARED / "expected" / "EXPECTED.tsv").is_file():
            sets.append((SHARED / "corpus", SHARED / "expected"))
        else:
            print(f"\nshared: skipped, no expected results at {SHARED / 'expected'}", file=sys.stderr)
        # mido refuses a few inputs as they are (a key signature of mode 255, say),
        # and the writer keeps what they hold: such an output must fail the same way.
        # Data bytes above 127 (kept from the input as well) are clipped.
        def refusal(data):
            try:
                return mido.MidiFile(file=io.BytesIO(data), clip=True), None
            except Exception as error:  # mido raises several kinds
                return None, type(error)

        for corpus, expected_dir in sets:
            for file, setting, _, written, _ in expected_rows(expected_dir):
                if not written:
                    continue
                with self.subTest(file=file, setting=setting):
                    source = (corpus / file).read_bytes()
                    song, error = refusal(rovanta.mirror(source, **SETTINGS[setting][0]).data)
                    if error is not None:
                        self.assertEqual(refusal(source)[1], error)
                        continue
                    self.assertEqual((song.type, len(song.tracks)), (0, 1))
                    self.assertEqual(song.tracks[0][-1].type, "end_of_track")


class Notes(unittest.TestCase):
    """tiny_song() under each setting, worked out by hand. Vertical Reverse
    reflects channel 0 (range 60 to 64, middle 62) about C4 (60): 64 -> 56,
    then +12. Horizontal Reverse maps a note (start, duration) to (192 -
    start - duration, duration); the passage 96-192 at 400,000 comes first."""

    FORWARD = [(0, 500000), (96, 400000)]
    BACKWARD = [(0, 400000), (96, 500000)]
    CASES = [
        ({}, [(0, 48, 9, 36, 120), (0, 96, 0, 60, 100), (96, 96, 0, 64, 80)], FORWARD),
        ({"trim": True}, [(0, 48, 9, 36, 120), (0, 96, 0, 60, 100), (96, 96, 0, 64, 80)], FORWARD),
        ({"vertical": True, "raise_octave": False},
         [(0, 48, 9, 36, 120), (0, 96, 0, 60, 100), (96, 96, 0, 56, 80)], FORWARD),
        ({"vertical": True}, [(0, 48, 9, 36, 120), (0, 96, 0, 72, 100), (96, 96, 0, 68, 80)], FORWARD),
        ({"vertical": True, "axis": "E4", "raise_octave": False},
         [(0, 48, 9, 36, 120), (0, 96, 0, 68, 100), (96, 96, 0, 64, 80)], FORWARD),
        ({"horizontal": True}, [(0, 96, 0, 64, 80), (96, 96, 0, 60, 100), (144, 48, 9, 36, 120)], BACKWARD),
        ({"horizontal": True, "vertical": True},
         [(0, 96, 0, 68, 80), (96, 96, 0, 72, 100), (144, 48, 9, 36, 120)], BACKWARD),
    ]

    def test_tiny_song(self):
        # Two empty 4/4 measures first, trimmed: the same as without them.
        cases = [(keywords, tiny_song(), notes, tempos) for keywords, notes, tempos in self.CASES]
        cases += [({**keywords, "trim": True}, tiny_song(rest=2 * 4 * 96), notes, tempos)
                  for keywords, notes, tempos in self.CASES if keywords.get("vertical")]
        for keywords, song, notes, tempos in cases:
            with self.subTest(**keywords):
                result = rovanta.notes(song, **keywords)
                self.assertEqual(sorted(tuple(int(v) for v in note) for note in result), notes)
                self.assertEqual((result.division, result.tempo_map, result.reports, result.ok),
                                 (96, tempos, [], True))

    def test_structured_array_with_numpy(self):
        try:
            import numpy
        except ImportError:
            self.skipTest("NumPy is not installed")
        result = rovanta.notes(tiny_song(), horizontal=True)
        self.assertIsInstance(result, numpy.ndarray)
        self.assertEqual(sorted(result["start"].tolist()), [0, 96, 144])
        self.assertEqual(sorted(result["key"].tolist()), [36, 60, 64])
        self.assertEqual((result[1:].division, result[1:].tempo_map), (96, self.BACKWARD))

    def test_list_without_numpy(self):
        script = ("import sys; sys.modules['numpy'] = None; import rovanta; "
                  "n = rovanta.notes(sys.stdin.buffer.read(), vertical=True); "
                  "print(type(n).__name__, sorted(n), n.division, n.tempo_map, n.ok)")
        done = subprocess.run([sys.executable, "-c", script], input=tiny_song(), capture_output=True, check=True)
        self.assertEqual(done.stdout.decode().strip(),
                         "NoteList [(0, 48, 9, 36, 120), (0, 96, 0, 72, 100), (96, 96, 0, 68, 80)] 96 "
                         "[(0, 500000), (96, 400000)] True")

    def test_nothing_loaded(self):
        result = rovanta.notes(b"MThd")
        self.assertEqual((len(result), result.division, result.tempo_map, result.ok), (0, None, [], False))
        self.assertEqual(result.reports[0], "MDLD17000002 This is not a Midi file!")


@unittest.skipUnless(BUILD, "ROVANTA_BUILD_DIR does not name a build")
class Install(unittest.TestCase):
    def test_installed_where_python3_looks(self):
        with tempfile.TemporaryDirectory() as root:
            env = dict(os.environ, DESTDIR=root)
            subprocess.run(["cmake", "--install", BUILD, "--component", "python", "--prefix", "/usr/local"],
                           env=env, check=True, capture_output=True)
            packages = sorted(pathlib.Path(root).rglob("rovanta/__init__.py"))
            self.assertEqual(len(packages), 1)
            folder = packages[0].parent.parent
            plain = {name: value for name, value in os.environ.items() if name != "PYTHONPATH"}
            looked_in = subprocess.run([sys.executable, "-c", "import sys; print('\\n'.join(sys.path))"],
                                       capture_output=True, text=True, check=True, env=plain).stdout.split("\n")
            self.assertIn("/" + str(folder.relative_to(root)), looked_in)
            script = "import rovanta; print(rovanta.__file__, rovanta.mirror(b'').ok)"
            done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True,
                                  env={**plain, "PYTHONPATH": str(folder)}, cwd=root)
            self.assertEqual(done.stdout.strip(), f"{packages[0]} False")


if __name__ == "__main__":
    unittest.main()
