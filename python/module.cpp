// rovanta._rovanta: the compiled half of the Python module. It turns Python
// arguments into MirrorSettings (argument errors become TypeError and
// ValueError here, and only here), runs one call of Runs.h with the
// interpreter's lock released, and hands back plain values; rovanta/__init__.py
// builds the documented API on top.

#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "mirror/Pitch.h"
#include "python/Runs.h"

namespace py = pybind11;

namespace rovanta::python {

namespace {

// Report lines are UTF-8, but a path inside one may hold any bytes: those
// come back as the lone surrogates os.fsdecode would give them.
py::list Lines(const std::vector<std::string>& lines)
{
    py::list list;
    for (const std::string& line : lines) {
        PyObject* text = PyUnicode_DecodeUTF8(line.data(), static_cast<Py_ssize_t>(line.size()), "surrogateescape");
        if (!text) throw py::error_already_set();
        list.append(py::reinterpret_steal<py::str>(text));
    }
    return list;
}

std::string TypeName(const py::handle& value)
{
    return py::str(py::type::handle_of(value).attr("__name__"));
}

std::int32_t AxisFrom(const py::handle& axis)
{
    std::string text;
    // Any integer (a NumPy one too), but not a bool: axis=True names no note.
    if (PyIndex_Check(axis.ptr()) && !py::isinstance<py::bool_>(axis))
        text = py::str(py::int_(py::reinterpret_borrow<py::object>(axis)));
    else if (py::isinstance<py::str>(axis))
        text = axis.cast<std::string>();
    else
        throw py::type_error("axis must be None, a note number or a note name, not " + TypeName(axis));
    const std::optional<std::int32_t> twiceAxis = ParseAxis(text);
    if (!twiceAxis) throw py::value_error("axis '" + text + "' is not a note (E4, Bb3, 64 or 64.5 within 0 to 127)");
    return *twiceAxis;
}

void DiatonicFrom(const py::handle& diatonic, MirrorOptions& options)
{
    if (diatonic.is_none() || diatonic.is(py::bool_(false))) return;
    options.diatonic = true;
    if (diatonic.is(py::bool_(true))) return;  // the song's key
    if (!py::isinstance<py::str>(diatonic))
        throw py::type_error("diatonic must be None, True or a key name, not " + TypeName(diatonic));
    const std::string text = diatonic.cast<std::string>();
    options.key = ParseKey(text);
    if (!options.key) throw py::value_error("diatonic '" + text + "' is not a key (C, Bb, F#m, Am)");
}

MirrorSettings Settings(bool horizontal, bool vertical, bool raiseOctave, const std::string& controls,
                        const py::object& axis, const py::object& diatonic, bool trim)
{
    MirrorSettings settings{horizontal, vertical, raiseOctave ? 1 : 0, {}};
    MirrorOptions& options = settings.options;
    if (controls == "instants")
        options.controls = ControlMirroring::kInstants;
    else if (controls == "curves")
        options.controls = ControlMirroring::kCurves;
    else
        throw py::value_error("controls must be 'instants' or 'curves', not '" + controls + "'");
    if (!axis.is_none()) options.twiceAxis = AxisFrom(axis);
    DiatonicFrom(diatonic, options);
    options.trim = trim;
    return settings;
}

// A copy of any contiguous buffer (bytes, bytearray, memoryview, ...): the
// caller's object may change while the lock is released, the copy cannot.
std::vector<std::uint8_t> BytesOf(const py::buffer& data)
{
    struct View {
        Py_buffer buffer{};
        ~View() { PyBuffer_Release(&buffer); }
    } view;
    if (PyObject_GetBuffer(data.ptr(), &view.buffer, PyBUF_SIMPLE) != 0) throw py::error_already_set();
    const auto* bytes = static_cast<const std::uint8_t*>(view.buffer.buf);
    return std::vector<std::uint8_t>(bytes, bytes + view.buffer.len);
}

py::tuple Outcome(const MirrorOutcome& outcome, bool withImage)
{
    py::object image = py::none();
    if (withImage && outcome.written)
        image = py::bytes(reinterpret_cast<const char*>(outcome.image.data()), outcome.image.size());
    return py::make_tuple(image, Lines(outcome.lines), outcome.written);
}

py::tuple MirrorBytesCall(const py::buffer& data, const std::string& name, bool horizontal, bool vertical,
                          bool raiseOctave, const std::string& controls, const py::object& axis,
                          const py::object& diatonic, bool trim)
{
    const MirrorSettings settings = Settings(horizontal, vertical, raiseOctave, controls, axis, diatonic, trim);
    const std::vector<std::uint8_t> file = BytesOf(data);
    MirrorOutcome outcome;
    {
        py::gil_scoped_release release;
        outcome = MirrorBytes(file, name, settings);
    }
    return Outcome(outcome, true);
}

py::tuple MirrorFileCall(const std::filesystem::path& input, const std::filesystem::path& output, bool horizontal,
                         bool vertical, bool raiseOctave, const std::string& controls, const py::object& axis,
                         const py::object& diatonic, bool trim)
{
    const MirrorSettings settings = Settings(horizontal, vertical, raiseOctave, controls, axis, diatonic, trim);
    // The command line refuses this as a usage error: the input would be
    // replaced by its own mirror image (also under another name).
    std::error_code ec;
    if (std::filesystem::equivalent(input, output, ec))
        throw py::value_error("'" + output.string() + "' is the input itself; it would be replaced by its own mirror image");
    MirrorOutcome outcome;
    {
        py::gil_scoped_release release;
        outcome = MirrorFile(input.string(), output.string(), settings);
    }
    return Outcome(outcome, false);
}

py::tuple NotesCall(const py::buffer& data, const std::string& name, bool horizontal, bool vertical,
                    bool raiseOctave, const std::string& controls, const py::object& axis,
                    const py::object& diatonic, bool trim)
{
    const MirrorSettings settings = Settings(horizontal, vertical, raiseOctave, controls, axis, diatonic, trim);
    const std::vector<std::uint8_t> file = BytesOf(data);
    SongNotes song;
    {
        py::gil_scoped_release release;
        song = NotesOf(file, name, settings);
    }
    // A bytearray, so that the NumPy array made over it can be written to.
    const py::bytearray rows(reinterpret_cast<const char*>(song.notes.data()), song.notes.size() * sizeof(NoteRow));
    py::list tempos;
    for (const TempoChange& t : song.tempos) tempos.append(py::make_tuple(t.tick, t.microsecondsPerQuarter));
    py::object division = song.loaded ? py::object(py::int_(song.division)) : py::none();
    return py::make_tuple(rows, division, tempos, Lines(song.lines), song.loaded);
}

}  // namespace

}  // namespace rovanta::python

PYBIND11_MODULE(_rovanta, m)
{
    using namespace rovanta::python;
    m.doc() = "The compiled half of the rovanta module; use the functions of rovanta itself.";
    m.def("mirror_bytes", &MirrorBytesCall, py::arg("data"), py::arg("name"), py::arg("horizontal"),
          py::arg("vertical"), py::arg("raise_octave"), py::arg("controls"), py::arg("axis"), py::arg("diatonic"),
          py::arg("trim"),
          "(data, name, settings...) -> (image or None, report lines, written)");
    m.def("mirror_file", &MirrorFileCall, py::arg("path"), py::arg("out_path"), py::arg("horizontal"),
          py::arg("vertical"), py::arg("raise_octave"), py::arg("controls"), py::arg("axis"), py::arg("diatonic"),
          py::arg("trim"),
          "(path, out_path, settings...) -> (None, report lines, written)");
    m.def("note_rows", &NotesCall, py::arg("data"), py::arg("name"), py::arg("horizontal"), py::arg("vertical"),
          py::arg("raise_octave"), py::arg("controls"), py::arg("axis"), py::arg("diatonic"), py::arg("trim"),
          "(data, name, settings...) -> (16-byte rows, division or None, tempo changes, report lines, loaded)");
    m.attr("__version__") = ROVANTA_VERSION;
}
